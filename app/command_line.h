#pragma once

// The command line: five comma-separated fields after an opening double quote,
//   "MESH.obj,SEAMS.bin,FIELD3,FIELD4,FIELD5"
// Each comma, and the closing quote, must lie within the 255 characters that begin with the
// field it ends (for field 1, with the opening quote): field 1 holds at most 253 characters,
// the others at most 254.

enum class CommandLineShape {
    Empty,      // nothing given
    Complete,   // all five fields found and cut
    Incomplete, // a comma or the closing quote is missing
};

struct CommandLineFields {
    char* objPath = nullptr;
    char* seamPath = nullptr;
    char* method = nullptr; // "-lscm" or anything else
    char* holes = nullptr;  // "-nofillholes" or anything else
    char* batch = nullptr;  // "-notlive" or anything else
};

// Cuts text in place at the four commas and the closing quote (each becomes a zero byte).
// Never reads past the text's terminating zero. The first character is skipped unchecked.
CommandLineShape cutCommandLine(char* text, CommandLineFields& fields);

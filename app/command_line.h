#pragma once

// The command line: five comma-separated fields after an opening double quote,
//   "MESH.obj,SEAMS.bin,FIELD3,FIELD4,FIELD5"
// Fields may be as long as the platform lets a command line be: paths deep in a folder tree
// are common, and a field cut short would name another file.

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

#pragma once

// The command line: five comma-separated fields after an opening double quote,
//   "MESH.obj,SEAMS.bin,FIELD3,FIELD4,FIELD5"
// and an optional sixth, the packing ("...,FIELD5,-tightpack=2048/8"): field 5 then ends at
// its comma.
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
    char* method = nullptr;  // "-lscm" or anything else
    char* holes = nullptr;   // "-nofillholes" or anything else
    char* batch = nullptr;   // "-notlive" or anything else
    char* packing = nullptr; // the sixth field; null when the line has five
};

// Cuts text in place at the four commas, the closing quote and a comma within field 5 (each
// becomes a zero byte).
// Never reads past the text's terminating zero. The first character is skipped unchecked.
CommandLineShape cutCommandLine(char* text, CommandLineFields& fields);

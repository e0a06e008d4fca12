#pragma once

#include <string>

// Start-up: the command line, the batch path and the cleanup at shutdown.

struct StartupState {
    bool startedWithFile = false; // interactive path with an argument: Load and Save greyed
    bool loadFailed = false;      // the command line's OBJ file could not be read
    bool malformed = false;       // a command line without its four commas and closing quote
    // Two copies of field 1, target and source of the write at exit.
    std::string exitTarget, exitSource;
};

StartupState& startup_state();

// Cuts the command line in place and acts on it; true when the batch path ran (the caller
// then exits at once with -1).
bool parseCommandLine(char* commandLine);

// Clears the document and destroys every undo snapshot; ids start again at 0.
void shutdownCleanup();

const char* usage_text();

// The program entry: argv to exit code (-1 after the batch path, 2 for a malformed command
// line, 0 for --help).
int marrowby_main(int argc, const char* const* argv);

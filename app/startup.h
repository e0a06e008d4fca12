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

// Opens the main window and runs its event loop until the window is destroyed. False when no
// window could be created; otherwise *exitCode is the loop's quit code.
using WindowRunner = bool (*)(int argc, const char* const* argv, int* exitCode);

// The end of the interactive path: the document goes back to the command line's file (not when
// that file could not be read, so that it is not replaced by an empty document), then the
// shutdown cleanup.
void finishInteractive();

// The program entry: argv to exit code (-1 after the batch path, 2 for a malformed command
// line, 0 for --help, 0 when the window could not be created, else the window's quit code).
// Without a window runner (a build without the window) the interactive path fails with 1.
int marrowby_main(int argc, const char* const* argv, WindowRunner runner = nullptr);

#pragma once

#include <string>

// Start-up: the command line, the batch path and the cleanup at shutdown.

// Exit codes of the program.
constexpr int EXIT_BATCH_DONE = -1;  // the batch path wrote its result (a process sees 255)
constexpr int EXIT_NO_WINDOW = 1;    // the window cannot be opened (no display, no window build)
constexpr int EXIT_USAGE = 2;        // a command line without its five fields
constexpr int EXIT_LOAD_FAILED = 3;  // the OBJ file could not be loaded, or has no faces
constexpr int EXIT_WRITE_FAILED = 4; // the result could not be written

struct StartupState {
    bool startedWithFile = false;        // interactive path with an argument: Load and Save greyed
    bool loadFailed = false;             // the command line's OBJ file could not be read
    bool malformed = false;              // a command line without its four commas and closing quote
    bool badPacking = false;             // ... or with a sixth field that names no packing
    int batchExitCode = EXIT_BATCH_DONE; // what the batch path ended with
    // Why the command line's files could not be used, for the window to show at start-up:
    // the load's reason, or the seam list's warnings. Empty when all went well.
    std::string startupProblem;
    // The first unwrap of the command line's file is still to run, or runs in the background.
    bool unwrapPending = false;
    bool unwrapRunning = false;
    // Two copies of field 1, target and source of the write at exit.
    std::string exitTarget, exitSource;
    // The write at exit was made while the window could still say that it failed, or the user
    // gave it up there: finishInteractive does not try it again.
    bool exitWriteSettled = false;
};

StartupState& startup_state();

// The first unwrap of a file given on the command line. parseCommandLine only loads it; then
// either the window starts the unwrap on the live-unwrap worker (startStartupUnwrap: false when
// there is nothing to unwrap) and learns when it landed (startupUnwrapLanded: true once, when
// the worker's result has been taken over), or finishStartupUnwrap runs it on the calling
// thread (for callers without a window; nothing when it ran already).
bool startStartupUnwrap();
bool startupUnwrapLanded();
void finishStartupUnwrap();

// Cuts the command line in place and acts on it; true when the batch path ran (the caller
// then exits at once with startup_state().batchExitCode). With loadInBackground the
// interactive path's file loads on a thread of its own, so that the window can start
// meanwhile; nothing may touch the document or the views' cameras until finishStartupLoad.
bool parseCommandLine(char* commandLine, bool loadInBackground = false);

// Waits for a background load of the command line's files and tells the views about it on
// the calling thread; nothing when no such load runs. Every start-up step after
// parseCommandLine calls it first.
void finishStartupLoad();

// Clears the document and destroys every undo snapshot; ids start again at 0.
void shutdownCleanup();

const char* usage_text();

// Opens the main window and runs its event loop until the window is destroyed. False when no
// window could be created; otherwise *exitCode is the loop's quit code.
using WindowRunner = bool (*)(int argc, const char* const* argv, int* exitCode);

// The end of the interactive path: the document goes back to the command line's file (not when
// that file could not be read or holds no face, so that it is not replaced by an empty
// document, nor when the window settled it already), then the shutdown cleanup.
void finishInteractive();

// The same write-back, made while the window is still open so that it can say when the write
// fails: waits for the background unwraps (the first one included), then writes. True when
// nothing is left to write (written now, settled before, or nothing to write); false with the
// reason in *error, and the write-back still to do.
bool writeBackBeforeClose(std::string* error);
// The window closes without the write-back: the edits went to another file, or the user gave
// them up.
void settleWriteBack();

// The program entry: argv to exit code (the batch path's code, 2 for a malformed command
// line, 0 for --help, 0 when the window could not be created, else the window's quit code).
// Without a window runner (a build without the window), or without a display to open the
// window on, the interactive path fails with 1 before any window is attempted.
int marrowby_main(int argc, const char* const* argv, WindowRunner runner = nullptr);

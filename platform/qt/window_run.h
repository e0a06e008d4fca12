#pragma once

// Opens the main window on the current document and runs the event loop until the window is
// destroyed. False when no window could be created; otherwise *exitCode is the quit code (0).
// Uses the running QApplication when there is one (tests), else makes its own.
bool platform_run_window(int argc, const char* const* argv, int* exitCode);

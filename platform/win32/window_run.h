#pragma once

// Opens the main window on the current document and runs the message loop until the window is
// destroyed. False when no window could be created (the reason is on stderr); otherwise
// *exitCode is the quit message's code (0).
bool platform_run_window(int argc, const char* const* argv, int* exitCode);

#include "app/startup.h"

#ifdef _WIN32
#include "platform/win32/process_command_line.h"
#include <string>
#endif
#ifdef MARROWBY_HAS_WINDOW
#ifdef _WIN32
#include "platform/win32/window_run.h"
#else
#include "platform/qt/window_run.h"
#endif
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // The text after the program name as the host passed it, quotes included, instead of the
    // C runtime's split of it.
    const std::string text = platform_process_command_line();
    const char* args[] = {argc > 0 ? argv[0] : "marrowby", text.c_str(), nullptr};
    argc = text.empty() ? 1 : 2;
    const char* const* argv_used = args;
#else
    const char* const* argv_used = argv;
#endif
#ifdef MARROWBY_HAS_WINDOW
    return marrowby_main(argc, argv_used, platform_run_window);
#else
    return marrowby_main(argc, argv_used);
#endif
}

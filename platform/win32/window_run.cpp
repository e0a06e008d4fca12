#include "platform/win32/window_run.h"

#include "app/startup.h"
#include "document/mesh_document.h"
#include "platform/win32/main_window_win32.h"

#include <windows.h>

#include <cstdio>
#include <string>

bool platform_run_window(int, const char* const*, int* exitCode) {
    // Creating the window paints it at once: the command line's file must be in by then.
    finishStartupLoad();
    std::string reason;
    int code = 0;
    {
        MainWindowWin32 window;
        if (!window.create(GetModuleHandleA(nullptr), SW_SHOWDEFAULT, &reason)) {
            std::fprintf(stderr, "marrowby: no window: %s\n", reason.c_str());
            return false;
        }
        // The file given on the command line is on screen; its first unwrap runs in the
        // background.
        window.startFirstUnwrap();
        code = platform_message_loop(window);
        // A worker may still run: wait for it and take its result over (the file is written
        // with it). Its message finds no window any more.
        MeshDocument::instance().completeLiveUnwrap();
    }
    *exitCode = code;
    return true;
}

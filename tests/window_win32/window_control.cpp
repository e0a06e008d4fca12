// window_control: finds the running window of marrowby and closes it as a person would (its
// close box), so that the program writes its file back and ends. scripts/test-windows takes the
// picture of the screen in between.
//
//   window_control find SECONDS   waits for the window, prints its title and the views' size
//   window_control close          asks the window to close
//
// Exit code 0 when the window was found (and asked to close); 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HWND find_window(int seconds) {
    for (int i = 0; i <= seconds * 10; i++) {
        if (HWND window = FindWindowA("MARROWBY1_1", nullptr))
            return window;
        Sleep(100);
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    const bool find = argc == 3 && std::strcmp(argv[1], "find") == 0;
    const bool close = argc == 2 && std::strcmp(argv[1], "close") == 0;
    if (!find && !close) {
        std::fputs("usage: window_control find SECONDS | window_control close\n", stderr);
        return 1;
    }
    HWND window = find_window(find ? std::atoi(argv[2]) : 0);
    if (!window) {
        std::fputs("window_control: no marrowby window\n", stderr);
        return 1;
    }
    if (close) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    }
    char title[128] = {};
    GetWindowTextA(window, title, sizeof title);
    std::printf("title: %s\n", title);
    if (HWND views = FindWindowExA(window, nullptr, "MARROWBY1_1_VIEWS", nullptr)) {
        RECT client;
        GetClientRect(views, &client);
        std::printf("views: %ld x %ld\n", client.right, client.bottom);
    }
    return 0;
}

// The Windows window driven in-process under a display: its menus and toolbar against the
// shared tables, check marks and greyed items, the pixel format of its OpenGL context, key
// messages reaching the key table and the key command table, the About accelerator, and the
// worker's message handled on the UI thread.
#include "app/app_state.h"
#include "app/commands.h"
#include "app/startup.h"
#include "platform/key_state.h"
#include "platform/ui_messages.h"
#include "platform/win32/main_window_win32.h"
#include "uvexport/uv_png_file.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

MainWindowWin32& window() {
    static MainWindowWin32 w;
    static std::string why;
    static const bool made = w.create(GetModuleHandleA(nullptr), SW_SHOW, &why);
    EXPECT_TRUE(made) << why;
    return w;
}

// Pumps the thread's messages until done() holds or two seconds have passed.
template <typename Done> bool pump_until(Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        platform_pump_messages(window());
        Sleep(5);
    }
    return true;
}

std::string menu_string(HMENU menu, UINT position) {
    char text[128] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

bool is_separator(HMENU menu, UINT position) {
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    return GetMenuItemInfoA(menu, position, TRUE, &info) && (info.fType & MFT_SEPARATOR);
}

bool checked(int id) {
    return (GetMenuState(window().menuBar(), UINT(id), MF_BYCOMMAND) & MF_CHECKED) != 0;
}

bool greyed(int id) {
    return (GetMenuState(window().menuBar(), UINT(id), MF_BYCOMMAND) & MF_GRAYED) != 0;
}

// What the views were told while a test ran.
struct ViewRecord {
    std::vector<int> sceneModes, uvModes;
    std::vector<bool> leftAlt;
};
ViewRecord g_record;

// Puts recorders in the mode and Alt entries of the views for one test.
class RecordedViews {
public:
    RecordedViews() : saved_(app_view_calls()) {
        g_record = ViewRecord{};
        ViewCalls& v = app_view_calls();
        v.sceneSetMode = [](int code) { g_record.sceneModes.push_back(code); };
        v.uvSetMode = [](int code) { g_record.uvModes.push_back(code); };
        v.setLeftAlt = [](bool down) { g_record.leftAlt.push_back(down); };
    }
    ~RecordedViews() { app_view_calls() = saved_; }

private:
    ViewCalls saved_;
};

// lParam of a key message: repeat count 1, the scan code, the extended-key bit.
LPARAM key_lparam(bool extended, bool up) {
    return LPARAM(1 | (0x1f << 16) | (extended ? 1L << 24 : 0) | (up ? 3L << 30 : 0));
}

} // namespace

TEST(Win32Window, HasTheTitleAndClassName) {
    char title[64] = {}, cls[64] = {};
    GetWindowTextA(window().window(), title, sizeof title);
    GetClassNameA(window().window(), cls, sizeof cls);
    EXPECT_STREQ(title, APP_TITLE);
    EXPECT_STREQ(cls, APP_CLASS_NAME);
}

TEST(Win32Window, MenusFollowTheSharedTableWithTheirIdsTextsAndSeparators) {
    int count = 0;
    const Menu* menus = menu_bar(&count);
    HMENU bar = window().menuBar();
    ASSERT_EQ(GetMenuItemCount(bar), count);
    for (int m = 0; m < count; m++) {
        EXPECT_EQ(menu_string(bar, UINT(m)), menus[m].title);
        HMENU popup = GetSubMenu(bar, m);
        ASSERT_NE(popup, nullptr);
        UINT position = 0;
        for (int i = 0; i < menus[m].count; i++) {
            const MenuItem& item = menus[m].items[i];
            EXPECT_EQ(int(GetMenuItemID(popup, int(position))), item.id) << item.text;
            EXPECT_EQ(menu_string(popup, position), item.text);
            position++;
            if (item.separatorAfter) {
                EXPECT_TRUE(is_separator(popup, position)) << "after " << item.text;
                position++;
            }
        }
        EXPECT_EQ(GetMenuItemCount(popup), int(position)) << menus[m].title;
    }
}

TEST(Win32Window, SwitchCommandsToggleTheirCheckMarks) {
    for (int id : {ID_SWITCH_WIREFRAME, ID_SWITCH_NOBACKFACES, ID_SWITCH_SINGLESELECT}) {
        const bool before = checked(id);
        EXPECT_EQ(before, AppState::instance().isChecked(id));
        SendMessageA(window().window(), WM_COMMAND, WPARAM(id), 0);
        EXPECT_EQ(checked(id), !before) << id;
        EXPECT_EQ(AppState::instance().isChecked(id), !before) << id;
        SendMessageA(window().window(), WM_COMMAND, WPARAM(id), 0);
        EXPECT_EQ(checked(id), before) << id;
    }
}

TEST(Win32Window, FileCommandsAreGreyedWhenStartedWithAFile) {
    StartupState& state = startup_state();
    const bool saved = state.startedWithFile;
    state.startedWithFile = true;
    window().refreshMenuState();
    for (int id : {ID_FILE_LOAD, ID_FILE_SAVE, ID_FILE_SAVEAS})
        EXPECT_TRUE(greyed(id)) << id;
    EXPECT_FALSE(greyed(IDM_ABOUT));
    state.startedWithFile = false;
    window().refreshMenuState();
    for (int id : {ID_FILE_LOAD, ID_FILE_SAVE, ID_FILE_SAVEAS})
        EXPECT_FALSE(greyed(id)) << id;
    state.startedWithFile = saved;
    window().refreshMenuState();
}

TEST(Win32Window, ToolbarHasTheSharedEntriesAndTheirTooltips) {
    int count = 0;
    const ToolbarEntry* entries = toolbar_entries(&count);
    ASSERT_EQ(int(SendMessageA(window().toolBar(), TB_BUTTONCOUNT, 0, 0)), count);
    for (int i = 0; i < count; i++) {
        TBBUTTON b = {};
        ASSERT_TRUE(SendMessageA(window().toolBar(), TB_GETBUTTON, WPARAM(i), LPARAM(&b)));
        if (entries[i].image < 0) {
            EXPECT_TRUE(b.fsStyle & TBSTYLE_SEP) << i;
            continue;
        }
        EXPECT_EQ(b.idCommand, entries[i].id);
        EXPECT_EQ(b.iBitmap, entries[i].image);
        EXPECT_EQ(window().toolTip(entries[i].id), entries[i].tooltip);
    }
}

TEST(Win32Window, ViewsHaveADoubleBufferedContextWithColourAndDepth) {
    HDC dc = GetDC(window().views());
    const int format = GetPixelFormat(dc);
    ASSERT_GT(format, 0);
    PIXELFORMATDESCRIPTOR pfd = {};
    ASSERT_GT(DescribePixelFormat(dc, format, sizeof pfd, &pfd), 0);
    ReleaseDC(window().views(), dc);
    EXPECT_TRUE(pfd.dwFlags & PFD_DRAW_TO_WINDOW);
    EXPECT_TRUE(pfd.dwFlags & PFD_SUPPORT_OPENGL);
    EXPECT_TRUE(pfd.dwFlags & PFD_DOUBLEBUFFER);
    EXPECT_EQ(pfd.iPixelType, PFD_TYPE_RGBA);
    EXPECT_GE(pfd.cColorBits, 24);
    EXPECT_GE(pfd.cDepthBits, 24);
}

TEST(Win32Window, KeyMessagesReachTheKeyTableAndTheCommandTable) {
    RecordedViews views;
    HWND target = window().views();
    PostMessageA(target, WM_KEYDOWN, 'E', key_lparam(false, false));
    ASSERT_TRUE(pump_until([] { return !g_record.sceneModes.empty(); }));
    EXPECT_TRUE(platform_key_down('E'));
    EXPECT_EQ(g_record.sceneModes, std::vector<int>{MODE_EDGE_SELECT});
    EXPECT_EQ(g_record.uvModes, std::vector<int>{MODE_EDGE_SELECT});
    PostMessageA(target, WM_KEYUP, 'E', key_lparam(false, true));
    ASSERT_TRUE(pump_until([] { return !platform_key_down('E'); }));

    // Keypad 2 with NumLock off arrives as the down arrow without the extended-key bit.
    PostMessageA(target, WM_KEYDOWN, VK_DOWN, key_lparam(false, false));
    ASSERT_TRUE(pump_until([] { return platform_key_down(VK_NUMPAD2); }));
    EXPECT_FALSE(platform_key_down(VK_DOWN));
    PostMessageA(target, WM_KEYUP, VK_DOWN, key_lparam(false, true));
    ASSERT_TRUE(pump_until([] { return !platform_key_down(VK_NUMPAD2); }));
    PostMessageA(target, WM_KEYDOWN, VK_DOWN, key_lparam(true, false));
    ASSERT_TRUE(pump_until([] { return platform_key_down(VK_DOWN); }));
    PostMessageA(target, WM_KEYUP, VK_DOWN, key_lparam(true, true));
    ASSERT_TRUE(pump_until([] { return !platform_key_down(VK_DOWN); }));

    // Left Alt is held state for the views, read at the next event; it opens no menu.
    PostMessageA(target, WM_SYSKEYDOWN, VK_MENU, key_lparam(false, false) | (1L << 29));
    ASSERT_TRUE(pump_until([] { return platform_key_down(VK_LMENU); }));
    EXPECT_FALSE(platform_key_down(VK_RMENU));
    EXPECT_EQ(GetMenu(window().window()), window().menuBar());
    // Every event tells the views the state; the move's is the last one told.
    static size_t told = 0;
    told = g_record.leftAlt.size();
    PostMessageA(target, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    ASSERT_TRUE(pump_until([] { return g_record.leftAlt.size() > told; }));
    EXPECT_TRUE(g_record.leftAlt.back());
    PostMessageA(target, WM_SYSKEYUP, VK_MENU, key_lparam(false, true));
    ASSERT_TRUE(pump_until([] { return !platform_key_down(VK_LMENU); }));
    told = g_record.leftAlt.size();
    PostMessageA(target, WM_MOUSEMOVE, 0, MAKELPARAM(12, 10));
    ASSERT_TRUE(pump_until([] { return g_record.leftAlt.size() > told; }));
    EXPECT_FALSE(g_record.leftAlt.back());
}

TEST(Win32Window, TheMenuSendsAKeyCommandThroughTheKeyTable) {
    RecordedViews views;
    SendMessageA(window().window(), WM_COMMAND, ID_UV_SELECT, 0);
    EXPECT_EQ(g_record.sceneModes, std::vector<int>{MODE_UV_SELECT});
    EXPECT_EQ(g_record.uvModes, std::vector<int>{MODE_UV_SELECT});
}

// The About box's caption, read by a timer that the dialog's own loop runs; it closes the box.
std::string g_aboutCaption;
VOID CALLBACK read_and_close_about(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = GetActiveWindow();
    char text[64] = {};
    if (dialog && dialog != window().window()) {
        GetWindowTextA(dialog, text, sizeof text);
        g_aboutCaption = text;
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        KillTimer(nullptr, id);
    }
}

TEST(Win32Window, AltSlashOpensTheAboutBox) {
    g_aboutCaption.clear();
    SetTimer(nullptr, 0, 200, read_and_close_about);
    // The accelerator table reads Alt from the thread's keyboard state, as a real key press
    // leaves it.
    BYTE keys[256], held[256];
    GetKeyboardState(keys);
    std::copy(keys, keys + 256, held);
    held[VK_MENU] = held[VK_LMENU] = 0x80;
    SetKeyboardState(held);
    PostMessageA(window().views(), WM_SYSKEYDOWN, VK_OEM_2, key_lparam(false, false) | (1L << 29));
    const bool opened = pump_until([] { return !g_aboutCaption.empty(); });
    SetKeyboardState(keys);
    ASSERT_TRUE(opened);
    EXPECT_EQ(g_aboutCaption, ABOUT_CAPTION);
}

TEST(Win32Window, TheWorkersMessageIsHandledOnTheUiThread) {
    window();
    const int before = window().unwrapDoneCount();
    DWORD worker = 0;
    std::thread post([&worker] {
        worker = GetCurrentThreadId();
        platform_post_message(WM_UNWRAP_DONE);
    });
    post.join();
    ASSERT_TRUE(pump_until([before] { return window().unwrapDoneCount() == before + 1; }));
    EXPECT_EQ(window().unwrapDoneThread(), GetCurrentThreadId());
    EXPECT_NE(window().unwrapDoneThread(), worker);
    EXPECT_EQ(window().uiThread(), GetCurrentThreadId());
}

// Last: it loads the bundled box as the command line does, which greys the File commands.
TEST(Win32Window, AFrameShowsTheUnwrappedBoxInBothViews) {
    const std::string box = std::string(MARROWBY_SOURCE_DIR) + "/examples/box.obj";
    const std::string seams = std::string(MARROWBY_SOURCE_DIR) + "/examples/box_seams.bin";
    std::string line = "\"" + box + "," + seams + ",,,\"";
    ASSERT_FALSE(parseCommandLine(line.data()));
    finishStartupUnwrap();
    window().refreshMenuState();
    RECT client;
    GetClientRect(window().views(), &client);
    const int w = client.right, h = client.bottom;
    ASSERT_GT(w, 100);
    ASSERT_GT(h, 100);
    EXPECT_EQ(AppState::instance().right, w);
    RedrawWindow(window().views(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);

    // The frame as the window's paint draws it, read back before it is presented: Wine under
    // Xvfb does not hand a child window's presented frame back to the reader.
    HDC dc = GetDC(window().views());
    ASSERT_TRUE(wglMakeCurrent(dc, wglGetCurrentContext()));
    ViewCalls& v = app_view_calls();
    ASSERT_TRUE(v.layout && v.paint);
    AppState& app = AppState::instance();
    v.layout(app.left, app.top, app.right, app.bottom, app.splitRatio);
    v.paint();
    glFinish();
    std::vector<unsigned char> rgb(size_t(w) * size_t(h) * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    ReleaseDC(window().views(), dc);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    // Rows from the top, as a picture holds them.
    std::vector<unsigned char> picture(rgb.size());
    const size_t row = size_t(w) * 3;
    for (int y = 0; y < h; y++)
        std::copy_n(&rgb[size_t(h - 1 - y) * row], row, &picture[size_t(y) * row]);
    std::string error;
    EXPECT_TRUE(uv_write_png_file(MARROWBY_WINDOW_PICTURE, w, h, picture, &error)) << error;

    // Either view shows more than its background: the shaded box on the left, the white UV
    // edges on the right.
    const int split = AppState::instance().splitterPosition();
    auto count = [&](int x0, int x1, auto&& test) {
        int n = 0;
        for (int y = 0; y < h; y++)
            for (int x = x0; x < x1; x++) {
                const unsigned char* p = &picture[(size_t(y) * size_t(w) + size_t(x)) * 3];
                n += test(p[0], p[1], p[2]) ? 1 : 0;
            }
        return n;
    };
    const int white =
        count(split + 5, w, [](int r, int g, int b) { return r > 240 && g > 240 && b > 240; });
    const int shaded = count(0, split - 5, [](int r, int g, int b) {
        return std::abs(r - 165) > 20 || std::abs(g - 162) > 20 || std::abs(b - 165) > 20;
    });
    EXPECT_GT(white, 200) << "UV edges";
    EXPECT_GT(shaded, 2000) << "the box";
}

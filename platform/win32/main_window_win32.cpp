#include "platform/win32/main_window_win32.h"

#include "app/app_state.h"
#include "app/commands.h"
#include "app/edit_binding.h"
#include "app/startup.h"
#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "platform/key_state.h"
#include "platform/ui_messages.h"
#include "platform/win32/key_map_win32.h"
#include "platform/win32/resource_ids.h"
#include "platform/win32/write_failed_box_win32.h"
#ifdef MARROWBY_HAS_VIEWS
#include "platform/qt/view_binding.h"
#include "uvexport/uv_layout.h"
#endif

#include <commctrl.h>
#include <windowsx.h>

#include <GL/gl.h>

#include <cstring>
#include <vector>

namespace {

MainWindowWin32* g_current = nullptr;
const char* const VIEWS_CLASS_NAME = "MARROWBY1_1_VIEWS";

// The window a message belongs to, kept in its user data from creation on.
MainWindowWin32* owner(HWND hwnd) {
    return reinterpret_cast<MainWindowWin32*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK main_procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
    }
    MainWindowWin32* w = owner(hwnd);
    return w && w->window() == hwnd ? w->handle(message, wParam, lParam)
                                    : DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK views_procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
    }
    MainWindowWin32* w = owner(hwnd);
    return w && w->views() == hwnd ? w->handleViews(message, wParam, lParam)
                                   : DefWindowProcA(hwnd, message, wParam, lParam);
}

bool register_classes(HINSTANCE instance) {
    WNDCLASSEXA main = {};
    main.cbSize = sizeof main;
    main.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    main.lpfnWndProc = main_procedure;
    main.hInstance = instance;
    main.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_MARROWBY));
    main.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL));
    main.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    main.lpszClassName = APP_CLASS_NAME;
    WNDCLASSEXA views = {};
    views.cbSize = sizeof views;
    // Its own device context, kept for the OpenGL context; double-clicks reach the views.
    views.style = CS_OWNDC | CS_DBLCLKS | CS_VREDRAW | CS_HREDRAW;
    views.lpfnWndProc = views_procedure;
    views.hInstance = instance;
    views.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    views.lpszClassName = VIEWS_CLASS_NAME;
    WNDCLASSEXA known;
    if (!GetClassInfoExA(instance, APP_CLASS_NAME, &known) && !RegisterClassExA(&main))
        return false;
    if (!GetClassInfoExA(instance, VIEWS_CLASS_NAME, &known) && !RegisterClassExA(&views))
        return false;
    return true;
}

// Centres a window over the views' area of the main window, keeping its size.
void centre_over_client(HWND dialog) {
    MainWindowWin32* w = MainWindowWin32::current();
    if (!w || !w->views())
        return;
    RECT client, box;
    GetClientRect(w->views(), &client);
    GetWindowRect(dialog, &box);
    POINT centre = {client.right / 2, client.bottom / 2};
    ClientToScreen(w->views(), &centre);
    const int width = box.right - box.left, height = box.bottom - box.top;
    SetWindowPos(dialog, nullptr, centre.x - width / 2, centre.y - height / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Both dialogs close on their button, Enter or Escape.
INT_PTR end_on_ok_or_cancel(HWND dialog, WPARAM wParam) {
    if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)
        return FALSE;
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
}

INT_PTR CALLBACK about_procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        centre_over_client(dialog);
        return TRUE;
    case WM_COMMAND:
        return end_on_ok_or_cancel(dialog, wParam);
    }
    return FALSE;
}

INT_PTR CALLBACK load_failed_procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetDlgItemTextA(dialog, IDC_LOAD_FAILED_TEXT, LOAD_FAILED_TEXT);
        // The fixed text speaks of texture coordinates and normals whatever the cause; the
        // reader's own message names the file, the line and what is wrong.
        SetDlgItemTextA(dialog, IDC_LOAD_FAILED_REASON, reinterpret_cast<const char*>(lParam));
        centre_over_client(dialog);
        return TRUE;
    }
    case WM_COMMAND:
        return end_on_ok_or_cancel(dialog, wParam);
    }
    return FALSE;
}

// The explorer-style dialog's hook: centre the dialog (the hook's parent) once it is laid out.
UINT_PTR CALLBACK file_dialog_hook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        auto* notify = reinterpret_cast<OFNOTIFYA*>(lParam);
        if (notify->hdr.code == CDN_INITDONE)
            centre_over_client(GetParent(hook));
    }
    return 0;
}

// What the file dialogs share: the owner, the filter, the file buffer and the centring hook.
OPENFILENAMEA file_dialog(HWND owner, const std::string& filter, char* file, DWORD size,
                          DWORD flags) {
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = size;
    ofn.lpfnHook = file_dialog_hook;
    ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_HIDEREADONLY | flags;
    return ofn;
}

// Filter text of the open and save dialogs: name and pattern pairs, each ended by a zero.
std::string obj_filter() {
    std::string f;
    for (const char* part : {OBJ_FILTER_NAME, OBJ_FILTER_PATTERN, ALL_FILTER_NAME, "*.*"}) {
        f += part;
        f += '\0';
    }
    return f;
}

// Called on the worker's thread: the message goes to the UI thread's queue.
HWND g_messageWindow = nullptr;
void post_to_window(unsigned message) {
    if (HWND target = g_messageWindow)
        PostMessageA(target, message, 0, 0);
}

constexpr UINT WM_SHOW_STARTUP_PROBLEM = WM_APP_BASE + 36;

} // namespace

MainWindowWin32::~MainWindowWin32() {
    AppState::instance().busyShown = false; // the next window starts without it
    if (window_ && IsWindow(window_))
        DestroyWindow(window_);
    if (accelerators_)
        DestroyAcceleratorTable(accelerators_);
    if (toolImages_)
        ImageList_Destroy(toolImages_);
    if (g_current == this) {
        g_current = nullptr;
        platform_set_message_sink(nullptr);
        g_messageWindow = nullptr;
    }
}

MainWindowWin32* MainWindowWin32::current() {
    return g_current;
}

bool MainWindowWin32::create(HINSTANCE instance, int show, std::string* reason) {
    g_current = this;
    uiThread_ = GetCurrentThreadId();
    app_bind_edit_calls();
#ifdef MARROWBY_HAS_VIEWS
    platform_bind_views();
#endif
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    if (!register_classes(instance)) {
        *reason = "the window class cannot be registered";
        return false;
    }
    menuBar_ = CreateMenu();
    buildMenus();
    window_ =
        CreateWindowExA(0, APP_CLASS_NAME, APP_TITLE, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                        CW_USEDEFAULT, CW_USEDEFAULT, 1024, 720, nullptr, menuBar_, instance, this);
    if (!window_) {
        *reason =
            "the main window cannot be created (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    views_ = CreateWindowExA(0, VIEWS_CLASS_NAME, "views",
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 1, 1,
                             window_, nullptr, instance, this);
    if (!views_ || !buildToolBar(instance)) {
        *reason = "the views or the toolbar cannot be created";
        return false;
    }
    // The views take their place before their OpenGL surface is made on them.
    layoutClient();
    char why[160] = {};
    if (!gl_context_create(views_, &gl_, why, sizeof why)) {
        *reason = why;
        return false;
    }
    if (ViewCalls& v = app_view_calls(); v.initialise && !v.initialise()) {
        *reason = "the renderer found no current OpenGL context";
        return false;
    }
    glReady_ = true;
    buildAccelerators();
    g_messageWindow = window_;
    platform_set_message_sink(post_to_window);
    refreshMenuState();
    ShowWindow(window_, show);
    UpdateWindow(window_);
    SetFocus(views_);
    repaint();
    PostMessageA(window_, WM_SHOW_STARTUP_PROBLEM, 0, 0);
    return true;
}

void MainWindowWin32::buildMenus() {
    int count = 0;
    const Menu* menus = menu_bar(&count);
    for (int m = 0; m < count; m++) {
        HMENU popup = CreatePopupMenu();
        for (int i = 0; i < menus[m].count; i++) {
            const MenuItem& item = menus[m].items[i];
            AppendMenuA(popup, MF_STRING, UINT_PTR(item.id), item.text);
            if (item.separatorAfter)
                AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
        }
        AppendMenuA(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), menus[m].title);
    }
}

bool MainWindowWin32::buildToolBar(HINSTANCE instance) {
    toolBar_ = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr,
                               WS_CHILD | WS_VISIBLE | WS_BORDER | TBSTYLE_TOOLTIPS, 0, 0, 0, 0,
                               window_, nullptr, instance, nullptr);
    if (!toolBar_)
        return false;
    SendMessageA(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    // The strip's magenta pixels are transparent.
    toolImages_ = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 14, 0);
    if (HBITMAP strip = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_TOOLBAR))) {
        ImageList_AddMasked(toolImages_, strip, RGB(255, 0, 255));
        DeleteObject(strip);
    }
    SendMessageA(toolBar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolImages_));
    int count = 0;
    const ToolbarEntry* entries = toolbar_entries(&count);
    std::vector<TBBUTTON> buttons(static_cast<size_t>(count));
    for (int i = 0; i < count; i++) {
        TBBUTTON& b = buttons[size_t(i)];
        b = {};
        if (entries[i].image < 0) {
            b.fsStyle = TBSTYLE_SEP;
            continue;
        }
        b.iBitmap = entries[i].image;
        b.idCommand = entries[i].id;
        b.fsState = TBSTATE_ENABLED;
        b.fsStyle = TBSTYLE_BUTTON;
    }
    SendMessageA(toolBar_, TB_ADDBUTTONSA, WPARAM(count), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageA(toolBar_, TB_AUTOSIZE, 0, 0);
    return true;
}

void MainWindowWin32::buildAccelerators() {
    // Alt with "/" or "?" (Shift and the same key) opens About. Virtual keys, since messages
    // are not translated into characters.
    ACCEL table[] = {
        {FALT | FVIRTKEY, VK_OEM_2, IDM_ABOUT},
        {FALT | FSHIFT | FVIRTKEY, VK_OEM_2, IDM_ABOUT},
    };
    accelerators_ = CreateAcceleratorTableA(table, 2);
}

std::string MainWindowWin32::toolTip(int id) {
    NMTTDISPINFOA info = {};
    info.hdr.hwndFrom = toolBar_;
    info.hdr.idFrom = UINT_PTR(id);
    info.hdr.code = TTN_GETDISPINFOA;
    SendMessageA(window_, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    return info.lpszText ? info.lpszText : std::string();
}

void MainWindowWin32::layoutClient() {
    RECT client;
    GetClientRect(window_, &client);
    SendMessageA(toolBar_, TB_AUTOSIZE, 0, 0);
    RECT bar;
    GetWindowRect(toolBar_, &bar);
    const int barHeight = bar.bottom - bar.top;
    MoveWindow(views_, 0, barHeight, client.right,
               client.bottom > barHeight ? client.bottom - barHeight : 0, TRUE);
}

void MainWindowWin32::repaint() {
    if (views_)
        InvalidateRect(views_, nullptr, FALSE);
}

void MainWindowWin32::paint() {
    PAINTSTRUCT ps;
    BeginPaint(views_, &ps);
    if (glReady_ && gl_context_make_current(gl_)) {
        AppState& app = AppState::instance();
        ViewCalls& v = app_view_calls();
        if (v.layout)
            v.layout(app.left, app.top, app.right, app.bottom, app.splitRatio);
        if (v.paint) {
            v.paint();
        } else {
            // Views not linked: only the background.
            glClearColor(0.647f, 0.635f, 0.647f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        }
        gl_context_swap(gl_);
    }
    EndPaint(views_, &ps);
}

bool MainWindowWin32::deliver(int event, int x, int y) {
    // The held state the views read: the buttons from the message, left Alt as the keyboard
    // has it now.
    const bool leftAlt = altDown_ || (GetAsyncKeyState(VK_LMENU) & 0x8000) != 0;
    platform_set_key_down(VK_KEY_LMENU, leftAlt);
    const bool repaintNeeded = AppState::instance().dispatchEvent(event, x, y);
    syncUnwrapBusy();
    return repaintNeeded;
}

void MainWindowWin32::mouseMove(LPARAM lParam) {
    mouseX_ = GET_X_LPARAM(lParam);
    mouseY_ = GET_Y_LPARAM(lParam);
    if (deliver(EVT_MOUSE_MOVE, mouseX_, mouseY_))
        repaint();
}

void MainWindowWin32::mouseButton(int event, bool down, bool repaintAfter, int virtualKey,
                                  LPARAM lParam) {
    if (down) {
        SetCapture(views_);
        SetFocus(views_);
        // A press arrives at the position of the last move; one is made first when the press
        // comes where no move went before.
        if (GET_X_LPARAM(lParam) != mouseX_ || GET_Y_LPARAM(lParam) != mouseY_)
            mouseMove(lParam);
        platform_set_key_down(virtualKey, true);
        if (deliver(event, mouseX_, mouseY_) && repaintAfter)
            repaint();
        return;
    }
    platform_set_key_down(virtualKey, false);
    if (!platform_key_down(VK_KEY_LBUTTON) && !platform_key_down(VK_KEY_MBUTTON) &&
        !platform_key_down(VK_KEY_RBUTTON))
        ReleaseCapture();
    if (deliver(event, 0, 0) && repaintAfter)
        repaint();
}

void MainWindowWin32::keyMessage(WPARAM wParam, LPARAM lParam, bool down) {
    const int vk = virtual_key_from_message(unsigned(wParam), long(lParam));
    if (vk == 0)
        return;
    platform_set_key_down(vk, down);
    if (deliver(down ? EVT_KEY_DOWN : EVT_KEY_UP, vk, 0))
        repaint();
    // Mode keys change what the toolbar shows checked.
    refreshMenuState();
}

void MainWindowWin32::refreshMenuState() {
    const AppState& app = AppState::instance();
    int count = 0;
    const Menu* menus = menu_bar(&count);
    for (int m = 0; m < count; m++) {
        for (int i = 0; i < menus[m].count; i++) {
            const MenuItem& item = menus[m].items[i];
            EnableMenuItem(menuBar_, UINT(item.id),
                           MF_BYCOMMAND | (app.isEnabled(item.id) ? MF_ENABLED : MF_GRAYED));
            if (item.checkable)
                CheckMenuItem(menuBar_, UINT(item.id),
                              MF_BYCOMMAND | (app.isChecked(item.id) ? MF_CHECKED : MF_UNCHECKED));
        }
    }
    if (window_)
        DrawMenuBar(window_);
    const ToolbarEntry* entries = toolbar_entries(&count);
    for (int i = 0; i < count; i++) {
        const int id = entries[i].id;
        if (entries[i].image < 0)
            continue;
        SendMessageA(toolBar_, TB_ENABLEBUTTON, WPARAM(id), MAKELPARAM(app.isEnabled(id), 0));
        const bool mode = id == ID_EDGE_SELECT || id == ID_UV_SELECT || id == ID_UV_MOVE;
        SendMessageA(toolBar_, TB_CHECKBUTTON, WPARAM(id),
                     MAKELPARAM(mode && app.isToolChecked(id), 0));
    }
}

void MainWindowWin32::runCommand(int id) {
    CommandOutcome out = AppState::instance().runCommand(id);
    switch (out.action) {
    case WindowAction::LoadDialog:
        showLoadDialog();
        break;
    case WindowAction::Save:
        saveDocument();
        break;
    case WindowAction::SaveAsDialog:
        showSaveAsDialog();
        break;
    case WindowAction::ExportUvDialog:
        showExportUvDialog();
        break;
    case WindowAction::About:
        showAbout();
        break;
    case WindowAction::Exit:
        closeWindow();
        return;
    case WindowAction::None:
        break;
    }
    refreshMenuState();
    syncUnwrapBusy();
    if (out.repaint)
        repaint();
}

void MainWindowWin32::startFirstUnwrap() {
    if (startStartupUnwrap())
        syncUnwrapBusy();
}

void MainWindowWin32::syncUnwrapBusy() {
    bool busy = false;
    if (!AppState::instance().unwrapBusyChanged(&busy))
        return;
    if (ViewCalls& v = app_view_calls(); v.uvBusy)
        v.uvBusy(busy);
    SetCursor(LoadCursorA(nullptr, busy ? IDC_APPSTARTING : IDC_ARROW));
    repaint();
}

void MainWindowWin32::unwrapDone() {
    unwrapDoneThread_ = GetCurrentThreadId();
    unwrapDoneCount_++;
    MeshDocument::instance().onUnwrapDone();
    startupUnwrapLanded(); // the first unwrap's warnings, once
    syncUnwrapBusy();
    repaint();
}

void MainWindowWin32::showLoadDialog() {
    char file[260] = {};
    const std::string filter = obj_filter();
    OPENFILENAMEA ofn = file_dialog(window_, filter, file, sizeof file, OFN_FILEMUSTEXIST);
    ofn.lpstrDefExt = OBJ_DEFAULT_EXTENSION;
    if (!GetOpenFileNameA(&ofn))
        return;
    if (!AppState::instance().loadChosenFile(file))
        showLoadFailed(last_obj_reader() ? last_obj_reader()->error : std::string());
    refreshMenuState();
    repaint();
}

bool MainWindowWin32::chooseSavePath(std::string& path) {
    char file[260] = {};
    const std::string filter = obj_filter();
    // As in the Linux window: a new name may be given, and replacing a file is asked first.
    OPENFILENAMEA ofn = file_dialog(window_, filter, file, sizeof file, OFN_OVERWRITEPROMPT);
    ofn.lpstrDefExt = OBJ_DEFAULT_EXTENSION;
    if (!GetSaveFileNameA(&ofn))
        return false;
    path = file;
    return true;
}

WriteFailedAnswer MainWindowWin32::askAfterFailedWrite(const std::string& message) {
    return ask_after_failed_write(window_, message);
}

void MainWindowWin32::saveDocument() {
    // Posted: the window must outlive the command that gave the edits up.
    if (SaveFlow(*this).save() == SaveOutcome::CloseUnsaved)
        PostMessageA(window_, WM_CLOSE, 0, 0);
}

void MainWindowWin32::showSaveAsDialog() {
    std::string path;
    if (chooseSavePath(path) && SaveFlow(*this).saveAs(path) == SaveOutcome::CloseUnsaved)
        PostMessageA(window_, WM_CLOSE, 0, 0);
    repaint();
}

void MainWindowWin32::closeWindow() {
    // A second close while the box is open waits for the answer to the first.
    if (closing_)
        return;
    closing_ = true;
    const SaveOutcome outcome = SaveFlow(*this).close();
    closing_ = false;
    if (outcome == SaveOutcome::Cancelled) {
        repaint();
        return;
    }
    DestroyWindow(window_);
}

void MainWindowWin32::showExportUvDialog() {
#ifdef MARROWBY_HAS_VIEWS
    char file[260] = {};
    std::string filter;
    for (const char* part : {SVG_FILTER_NAME, "*.svg", PNG_FILTER_NAME, "*.png"}) {
        filter += part;
        filter += '\0';
    }
    OPENFILENAMEA ofn = file_dialog(window_, filter, file, sizeof file, OFN_OVERWRITEPROMPT);
    ofn.nFilterIndex = 1;
    if (!GetSaveFileNameA(&ofn))
        return;
    std::string path = file;
    // A name without the picture's extension gets the one of the chosen format.
    UvPictureFormat format;
    if (!uv_picture_format_of(path, &format))
        path += ofn.nFilterIndex == 2 ? ".png" : ".svg";
    std::string error;
    if (!export_uv_layout(MeshDocument::instance(), path, UV_PICTURE_DEFAULT_SIZE,
                          AppState::instance().showStretch, &error))
        MessageBoxA(window_, error.c_str(), "Export UV Layout", MB_OK | MB_ICONWARNING);
#endif
}

void MainWindowWin32::showAbout() {
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), window_,
                    about_procedure, 0);
}

void MainWindowWin32::showLoadFailed(const std::string& reason) {
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_LOAD_FAILED), window_,
                    load_failed_procedure, reinterpret_cast<LPARAM>(reason.c_str()));
}

void MainWindowWin32::showStartupProblem() {
    const StartupState& state = startup_state();
    if (state.startupProblem.empty())
        return;
    if (state.loadFailed) {
        showLoadFailed(state.startupProblem);
        return;
    }
    MessageBoxA(window_, state.startupProblem.c_str(), APP_TITLE, MB_OK | MB_ICONWARNING);
}

LRESULT MainWindowWin32::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        closeWindow();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
        if (toolBar_ && views_)
            layoutClient();
        return 0;
    case WM_SETFOCUS:
        if (views_)
            SetFocus(views_);
        return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == TTN_GETDISPINFOA) {
            auto* info = reinterpret_cast<NMTTDISPINFOA*>(lParam);
            if (const char* tip = toolbar_tooltip(int(header->idFrom)))
                info->lpszText = const_cast<char*>(tip);
        } else if (header->code == TTN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            if (const char* tip = toolbar_tooltip(int(header->idFrom)))
                MultiByteToWideChar(CP_ACP, 0, tip, -1, info->szText, 80);
        }
        return DefWindowProcA(window_, message, wParam, lParam);
    }
    case WM_COMMAND:
        runCommand(LOWORD(wParam));
        return 0;
    case WM_UNWRAP_DONE:
        unwrapDone();
        return 0;
    case WM_SHOW_STARTUP_PROBLEM:
        showStartupProblem();
        return 0;
    default:
        return DefWindowProcA(window_, message, wParam, lParam);
    }
}

LRESULT MainWindowWin32::handleViews(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paint();
        return 0;
    case WM_SIZE: {
        AppState& app = AppState::instance();
        app.setClientRect(0, 0, LOWORD(lParam), HIWORD(lParam));
        if (ViewCalls& v = app_view_calls(); v.layout && glReady_)
            v.layout(app.left, app.top, app.right, app.bottom, app.splitRatio);
        repaint();
        return 0;
    }
    case WM_SETCURSOR:
        if (AppState::instance().busyShown && LOWORD(lParam) == HTCLIENT) {
            SetCursor(LoadCursorA(nullptr, IDC_APPSTARTING));
            return TRUE;
        }
        return DefWindowProcA(views_, message, wParam, lParam);
    case WM_KILLFOCUS:
        if (ViewCalls& v = app_view_calls(); v.releaseAll)
            v.releaseAll();
        platform_clear_keys();
        altDown_ = false;
        return 0;
    case WM_KEYDOWN:
        keyMessage(wParam, lParam, true);
        return 0;
    case WM_KEYUP:
        if (wParam == VK_MENU)
            altDown_ = false;
        keyMessage(wParam, lParam, false);
        return 0;
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        // The Alt key itself only changes the held state the views read; it must not open the
        // menu bar, which would take the keys that follow.
        if (wParam == VK_MENU) {
            const bool down = message == WM_SYSKEYDOWN;
            const int vk = virtual_key_from_message(unsigned(wParam), long(lParam));
            platform_set_key_down(vk, down);
            platform_set_key_down(VK_MENU, down);
            if (vk == VK_LMENU)
                altDown_ = down;
            return 0;
        }
        return DefWindowProcA(views_, message, wParam, lParam);
    case WM_MOUSEMOVE:
        mouseMove(lParam);
        return 0;
    case WM_LBUTTONDOWN:
        mouseButton(EVT_LBUTTON_DOWN, true, true, VK_KEY_LBUTTON, lParam);
        return 0;
    case WM_LBUTTONUP:
        mouseButton(EVT_LBUTTON_UP, false, true, VK_KEY_LBUTTON, lParam);
        return 0;
    case WM_LBUTTONDBLCLK:
        SetCapture(views_);
        platform_set_key_down(VK_KEY_LBUTTON, true);
        if (deliver(EVT_LBUTTON_DBLCLK, mouseX_, mouseY_))
            repaint();
        return 0;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        mouseButton(EVT_MBUTTON_DOWN, true, false, VK_KEY_MBUTTON, lParam);
        return 0;
    case WM_MBUTTONUP:
        mouseButton(EVT_MBUTTON_UP, false, false, VK_KEY_MBUTTON, lParam);
        return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        mouseButton(EVT_RBUTTON_DOWN, true, false, VK_KEY_RBUTTON, lParam);
        return 0;
    case WM_RBUTTONUP:
        mouseButton(EVT_RBUTTON_UP, false, false, VK_KEY_RBUTTON, lParam);
        return 0;
    case WM_MOUSEWHEEL: {
        // Whole notches of 120; small deltas add up until they make one.
        wheelRest_ += GET_WHEEL_DELTA_WPARAM(wParam);
        const int steps = wheelRest_ / WHEEL_DELTA;
        wheelRest_ -= steps * WHEEL_DELTA;
        POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ScreenToClient(views_, &at);
        if (steps != 0 && AppState::instance().wheel(at.x, at.y, steps))
            repaint();
        return 0;
    }
    default:
        return DefWindowProcA(views_, message, wParam, lParam);
    }
}

int platform_message_loop(const MainWindowWin32& window) {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorA(window.window(), window.accelerators(), &msg))
            DispatchMessageA(&msg);
    }
    return int(msg.wParam);
}

void platform_pump_messages(const MainWindowWin32& window) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            break;
        if (!TranslateAcceleratorA(window.window(), window.accelerators(), &msg))
            DispatchMessageA(&msg);
    }
}

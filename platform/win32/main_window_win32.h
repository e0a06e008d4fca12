#pragma once

// The shared key and command numbers first: windows.h defines some of the same names as macros
// with the same values.
#include "app/commands.h"
#include "app/save_flow.h"
#include "platform/win32/gl_context.h"

#include <windows.h>

#include <commctrl.h>

#include <string>

// The main window on Windows: the window class, the menu bar built from the shared menu table,
// the toolbar strip with tooltips, the accelerators, and below the toolbar one child window
// whose OpenGL surface holds both views (so that its coordinates start at the views' corner).
// Messages become the dispatcher's input events; menu, toolbar and accelerator commands go to
// AppState::runCommand by their ids. Closing writes the command line's file back, and a write
// that fails asks what to do (SaveFlow).
class MainWindowWin32 : public SaveFlowWindow {
public:
    MainWindowWin32() = default;
    ~MainWindowWin32();
    MainWindowWin32(const MainWindowWin32&) = delete;
    MainWindowWin32& operator=(const MainWindowWin32&) = delete;

    // The window that receives WM_UNWRAP_DONE, or null.
    static MainWindowWin32* current();

    // Registers the class (once) and creates the window, its OpenGL context and its toolbar.
    // False with a reason when the window or the context cannot be made.
    bool create(HINSTANCE instance, int show, std::string* reason);

    HWND window() const { return window_; }
    HWND views() const { return views_; }
    HWND toolBar() const { return toolBar_; }
    HMENU menuBar() const { return menuBar_; }
    HACCEL accelerators() const { return accelerators_; }
    // The thread that runs the window's messages.
    DWORD uiThread() const { return uiThread_; }
    // The thread on which the last WM_UNWRAP_DONE was handled, 0 before the first.
    DWORD unwrapDoneThread() const { return unwrapDoneThread_; }
    int unwrapDoneCount() const { return unwrapDoneCount_; }
    // The tooltip the toolbar shows for a command id, as the window answers the toolbar.
    std::string toolTip(int id);

    void runCommand(int id);
    void refreshMenuState();
    // The first unwrap of the command line's file, in the background. Every background unwrap
    // shows "Unwrapping..." in the UV view and a busy cursor until its result has been taken
    // over (syncUnwrapBusy, after every command, input event and landed result).
    void startFirstUnwrap();
    void syncUnwrapBusy();
    void showStartupProblem();

    void showLoadDialog();
    void saveDocument();
    void showSaveAsDialog();
    void showExportUvDialog();
    void showAbout();
    void showLoadFailed(const std::string& reason);
    // The box that says a write failed (dialog IDD_WRITE_FAILED), and the Save As dialog.
    WriteFailedAnswer askAfterFailedWrite(const std::string& message) override;
    bool chooseSavePath(std::string& path) override;
    // WM_CLOSE, the close box and File > Exit: the write-back, made while the window can still
    // say that it failed; the window is destroyed unless the user cancels.
    void closeWindow();

    // The window procedures of the main window and of the views' child window.
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleViews(UINT message, WPARAM wParam, LPARAM lParam);

private:
    void buildMenus();
    bool buildToolBar(HINSTANCE instance);
    void buildAccelerators();
    void layoutClient();
    void paint();
    void repaint();
    bool deliver(int event, int x, int y);
    void mouseMove(LPARAM lParam);
    void mouseButton(int event, bool down, bool repaint, int virtualKey, LPARAM lParam);
    void keyMessage(WPARAM wParam, LPARAM lParam, bool down);
    void unwrapDone();

    HWND window_ = nullptr;
    HWND views_ = nullptr;
    HWND toolBar_ = nullptr;
    HMENU menuBar_ = nullptr;
    HACCEL accelerators_ = nullptr;
    HIMAGELIST toolImages_ = nullptr;
    GlContext gl_;
    bool glReady_ = false;
    bool closing_ = false; // the close's write-back, and its box, are under way
    DWORD uiThread_ = 0;
    DWORD unwrapDoneThread_ = 0;
    int unwrapDoneCount_ = 0;
    int mouseX_ = 0, mouseY_ = 0;
    int wheelRest_ = 0;
    bool altDown_ = false;
};

// Runs the window's messages until the quit message: accelerators first, then the window
// procedure. Messages are not translated into character messages. Answers the quit code.
int platform_message_loop(const MainWindowWin32& window);
// Handles the messages already queued for this thread, then returns (tests).
void platform_pump_messages(const MainWindowWin32& window);

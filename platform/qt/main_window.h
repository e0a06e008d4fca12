#pragma once

#include "app/save_flow.h"

#include <QMainWindow>

#include <map>
#include <string>

class GlView;
class QAction;
class QCloseEvent;
class QFileDialog;
class QToolBar;

// The main window: menu bar, toolbar and the views' OpenGL widget as the client area. Menu,
// toolbar and accelerator commands go to AppState::runCommand by their ids; the window opens
// the dialogs that a command asks for and keeps check marks and greyed items in step. Closing
// writes the command line's file back, and a write that fails asks what to do (SaveFlow).
class MainWindow : public QMainWindow, public SaveFlowWindow {
public:
    MainWindow();
    ~MainWindow() override;

    // The window that receives WM_UNWRAP_DONE, or null.
    static MainWindow* current();

    GlView* views() const { return views_; }
    QToolBar* toolBar() const { return toolBar_; }
    // The menu item with that command id, or null.
    QAction* menuAction(int id) const;
    // The toolbar button with that command id, or null.
    QAction* toolAction(int id) const;

    void runCommand(int id);
    void refreshMenuState();
    // The first unwrap of the command line's file, in the background. Every background unwrap
    // shows "Unwrapping..." in the UV view and a busy cursor until its result has been taken
    // over (syncUnwrapBusy, after every command, input event and landed result).
    void startFirstUnwrap();
    void unwrapLanded();
    void syncUnwrapBusy();

    // File commands and dialogs (modal). Save and Save As ask when their write fails.
    void showLoadDialog();
    void saveDocument();
    void showSaveAsDialog();
    // File > Export UV Layout...: an SVG or PNG picture of the layout, charts filled by their
    // stretch colour while the stretch display is on.
    void showExportUvDialog();
    void showAbout();
    // The load-failed dialog; reason, when given, says what went wrong below the fixed text.
    void showLoadFailed(const std::string& reason = std::string());
    // What kept the command line's files from use (the OBJ file's load, a file without faces,
    // or the seam list), shown once the window is up; nothing when all went well.
    void showStartupProblem();

    // The open and save dialogs: OBJ and all-files filters, default extension. Load takes
    // existing files only; Save As also takes a new name and asks before replacing a file.
    static void setUpFileDialog(QFileDialog& dialog, bool save);

    // Centres a dialog over the client area, keeping its size.
    void centreOverClient(QWidget* dialog);

    // The box that says a write failed ("writeFailedBox"), and the Save As dialog.
    WriteFailedAnswer askAfterFailedWrite(const std::string& message) override;
    bool chooseSavePath(std::string& path) override;

protected:
    // The write-back happens here, while the window can still say that it failed; the window
    // stays open when the user cancels.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildToolBar();
    void buildAccelerators();

    GlView* views_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    bool closing_ = false; // the close's write-back, and its box, are under way
    std::map<int, QAction*> menuActions_;
    std::map<int, QAction*> toolActions_;
};

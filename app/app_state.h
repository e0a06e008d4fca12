#pragma once

#include "app/commands.h"

#include <string>

// Entry points of the two views and the renderer that the dispatcher and the window call. The
// views fill these in when they are linked (app/view_binding.cpp); an entry left null is a
// view operation that does nothing and answers false. Tests put recorders here.
struct ViewCalls {
    // Renderer: context set-up, size of the client area, one frame.
    bool (*initialise)() = nullptr;
    void (*layout)(int left, int top, int right, int bottom, float splitRatio) = nullptr;
    void (*paint)() = nullptr;
    void (*useChecker)() = nullptr;
    void (*useColourNumbers)() = nullptr;
    void (*useWhite)() = nullptr;
    // The display switches changed (wireframe, back faces, single select, stretch).
    void (*switchesChanged)(bool wireframe, bool noBackFaces, bool singleSelect,
                            bool showStretch) = nullptr;

    // Both views learn whether the left Alt key is down at every event.
    void (*setLeftAlt)(bool down) = nullptr;
    void (*makeSceneCurrent)() = nullptr;
    void (*makeUvCurrent)() = nullptr;
    // SceneView::handleMouse and UvView::handleMouse: event, position, last position. The UV
    // view's x values are relative to its own left edge.
    bool (*sceneHandleMouse)(int event, int x, int y, int lastX, int lastY) = nullptr;
    bool (*uvHandleMouse)(int event, int x, int y, int lastX, int lastY) = nullptr;
    bool (*sceneReleaseKey)(int code) = nullptr;
    bool (*uvReleaseKey)(int code) = nullptr;
    void (*sceneSetMode)(int code) = nullptr;
    void (*uvSetMode)(int code) = nullptr;
    // UvView::coarserTexture / finerTexture; they answer false at the end of the range.
    bool (*coarserTexture)() = nullptr;
    bool (*finerTexture)() = nullptr;
    // SceneView translation to (0, 0, -1.8, 1) and UvView::reset.
    void (*resetCameras)() = nullptr;
    void (*centreOnSelectedEdges)() = nullptr;
    // Losing the focus: drop held keys and buttons, leave the temporary modes.
    void (*releaseAll)() = nullptr;
    // The mouse wheel over a view, in notches (positive: away from the user, zoom in).
    void (*sceneWheel)(int steps) = nullptr;
    void (*uvWheel)(int steps) = nullptr;
    // The UV view's mode, which the toolbar shows.
    int (*uvMode)() = nullptr;
    // The UV view's status line says "Unwrapping..." while busy, its mode again after.
    void (*uvBusy)(bool busy) = nullptr;
};
ViewCalls& app_view_calls();

// Which edge alignSelected moves the selection to.
enum AlignSide { ALIGN_MIN_U = 0, ALIGN_MAX_U = 1, ALIGN_MIN_V = 2, ALIGN_MAX_V = 3 };

// The document's edit and selection operations that the key table calls; filled in where they
// are linked, null until then (an operation that does nothing and answers false).
struct EditCalls {
    bool (*cutSelectedEdges)() = nullptr;
    bool (*weldSelectedEdges)() = nullptr;
    bool (*addAutomaticSeams)() = nullptr;
    bool (*relaxSelected)() = nullptr;
    void (*pinSelected)() = nullptr;
    void (*unpinSelected)() = nullptr;
    void (*deselectAll)() = nullptr;
    bool (*alignSelected)(AlignSide side) = nullptr;
};
EditCalls& app_edit_calls();

// What the window must do after a command besides repainting.
// Save: File > Save, which the window runs so that it can ask when the write fails.
enum class WindowAction { None, LoadDialog, Save, SaveAsDialog, ExportUvDialog, About, Exit };

struct CommandOutcome {
    bool repaint = false;
    WindowAction action = WindowAction::None;
};

// The application's state between events: the client rectangle, the split between the two
// views, who holds the current button press, the display switches and the path chosen with
// Load. Created on first use, never destroyed; the window and tests reset() it.
class AppState {
public:
    static AppState& instance();

    void reset();

    // Client rectangle, set at every layout.
    void setClientRect(int l, int t, int r, int b);

    // Routes one input event (EVT_*; x is the virtual key for key events). True when the
    // window must be repainted.
    bool dispatchEvent(int event, int x, int y);
    // Whether the window's busy display ("Unwrapping..." in the UV view's status line and the
    // busy cursor) must change to match the document's background unwrap, whatever started it:
    // the first unwrap, Cut, Weld or an option switch. *busy gets the state to show.
    bool unwrapBusyChanged(bool* busy);

    // The mouse wheel at window position (x, y): zooms the view under it. True when the
    // window must be repainted.
    bool wheel(int x, int y, int steps);

    // A menu, toolbar or accelerator command by id.
    CommandOutcome runCommand(int id);

    // File commands once the dialog has given a path. loadChosenFile: false when the load
    // failed (the document is then empty and the window shows the load-failed dialog). The
    // saves write nothing, answering false with *error left empty, when the document came from
    // no file; a failed write answers false with its reason in *error.
    bool loadChosenFile(const std::string& path);
    bool saveAsChosenFile(const std::string& path, std::string* error = nullptr);
    bool saveToLoadedPath(std::string* error = nullptr);
    // The file the document came from: the one chosen with Load, else the command line's when
    // it could be read; empty when neither.
    std::string documentSource() const;

    // Menu state.
    bool isChecked(int id) const;
    // Toolbar state: the Edge Select, UV Select and UV Move buttons show the UV view's mode.
    bool isToolChecked(int id) const;
    bool isEnabled(int id) const;

    // The width of the 3D view: where the splitter sits.
    int splitterPosition() const;

    int left = 0, top = 0, right = 0, bottom = 0;
    int dragTarget = 0; // 0 none, 1 3D view, 2 UV view, 3 splitter
    float splitRatio = 0.5f;

    int lastX = 0, lastY = 0;
    int pressEvent = 0; // button event of the press in progress, 0 for none
    bool wireframe = false;
    bool noBackFaces = false;
    bool singleSelect = false;
    bool showStretch = false;
    int texture = ID_TEXTURE_CHECKER; // the Textures menu's item that is on
    bool busyShown = false;           // the window shows a background unwrap running
    std::string loadedPath;           // empty: nothing chosen with Load

private:
    AppState() = default;
    bool passToPressHolder(int event, int x, int y, int lx, int ly);
    bool keyDown(int key);
    bool keyUp(int key);
    void toggleUnwrapOption(bool& option);
};

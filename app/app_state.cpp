#include "app/app_state.h"

#include "app/startup.h"
#include "document/engine_options.h"
#include "document/mesh_document.h"
#include "document/undo_history.h"
#include "platform/key_state.h"

ViewCalls& app_view_calls() {
    static ViewCalls calls;
    return calls;
}

EditCalls& app_edit_calls() {
    static EditCalls calls;
    return calls;
}

namespace {

template <typename F, typename... A> bool answer_of(F f, A... args) {
    return f ? f(args...) : false;
}

template <typename F, typename... A> void call(F f, A... args) {
    if (f)
        f(args...);
}

bool is_button_down(int event) {
    return event == EVT_LBUTTON_DOWN || event == EVT_MBUTTON_DOWN || event == EVT_RBUTTON_DOWN ||
           event == EVT_LBUTTON_DBLCLK;
}

bool is_button_up(int event) {
    return event == EVT_LBUTTON_UP || event == EVT_MBUTTON_UP || event == EVT_RBUTTON_UP;
}

void both_modes(int code) {
    const ViewCalls& v = app_view_calls();
    call(v.sceneSetMode, code);
    call(v.uvSetMode, code);
}

} // namespace

AppState& AppState::instance() {
    static AppState state;
    return state;
}

void AppState::reset() {
    *this = AppState();
}

void AppState::setClientRect(int l, int t, int r, int b) {
    left = l;
    top = t;
    right = r;
    bottom = b;
}

int AppState::splitterPosition() const {
    int half = (right - left) / 2;
    return half + int(2.0f * float(half) * (splitRatio - 0.5f));
}

bool AppState::passToPressHolder(int event, int x, int y, int lx, int ly) {
    const ViewCalls& v = app_view_calls();
    if (dragTarget == 1)
        return answer_of(v.sceneHandleMouse, event, x, y, lx, ly);
    if (dragTarget == 2) {
        int offset = int(float(right) * splitRatio);
        return answer_of(v.uvHandleMouse, event, x - offset, y, lx - offset, ly);
    }
    return false;
}

bool AppState::dispatchEvent(int event, int x, int y) {
    const ViewCalls& v = app_view_calls();
    call(v.setLeftAlt, platform_key_down(VK_KEY_LMENU));

    if (is_button_down(event)) {
        pressEvent = event;
        int width = right - left;
        float s = float(width / 2) + 2.0f * float(width / 2) * (splitRatio - 0.5f);
        if (float(x) > s - 4.0f && float(x) < s + 4.0f) {
            dragTarget = 3;
            return false;
        }
        float split = splitRatio * float(right);
        bool inside = top < y && y < bottom;
        bool answer = false;
        if (inside && left < x && float(x) < split) {
            call(v.makeSceneCurrent);
            answer = answer_of(v.sceneHandleMouse, event, x, y, lastX, lastY);
            dragTarget = 1;
        }
        if (inside && split < float(x) && x < right) {
            call(v.makeUvCurrent);
            dragTarget = 2;
            int offset = int(split);
            return answer_of(v.uvHandleMouse, event, x - offset, y, lastX - offset, lastY);
        }
        return answer;
    }

    if (dragTarget == 1)
        call(v.makeSceneCurrent);
    else if (dragTarget == 2)
        call(v.makeUvCurrent);

    if (event == EVT_MOUSE_MOVE && dragTarget == 3) {
        int width = right - left;
        if (width > 0)
            splitRatio -= float(lastX - x) / float(width);
        if (splitRatio < 0.1f)
            splitRatio = 0.1f;
        if (splitRatio > 0.9f)
            splitRatio = 0.9f;
        lastX = x;
        lastY = y;
        return true;
    }

    bool answer = false;
    if (pressEvent != 0)
        answer = passToPressHolder(event, x, y, lastX, lastY);

    if (is_button_up(event)) {
        pressEvent = 0;
        dragTarget = 0;
        return answer;
    }
    if (event == EVT_MOUSE_MOVE) {
        lastX = x;
        lastY = y;
        // The holder also sees the move without displacement, so its own last position
        // follows the pointer.
        if (pressEvent != 0)
            passToPressHolder(EVT_MOUSE_MOVE, x, y, x, y);
        return answer;
    }
    if (event == EVT_KEY_UP)
        return keyUp(x);
    if (event == EVT_KEY_DOWN)
        return keyDown(x);
    return answer;
}

bool AppState::wheel(int x, int y, int steps) {
    const ViewCalls& v = app_view_calls();
    if (steps == 0 || y <= top || y >= bottom)
        return false;
    const float split = splitRatio * float(right);
    if (left < x && float(x) < split && v.sceneWheel) {
        v.sceneWheel(steps);
        return true;
    }
    if (split < float(x) && x < right && v.uvWheel) {
        v.uvWheel(steps);
        return true;
    }
    return false;
}

bool AppState::keyUp(int key) {
    const ViewCalls& v = app_view_calls();
    int code = 0;
    switch (key) {
    case VK_SHIFT:
        code = 16;
        break;
    case VK_CONTROL:
        code = 32;
        break;
    case 'M':
        call(v.sceneReleaseKey, 10);
        call(v.uvReleaseKey, 10);
        return true;
    case 'T':
        call(v.sceneReleaseKey, 9);
        call(v.uvReleaseKey, 9);
        return true;
    default:
        return false;
    }
    bool a = answer_of(v.sceneReleaseKey, code);
    bool b = answer_of(v.uvReleaseKey, code);
    return a || b;
}

bool AppState::keyDown(int key) {
    const ViewCalls& v = app_view_calls();
    const EditCalls& e = app_edit_calls();
    switch (key) {
    case VK_SHIFT:
        both_modes(16);
        return false;
    case VK_CONTROL:
        both_modes(32);
        return false;
    case VK_LEFT:
        return answer_of(v.coarserTexture);
    case VK_RIGHT:
        return answer_of(v.finerTexture);
    case 'A':
        call(v.resetCameras);
        return true;
    case 'C':
        return answer_of(e.cutSelectedEdges);
    case 'E':
        both_modes(MODE_EDGE_SELECT);
        return true;
    case 'K':
        return answer_of(e.addAutomaticSeams);
    case 'M':
        both_modes(MODE_PIVOT);
        return true;
    case 'N':
        call(v.centreOnSelectedEdges);
        return true;
    case 'O':
        call(e.unpinSelected);
        return true;
    case 'P':
        call(e.pinSelected);
        return true;
    case 'Q':
        call(e.deselectAll);
        return true;
    case 'R':
        call(v.uvSetMode, MODE_UV_MOVE);
        return true;
    case 'S':
        return answer_of(e.relaxSelected);
    case 'T':
        both_modes(MODE_EDGE_TOPOLOGICAL);
        return true;
    case 'U':
        both_modes(MODE_UV_SELECT);
        return true;
    case 'W':
        return answer_of(e.weldSelectedEdges);
    case 'X':
        UndoHistory::instance().redo();
        return true;
    case 'Z':
        UndoHistory::instance().undo();
        return true;
    // Keypad 8 sets V to the largest V of the selection (the top of the UV view), keypad 2 to
    // the smallest; the menu's "Min V" and "Max V" labels name the keys the other way round.
    case VK_NUMPAD2:
        return answer_of(e.alignSelected, ALIGN_MIN_V);
    case VK_NUMPAD4:
        return answer_of(e.alignSelected, ALIGN_MIN_U);
    case VK_NUMPAD6:
        return answer_of(e.alignSelected, ALIGN_MAX_U);
    case VK_NUMPAD8:
        return answer_of(e.alignSelected, ALIGN_MAX_V);
    default:
        return false;
    }
}

bool AppState::unwrapBusyChanged(bool* busy) {
    const bool running = MeshDocument::instance().liveBusy != 0;
    if (running == busyShown)
        return false;
    busyShown = running;
    *busy = running;
    return true;
}

void AppState::toggleUnwrapOption(bool& option) {
    option = !option;
    MeshDocument& doc = MeshDocument::instance();
    if (doc.faceCount > 0)
        doc.startLiveUnwrap(UndoHistory::instance().currentId());
}

CommandOutcome AppState::runCommand(int id) {
    CommandOutcome out;
    if (!isEnabled(id))
        return out;
    if (int key = command_key(id)) {
        dispatchEvent(EVT_KEY_DOWN, key, 0);
        out.repaint = true;
        return out;
    }
    const ViewCalls& v = app_view_calls();
    switch (id) {
    case ID_FILE_LOAD:
        out.action = WindowAction::LoadDialog;
        break;
    case ID_FILE_SAVE:
        out.action = WindowAction::Save;
        break;
    case ID_FILE_SAVEAS:
        out.action = WindowAction::SaveAsDialog;
        break;
    case ID_FILE_EXPORTUV:
        out.action = WindowAction::ExportUvDialog;
        break;
    case IDM_EXIT:
        out.action = WindowAction::Exit;
        break;
    case IDM_ABOUT:
        out.action = WindowAction::About;
        break;
    case ID_SWITCH_LSCM:
        toggleUnwrapOption(engine_options().useAbf);
        out.repaint = true;
        break;
    case ID_SWITCH_FILLHOLES:
        toggleUnwrapOption(engine_options().fillHoles);
        out.repaint = true;
        break;
    case ID_SWITCH_TIGHTPACK:
        toggleUnwrapOption(engine_options().tightPack);
        out.repaint = true;
        break;
    case ID_SWITCH_FIXFLIPS:
        toggleUnwrapOption(engine_options().fixFlips);
        out.repaint = true;
        break;
    case ID_SWITCH_WIREFRAME:
        wireframe = !wireframe;
        out.repaint = true;
        break;
    case ID_SWITCH_NOBACKFACES:
        noBackFaces = !noBackFaces;
        break;
    case ID_SWITCH_SINGLESELECT:
        singleSelect = !singleSelect;
        break;
    case ID_TEXTURE_CHECKER:
        call(v.useChecker);
        texture = id;
        showStretch = false;
        out.repaint = true;
        break;
    case ID_TEXTURE_COLOURNUMBERS:
        call(v.useColourNumbers);
        texture = id;
        showStretch = false;
        out.repaint = true;
        break;
    case ID_TEXTURE_STRETCH:
        call(v.useWhite);
        texture = id;
        MeshDocument::instance().computeStretch();
        showStretch = true;
        out.repaint = true;
        break;
    default:
        break;
    }
    call(v.switchesChanged, wireframe, noBackFaces, singleSelect, showStretch);
    return out;
}

bool AppState::loadChosenFile(const std::string& path) {
    MeshDocument& doc = MeshDocument::instance();
    // A running worker belongs to the old file: wait for it, and drop its result.
    doc.waitForLiveUnwrap();
    UndoHistory::instance().clear();
    if (doc.load(path.c_str())) {
        loadedPath = path;
        return true;
    }
    // The document is empty now: forget the earlier file, so that Save and Save As cannot
    // overwrite it with nothing.
    loadedPath.clear();
    shutdownCleanup();
    return false;
}

bool AppState::saveAsChosenFile(const std::string& path, std::string* error) {
    const std::string source = documentSource();
    if (source.empty())
        return false;
    return MeshDocument::instance().writeObj(path.c_str(), source.c_str(), error);
}

bool AppState::saveToLoadedPath(std::string* error) {
    if (loadedPath.empty())
        return false;
    return MeshDocument::instance().writeObj(loadedPath.c_str(), loadedPath.c_str(), error);
}

std::string AppState::documentSource() const {
    const StartupState& state = startup_state();
    if (!loadedPath.empty())
        return loadedPath;
    if (state.startedWithFile && !state.loadFailed)
        return state.exitSource;
    return std::string();
}

bool AppState::isChecked(int id) const {
    switch (id) {
    case ID_SWITCH_LSCM:
        return !engine_options().useAbf;
    case ID_SWITCH_FILLHOLES:
        return engine_options().fillHoles;
    case ID_SWITCH_TIGHTPACK:
        return engine_options().tightPack;
    case ID_SWITCH_FIXFLIPS:
        return engine_options().fixFlips;
    case ID_SWITCH_WIREFRAME:
        return wireframe;
    case ID_SWITCH_NOBACKFACES:
        return noBackFaces;
    case ID_SWITCH_SINGLESELECT:
        return singleSelect;
    case ID_TEXTURE_CHECKER:
    case ID_TEXTURE_COLOURNUMBERS:
    case ID_TEXTURE_STRETCH:
        return texture == id;
    default:
        return false;
    }
}

bool AppState::isToolChecked(int id) const {
    const ViewCalls& v = app_view_calls();
    const int mode = v.uvMode ? v.uvMode() : MODE_NONE;
    switch (id) {
    case ID_EDGE_SELECT:
        return mode == MODE_EDGE_SELECT;
    case ID_UV_SELECT:
        return mode == MODE_UV_SELECT;
    case ID_UV_MOVE:
        return mode == MODE_UV_MOVE;
    default:
        return false;
    }
}

bool AppState::isEnabled(int id) const {
    if (id == ID_FILE_LOAD || id == ID_FILE_SAVE || id == ID_FILE_SAVEAS)
        return !startup_state().startedWithFile;
    return true;
}

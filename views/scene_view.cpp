#include "views/scene_view.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>

#include "document/mesh_document.h"
#include "platform/key_state.h"
#include "views/display_textures.h"
#include "views/renderer.h"
#include "views/select_gesture.h"
#include "views/uv_view.h"
#include "views/view_draw.h"
#include "views/view_math.h"

namespace {

// One pixel of motion covers 1.15 x distance / width units: the horizontal field of view
// is fixed at 60 degrees.
constexpr float PIXEL_SPAN = 1.15f;
constexpr float ROTATE_DEGREES_PER_PIXEL = 0.31412f;

// The document reports loads to the views; installed when the views are linked in, since a
// file given on the command line is loaded before any view is touched.
struct HookInstaller {
    HookInstaller() {
        document_view_hooks().normalised = [] { SceneView::instance().resetCamera(); };
        document_view_hooks().loaded = [] {
            SceneView::instance().onLoad();
            UvView::instance().onLoad();
        };
    }
};
const HookInstaller hookInstaller;

} // namespace

// e = -max(1, |distance|): the pan factor never drops below that of distance 1.
float pan_extent(float distance) {
    if (distance <= -1)
        return distance;
    if (distance < 1)
        return -1;
    return -distance;
}

float wheel_distance(float distance, int steps) {
    if (distance >= 0) // the model behind the camera, after a long dolly: plain steps
        return distance - 0.1f * float(steps);
    return distance * std::pow(0.9f, float(steps));
}

SceneView& SceneView::instance() {
    static SceneView* view = new SceneView();
    return *view;
}

void SceneView::buildMatrices() {
    float rx[16], ry[16], r[16], t[16], p[16], tmp[16];
    mat_rotation_x(rx, rotation[0]);
    mat_rotation_y(ry, rotation[1]);
    mat_mul(r, rx, ry);
    mat_translation(t, translation[0], translation[1], translation[2]);
    mat_translation(p, pivot[0], -pivot[1], -pivot[2]);
    mat_mul(tmp, t, r);
    mat_mul(modelView, tmp, p);
    mat_rotation_x(rx, -rotation[0]);
    mat_mul(r, rx, ry);
    mat_mul(axisMatrix, t, r);
}

void SceneView::resetCamera() {
    translation[0] = 0;
    translation[1] = 0;
    translation[2] = -1.8f;
    translation[3] = 1;
}

void SceneView::onLoad() {
    pivot[0] = pivot[1] = pivot[2] = 0;
    buildMatrices();
}

void SceneView::makeCurrent() {
    Renderer::instance().setViewport(viewRect.left, viewRect.right, viewRect.top, viewRect.bottom,
                                     0.01f, 65535.0f);
}

bool SceneView::centreOnSelectedEdges() {
    const MeshDocument& doc = MeshDocument::instance();
    double sum[3] = {0, 0, 0};
    int ends = 0;
    for (int i = 0; i < doc.edgeCount; ++i) {
        const MeshEdge& e = doc.edges[size_t(i)];
        if (!(e.flags & FLAG_SELECTED))
            continue;
        for (int v : {e.vertexA, e.vertexB}) {
            if (v <= 0 || v >= doc.vertexSlots)
                continue;
            const Vec3& p = doc.vertices[size_t(v)];
            sum[0] += p.x;
            sum[1] += p.y;
            sum[2] += p.z;
            ++ends;
        }
    }
    // Nothing selected: the mean of nothing is undefined, the pivot stays.
    if (ends == 0)
        return true;
    pivot[0] = -float(sum[0] / ends);
    pivot[1] = float(sum[1] / ends);
    pivot[2] = float(sum[2] / ends);
    return true;
}

bool SceneView::handleMouse(int event, int x, int y, int prevX, int prevY) {
    if (event == EVT_KEY_DOWN || event == EVT_KEY_UP)
        return false;
    lastX = prevX;
    lastY = prevY;
    leftDown = platform_key_down(VK_KEY_LBUTTON);
    middleDown = platform_key_down(VK_KEY_MBUTTON);
    rightDown = platform_key_down(VK_KEY_RBUTTON);
    const bool redraw = !leftDown;
    if (viewRect.right <= viewRect.left || viewRect.bottom <= viewRect.top)
        return false; // a view without area takes no input
    const bool doubleClickSelect = event == EVT_LBUTTON_DBLCLK && navigating == 0 &&
                                   (mode == MODE_EDGE_SELECT || mode == MODE_UV_SELECT);
    if (altDown && !doubleClickSelect)
        return navigate(event, x, y) || redraw;
    navigating = 0;
    if (doubleClickSelect)
        return doubleClick(x, y);
    if (mode == MODE_PIVOT)
        return movePivot(event, x, y) || redraw;
    if (mode_is_selection(mode))
        return select(event, x, y) || redraw;
    return redraw;
}

PickView SceneView::pickView() const {
    return pick_view_of(modelView, viewRect.right - viewRect.left, viewRect.bottom - viewRect.top);
}

bool SceneView::select(int event, int x, int y) {
    MeshDocument& doc = MeshDocument::instance();
    const DisplaySwitches& sw = DisplaySwitches::instance();
    const PickView view = pickView();
    return run_select_rectangle(*this, event, x, y, leftDown != 0, [&](const int32_t* rect) {
        switch (mode) {
        case MODE_EDGE_SELECT:
            doc.pickEdges3d(view, rect, shiftDown, ctrlDown, sw.singleSelect, false, false,
                            sw.dontSelectBackFaces);
            break;
        case MODE_EDGE_TOPOLOGICAL:
            doc.pickEdges3d(view, rect, true, ctrlDown, true, false, true, sw.dontSelectBackFaces);
            break;
        case MODE_UV_SELECT:
            doc.pickUvPointsByVertex(view, rect, shiftDown, ctrlDown, false);
            break;
        default:
            break;
        }
    });
}

// A double-click picks once under a 6-pixel square, forced, and leaves the loop or the island
// to the next event.
bool SceneView::doubleClick(int x, int y) {
    MeshDocument& doc = MeshDocument::instance();
    const int32_t square[4] = {x - 3, y - 3, x + 3, y + 3};
    for (int i = 0; i < 4; i++)
        selectRect[i] = square[i];
    if (mode == MODE_EDGE_SELECT) {
        doc.pickEdges3d(pickView(), square, shiftDown, ctrlDown, true, true, false,
                        DisplaySwitches::instance().dontSelectBackFaces);
        mode = MODE_EDGE_LOOP_PENDING;
    } else {
        doc.pickUvPointsByVertex(pickView(), square, shiftDown, ctrlDown, true);
        mode = MODE_UV_ISLAND_PENDING;
    }
    commitPending = 1;
    return false;
}

void SceneView::wheel(int steps) {
    translation[2] = wheel_distance(translation[2], steps);
}

bool SceneView::navigate(int event, int x, int y) {
    bool changed = false;
    if (!navigating && mode_is_selection(mode) && rectActive) {
        rectActive = 0;
        for (int& c : selectRect)
            c = -1;
        commitPending = 1;
        changed = true;
    }
    navigating = 1;
    if (event != EVT_MOUSE_MOVE)
        return changed;
    const int dx = x - lastX, dy = y - lastY;
    const int w = viewRect.right - viewRect.left;
    if (leftDown) {
        rotation[0] += float(dy) * ROTATE_DEGREES_PER_PIXEL;
        if (rotation[0] > 90)
            rotation[0] = 90;
        if (rotation[0] < -90)
            rotation[0] = -90;
        rotation[1] += float(dx) * ROTATE_DEGREES_PER_PIXEL;
        return true;
    }
    if (middleDown) {
        const float e = pan_extent(translation[2]);
        translation[0] -= e * (float(dx) / float(w)) * PIXEL_SPAN;
        translation[1] += e * (float(dy) / float(w)) * PIXEL_SPAN;
        return true;
    }
    if (rightDown) {
        translation[2] += 0.01f * float(std::abs(dy) < std::abs(dx) ? dx : dy);
        return true;
    }
    return changed;
}

bool SceneView::movePivot(int event, int x, int y) {
    if (event != EVT_MOUSE_MOVE)
        return false;
    const int dx = x - lastX, dy = y - lastY;
    float v[3];
    if (leftDown) {
        const float e = pan_extent(translation[2]);
        const float w = float(viewRect.right - viewRect.left);
        v[0] = -PIXEL_SPAN * (e / w) * float(dx);
        v[1] = -PIXEL_SPAN * (e / w) * float(dy);
        v[2] = 0;
    } else if (rightDown) {
        const int o = std::abs(dy) >= std::abs(dx) ? dy : dx;
        v[0] = v[1] = 0;
        v[2] = -0.01f * float(o);
    } else {
        return false;
    }
    float rx[16], ry[16], r[16], q[16];
    mat_rotation_x(rx, rotation[0]);
    mat_rotation_y(ry, -rotation[1]);
    mat_mul(r, rx, ry);
    if (!mat_inverse(q, r))
        return false;
    for (int i = 0; i < 3; ++i)
        pivot[i] += q[i] * v[0] + q[4 + i] * v[1] + q[8 + i] * v[2];
    return true;
}

bool SceneView::setMode(int code) {
    if (code == KEYCODE_SHIFT) {
        shiftDown = 1;
        return false;
    }
    if (code == KEYCODE_CTRL) {
        ctrlDown = 1;
        return false;
    }
    if (code == mode)
        return false;
    switch (code) {
    case MODE_EDGE_SELECT:
        set_status(statusText, "Mode: Edge Select");
        break;
    case MODE_UV_SELECT:
        set_status(statusText, "Mode: UV Select");
        break;
    case MODE_EDGE_TOPOLOGICAL:
        set_status(statusText, "Mode: Edge Topological");
        break;
    case MODE_PIVOT:
        savedMode = mode;
        break;
    default:
        break;
    }
    mode = code;
    return true;
}

bool SceneView::releaseKey(int code) {
    if (code == KEYCODE_SHIFT) {
        shiftDown = 0;
        return true;
    }
    if (code == KEYCODE_CTRL) {
        ctrlDown = 0;
        return true;
    }
    if (code == MODE_EDGE_TOPOLOGICAL) {
        set_status(statusText, "Mode: Edge Select");
        mode = MODE_EDGE_SELECT;
        return true;
    }
    if (code == MODE_PIVOT && mode == MODE_PIVOT) {
        setMode(savedMode);
        return true;
    }
    return false;
}

void SceneView::releaseAll() {
    leftDown = middleDown = rightDown = 0;
    shiftDown = ctrlDown = 0;
    if (mode == MODE_EDGE_TOPOLOGICAL) {
        set_status(statusText, "Mode: Edge Select");
        mode = MODE_EDGE_SELECT;
    } else if (mode == MODE_PIVOT) {
        setMode(savedMode);
    }
    UvView::instance().releaseAll();
}

#include "views/uv_view.h"

#include <GL/gl.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "document/mesh_document.h"
#include "platform/key_state.h"
#include "views/display_textures.h"
#include "views/edge_borders.h"
#include "views/pass_arrays.h"
#include "views/pass_inputs.h"
#include "views/renderer.h"
#include "views/scene_view.h"
#include "views/select_gesture.h"
#include "views/view_draw.h"
#include "views/view_math.h"

namespace {

// The faces in their stretch colour, each a fan of its corners' UV points.
template <typename Out> void emit_uv_stretch_faces(const MeshDocument& doc, Out& out) {
    const float n[3] = {0, 0, 0};
    for (int f = 0; f < doc.faceCount; ++f) {
        const MeshFace& face = doc.faces[size_t(f)];
        float rgb[3];
        stretch_colour(face.stretchShade, rgb);
        out.beginFan(rgb);
        for (int k = 0; k < face.cornerCount; ++k) {
            const int ui = face.uvIndices[k];
            if (ui < 0 || ui >= doc.uvCount)
                continue;
            const UvPoint& p = doc.uvs[size_t(ui)];
            const float xyz[3] = {p.u, p.v, 0}, uv[2] = {p.u, p.v};
            out.fanVertex(xyz, n, uv);
        }
        out.endFan();
    }
}

// Every face corner's UV edge in the colour of its flags; the anchor edge (-1 none) wide and
// yellow wherever a face uses its two vertices. `border` marks the edges drawn at any zoom
// whatever their flags.
template <typename Out>
void emit_uv_lines(const MeshDocument& doc, int anchorEdge, const std::vector<uint8_t>& border,
                   Out& out) {
    const MeshEdge* anchor = anchorEdge >= 0 ? &doc.edges[size_t(anchorEdge)] : nullptr;
    for (int f = 0; f < doc.faceCount; ++f) {
        const MeshFace& face = doc.faces[size_t(f)];
        const int n = face.cornerCount;
        for (int k = 0; k < n; ++k) {
            const int prev = k == 0 ? n - 1 : k - 1;
            const int ua = face.uvIndices[prev], ub = face.uvIndices[k];
            const int e = face.edgeIndices[k];
            if (ua < 0 || ub < 0 || ua >= doc.uvCount || ub >= doc.uvCount || e < 0 ||
                e >= doc.edgeCount)
                continue;
            float rgb[3], w;
            const int va = face.vertexIndices[prev], vb = face.vertexIndices[k];
            const int32_t flags = doc.edges[size_t(e)].flags;
            const bool isAnchor = anchor && ((va == anchor->vertexA && vb == anchor->vertexB) ||
                                             (va == anchor->vertexB && vb == anchor->vertexA));
            if (isAnchor) {
                rgb[0] = rgb[1] = 2;
                rgb[2] = 0;
                w = 4;
            } else {
                edge_style(flags, true, rgb, &w);
            }
            const float a[3] = {doc.uvs[size_t(ua)].u, doc.uvs[size_t(ua)].v, 0};
            const float b[3] = {doc.uvs[size_t(ub)].u, doc.uvs[size_t(ub)].v, 0};
            out.segment(a, b, rgb, w, isAnchor || border[size_t(e)] || flags_always_drawn(flags));
        }
    }
}

struct UvArrays {
    FaceArrays faces;
    LineArrays lines;
    InputMemo inputs;
    bool valid = false;
};

UvArrays& uv_arrays() {
    static UvArrays* a = new UvArrays();
    return *a;
}

} // namespace

UvView& UvView::instance() {
    static UvView* view = new UvView();
    return *view;
}

void UvView::buildMatrix() {
    mat_translation(modelView, translation[0], translation[1], translation[2]);
}

void UvView::reset() {
    translation[0] = -0.5f;
    translation[1] = -0.5f;
    translation[2] = -1.0f;
    translation[3] = 1.0f;
}

void UvView::onLoad() {
    buildMatrix();
}

void UvView::makeCurrent() {
    Renderer::instance().setViewport(viewRect.left, viewRect.right, viewRect.top, viewRect.bottom,
                                     0.01f, 65535.0f);
}

bool UvView::coarserTexture() {
    if (textureScale <= 1)
        return false;
    --textureScale;
    return true;
}

bool UvView::finerTexture() {
    if (textureScale >= 4)
        return false;
    ++textureScale;
    return true;
}

bool UvView::handleMouse(int event, int x, int y, int prevX, int prevY) {
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
    // A double-click in the select modes reaches the selection even right after navigation.
    const bool doubleClickSelect =
        event == EVT_LBUTTON_DBLCLK && (mode == MODE_EDGE_SELECT || mode == MODE_UV_SELECT);
    if (altDown && !doubleClickSelect)
        return navigate(event, x, y) || redraw;
    navigating = 0;
    if (doubleClickSelect)
        return doubleClick(x, y);
    if (mode == MODE_UV_MOVE)
        return uvTools(event, x, y) || redraw;
    if (mode == MODE_PIVOT)
        return moveToolsCentre(event, x, y);
    if (mode_is_selection(mode))
        return select(event, x, y) || redraw;
    return redraw;
}

PickView UvView::pickView() const {
    return pick_view_of(modelView, viewRect.right - viewRect.left, viewRect.bottom - viewRect.top);
}

bool UvView::select(int event, int x, int y) {
    MeshDocument& doc = MeshDocument::instance();
    const PickView view = pickView();
    return run_select_rectangle(*this, event, x, y, leftDown != 0, [&](const int32_t* rect) {
        switch (mode) {
        case MODE_EDGE_SELECT:
            doc.pickEdgesUv(view, rect, shiftDown, ctrlDown, false);
            break;
        case MODE_EDGE_TOPOLOGICAL:
            doc.pickEdgesUv(view, rect, true, ctrlDown, true);
            break;
        case MODE_UV_SELECT:
            doc.pickUvPoints(view, rect, shiftDown, ctrlDown, false);
            break;
        default:
            break;
        }
    });
}

bool UvView::doubleClick(int x, int y) {
    MeshDocument& doc = MeshDocument::instance();
    const int32_t square[4] = {x - 3, y - 3, x + 3, y + 3};
    for (int i = 0; i < 4; i++)
        selectRect[i] = square[i];
    if (mode == MODE_EDGE_SELECT) {
        doc.pickEdgesUv(pickView(), square, shiftDown, ctrlDown, false);
        mode = MODE_EDGE_LOOP_PENDING;
    } else {
        doc.pickUvPoints(pickView(), square, shiftDown, ctrlDown, true);
        mode = MODE_UV_ISLAND_PENDING;
    }
    commitPending = 1;
    return false;
}

bool UvView::moveToolsCentre(int event, int x, int y) {
    const int dx = x - lastX, dy = y - lastY;
    if (event == EVT_MOUSE_MOVE && leftDown && (dx != 0 || dy != 0)) {
        const float w = float(viewRect.right - viewRect.left);
        const float distance = translation[2];
        MeshDocument::instance().moveSelectionCentre(-(float(dx) / w) * distance * UV_PIXEL_SPAN,
                                                     (float(dy) / w) * distance * UV_PIXEL_SPAN);
    }
    return true;
}

void UvView::showBusy(bool busy) {
    static const char* const BUSY = "Unwrapping...";
    if (busy) {
        if (std::strcmp(statusText, BUSY) != 0)
            set_status(statusBeforeBusy, statusText);
        set_status(statusText, BUSY);
    } else if (std::strcmp(statusText, BUSY) == 0) {
        set_status(statusText, statusBeforeBusy);
    }
}

void UvView::wheel(int steps) {
    translation[2] = wheel_distance(translation[2], steps);
    if (translation[2] > UV_NEAREST_DISTANCE)
        translation[2] = UV_NEAREST_DISTANCE;
}

bool UvView::navigate(int event, int x, int y) {
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
    const float w = float(viewRect.right - viewRect.left);
    if (leftDown || middleDown) {
        translation[0] -= (float(dx) / w) * translation[2] * UV_PIXEL_SPAN;
        translation[1] += (float(dy) / w) * translation[2] * UV_PIXEL_SPAN;
        return true;
    }
    if (rightDown) {
        translation[2] += 0.01f * float(std::abs(dy) < std::abs(dx) ? dx : dy);
        if (translation[2] > UV_NEAREST_DISTANCE)
            translation[2] = UV_NEAREST_DISTANCE;
        return true;
    }
    return changed;
}

bool UvView::setMode(int code) {
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
    case MODE_UV_MOVE:
        // The tools turn and scale about the selection's centre as it is now.
        MeshDocument::instance().computeSelectionCentre();
        set_status(statusText, "Mode: UV Move");
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

bool UvView::releaseKey(int code) {
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
        if (savedMode == MODE_UV_MOVE) {
            // Directly, so a centre moved while M was held is kept.
            set_status(statusText, "Mode: UV Move");
            mode = MODE_UV_MOVE;
        } else {
            setMode(savedMode);
        }
        return true;
    }
    return false;
}

void UvView::releaseAll() {
    leftDown = middleDown = rightDown = 0;
    shiftDown = ctrlDown = 0;
    if (mode == MODE_EDGE_TOPOLOGICAL) {
        set_status(statusText, "Mode: Edge Select");
        mode = MODE_EDGE_SELECT;
    } else if (mode == MODE_PIVOT) {
        setMode(savedMode);
    }
}

void UvView::draw(bool pathFlag) {
    MeshDocument& doc = MeshDocument::instance();
    Renderer& renderer = Renderer::instance();
    const int vw = viewRect.right - viewRect.left, vh = viewRect.bottom - viewRect.top;
    if (vw <= 0 || vh <= 0)
        return;
    buildMatrix();
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(modelView);
    glDisable(GL_LIGHTING);

    // Background tiles: the unit square opaque, the others faint.
    set_view_material();
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBindTexture(GL_TEXTURE_2D, renderer.currentTexture);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const float t = texture_repeat(textureScale);
    glBegin(GL_QUADS);
    for (int ty = -2; ty < 3; ++ty)
        for (int tx = -2; tx < 3; ++tx) {
            glColor4f(0.7f, 0.7f, 0.7f, (tx == 0 && ty == 0) ? 2.0f : 0.2f);
            const float x0 = float(tx), y0 = float(ty), x1 = x0 + 1, y1 = y0 + 1;
            glTexCoord2f(0, 0);
            glVertex3f(x0, y0, -0.001f);
            glTexCoord2f(t, 0);
            glVertex3f(x1, y0, -0.001f);
            glTexCoord2f(t, t);
            glVertex3f(x1, y1, -0.001f);
            glTexCoord2f(0, t);
            glVertex3f(x0, y1, -0.001f);
        }
    glEnd();
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);

    // Grid every 0.1 (accumulated in single precision), the integers wide and blue.
    float x = -2.0f;
    for (int i = 0; i < 51; ++i, x += 0.1f) {
        const bool major = i % 10 == 0;
        glLineWidth(major ? 3.0f : 1.0f);
        if (major)
            glColor3f(0, 0.2f, 0.7f);
        else
            glColor3f(0.5f, 0.5f, 0.5f);
        glBegin(GL_LINES);
        glVertex3f(x, -2, 0);
        glVertex3f(x, 3, 0);
        glVertex3f(-2, x, 0);
        glVertex3f(3, x, 0);
        glEnd();
    }

    // Tools' centre, valid or not.
    glLineWidth(2);
    glColor3f(2, 2, 0);
    glBegin(GL_LINES);
    glVertex3f(doc.selCentreU - 0.02f, doc.selCentreV, 0.01f);
    glVertex3f(doc.selCentreU + 0.02f, doc.selCentreV, 0.01f);
    glVertex3f(doc.selCentreU, doc.selCentreV - 0.02f, 0.01f);
    glVertex3f(doc.selCentreU, doc.selCentreV + 0.02f, 0.01f);
    glEnd();
    glLineWidth(1);

    const bool showStretch = DisplaySwitches::instance().showStretch != 0;
    const int anchor =
        (pathFlag && doc.anchorEdge >= 0 && doc.anchorEdge < doc.edgeCount) ? doc.anchorEdge : -1;
    // The arrays also decide, in both drawing modes, which segments this frame draws.
    UvArrays& arrays = uv_arrays();
    if (uv_inputs_changed(doc, arrays.inputs, anchor, showStretch) || !arrays.valid) {
        arrays.faces.clear();
        if (showStretch)
            emit_uv_stretch_faces(doc, arrays.faces);
        arrays.lines.clear();
        emit_uv_lines(doc, anchor, border_edges(doc, true), arrays.lines);
        arrays.valid = true;
    }
    kept_segments(arrays.lines.cull,
                  pixel_scale(modelView, renderer.projection, vw, renderer.shortSegmentPixels),
                  arrays.lines.kept);
    const float none[3] = {0, 0, 0};
    if (renderer.immediateMode) {
        if (showStretch) {
            ImmediateFans fans;
            emit_uv_stretch_faces(doc, fans);
        }
        ImmediateLines lines(none, arrays.lines.kept);
        emit_uv_lines(doc, anchor, border_edges(doc, true), lines);
    } else {
        draw_face_arrays(arrays.faces, false, true);
        glLineWidth(1);
        draw_line_arrays(arrays.lines, none);
    }
    glLineWidth(1);

    draw_uv_markers(modelView, renderer.projection, vw, vh, false);
    if (rectActive)
        draw_select_rect(selectRect, vw, vh);
    draw_status_line(statusText, vw, vh);
    glDisable(GL_COLOR_MATERIAL);
}

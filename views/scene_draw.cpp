#include <GL/gl.h>

#include <vector>

#include "document/mesh_document.h"
#include "views/display_textures.h"
#include "views/edge_borders.h"
#include "views/pass_arrays.h"
#include "views/pass_inputs.h"
#include "views/renderer.h"
#include "views/scene_view.h"
#include "views/uv_view.h"
#include "views/view_draw.h"
#include "views/view_math.h"

namespace {

void draw_pivot_cross(const float pivot[3]) {
    const float c[3] = {-pivot[0], pivot[1], pivot[2]};
    glLineWidth(2);
    glColor3f(2, 2, 2);
    glBegin(GL_LINES);
    for (int a = 0; a < 3; ++a) {
        float p0[3] = {c[0], c[1], c[2]}, p1[3] = {c[0], c[1], c[2]};
        p0[a] -= 1;
        p1[a] += 1;
        glVertex3fv(p0);
        glVertex3fv(p1);
    }
    glEnd();
    glLineWidth(1);
}

// Facing value of the first three corners on screen: below 0 when the face turns to the camera.
bool faces_camera(const MeshDocument& doc, const MeshFace& face, const float mvp[16], float cx,
                  float cy) {
    if (face.cornerCount < 3)
        return false;
    float s[3][2];
    for (int k = 0; k < 3; ++k) {
        const int vi = face.vertexIndices[k];
        if (vi <= 0 || vi >= doc.vertexSlots)
            return false;
        const Vec3& p = doc.vertices[size_t(vi)];
        float clip[4];
        mat_transform(clip, mvp, p.x, p.y, p.z, 1);
        s[k][0] = cx + cx * clip[0] / clip[3];
        s[k][1] = cy - cy * clip[1] / clip[3];
    }
    const float value =
        (s[0][1] - s[2][1]) * (s[0][0] - s[1][0]) - (s[0][1] - s[1][1]) * (s[0][0] - s[2][0]);
    return value < 0;
}

// The faces of the 3D pass, each a fan of its corners with the corner's normal and texture
// coordinate, in face order; `out` is either the immediate-mode drawer or the arrays.
template <typename Out>
void emit_scene_faces(const MeshDocument& doc, float t, bool showStretch, Out& out) {
    for (int f = 0; f < doc.faceCount; ++f) {
        const MeshFace& face = doc.faces[size_t(f)];
        float rgb[3] = {1, 1, 1};
        if (showStretch)
            stretch_colour(face.stretchShade, rgb);
        out.beginFan(rgb);
        for (int k = 0; k < face.cornerCount; ++k) {
            float n[3] = {0, 0, 0}, uv[2] = {0, 0};
            const int ni = face.normalIndices[k];
            if (ni >= 0 && ni < doc.normalCount) {
                const Vec3& v = doc.normals[size_t(ni)];
                n[0] = v.x, n[1] = v.y, n[2] = v.z;
            }
            const int ui = face.uvIndices[k];
            if (ui >= 0 && ui < doc.uvCount)
                uv[0] = doc.uvs[size_t(ui)].u * t, uv[1] = doc.uvs[size_t(ui)].v * t;
            const int vi = face.vertexIndices[k];
            if (vi > 0 && vi < doc.vertexSlots) {
                const Vec3& p = doc.vertices[size_t(vi)];
                const float xyz[3] = {p.x, p.y, p.z};
                out.fanVertex(xyz, n, uv);
            }
        }
        out.endFan();
    }
}

// Every face corner's edge as a segment in the colour and width of its flags; `border` marks
// the edges drawn at any zoom whatever their flags.
template <typename Out>
void emit_scene_lines(const MeshDocument& doc, const std::vector<uint8_t>& border, Out& out) {
    for (int f = 0; f < doc.faceCount; ++f) {
        const MeshFace& face = doc.faces[size_t(f)];
        const int n = face.cornerCount;
        for (int k = 0; k < n; ++k) {
            const int e = face.edgeIndices[k];
            const int a = face.vertexIndices[k == 0 ? n - 1 : k - 1], b = face.vertexIndices[k];
            if (e < 0 || e >= doc.edgeCount || a <= 0 || b <= 0 || a >= doc.vertexSlots ||
                b >= doc.vertexSlots)
                continue;
            float rgb[3], w;
            const int32_t flags = doc.edges[size_t(e)].flags;
            edge_style(flags, false, rgb, &w);
            const Vec3& pa = doc.vertices[size_t(a)];
            const Vec3& pb = doc.vertices[size_t(b)];
            const float xa[3] = {pa.x, pa.y, pa.z}, xb[3] = {pb.x, pb.y, pb.z};
            out.segment(xa, xb, rgb, w, border[size_t(e)] || flags_always_drawn(flags));
        }
    }
}

// The arrays of the 3D pass and what they were built from.
struct SceneArrays {
    FaceArrays faces;
    LineArrays lines;
    InputMemo faceInputs, lineInputs;
};

SceneArrays& scene_arrays() {
    static SceneArrays* a = new SceneArrays();
    return *a;
}

} // namespace

void SceneView::draw(bool pathFlag) {
    MeshDocument& doc = MeshDocument::instance();
    Renderer& renderer = Renderer::instance();
    const DisplaySwitches& sw = DisplaySwitches::instance();
    const int vw = viewRect.right - viewRect.left, vh = viewRect.bottom - viewRect.top;
    if (vw <= 0 || vh <= 0)
        return;

    buildMatrices();
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(modelView);
    if (mode == MODE_PIVOT) {
        glDisable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        draw_pivot_cross(pivot);
        glEnable(GL_TEXTURE_2D);
    }
    glEnable(GL_LIGHTING);
    set_view_material();
    glBindTexture(GL_TEXTURE_2D, renderer.currentTexture);

    // Eye-space (0, 0, 0.001) carried back into model space: lines sit just before the faces.
    const float off[3] = {0.001f * modelView[2], 0.001f * modelView[6], 0.001f * modelView[10]};

    // Facing marks for the picking, and the stretch of every face while it is shown.
    for (int i = 0; i < doc.edgeCount; ++i)
        doc.edges[size_t(i)].frontFacing = 0;
    float mvp[16];
    mat_mul(mvp, renderer.projection, modelView);
    const float cx = vw * 0.5f, cy = vh * 0.5f;
    for (int f = 0; f < doc.faceCount; ++f) {
        MeshFace& face = doc.faces[size_t(f)];
        if (faces_camera(doc, face, mvp, cx, cy))
            for (int k = 0; k < face.cornerCount; ++k) {
                const int e = face.edgeIndices[k];
                if (e >= 0 && e < doc.edgeCount)
                    doc.edges[size_t(e)].frontFacing = 1;
            }
        if (sw.showStretch)
            face.stretch = doc.faceStretch(f);
    }

    const float t = texture_repeat(UvView::instance().textureScale);
    if (renderer.immediateMode) {
        if (!sw.wireframe) {
            ImmediateFans fans;
            emit_scene_faces(doc, t, sw.showStretch != 0, fans);
        }
    } else {
        SceneArrays& arrays = scene_arrays();
        if (!sw.wireframe) {
            if (scene_face_inputs_changed(doc, arrays.faceInputs, t, sw.showStretch != 0) ||
                !arrays.faces.valid) {
                arrays.faces.clear();
                emit_scene_faces(doc, t, sw.showStretch != 0, arrays.faces);
                arrays.faces.valid = true;
            }
            draw_face_arrays(arrays.faces, true, true);
        }
    }

    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glLineWidth(1);
    {
        // The arrays also decide, in both drawing modes, which segments this frame draws.
        SceneArrays& arrays = scene_arrays();
        if (edge_inputs_changed(doc, arrays.lineInputs, 0) || !arrays.lines.valid) {
            arrays.lines.clear();
            const std::vector<uint8_t> border = border_edges(doc, false);
            emit_scene_lines(doc, border, arrays.lines);
            arrays.lines.valid = true;
        }
        const PixelScale scale =
            pixel_scale(modelView, renderer.projection, vw, renderer.shortSegmentPixels);
        kept_segments(arrays.lines.cull, scale, arrays.lines.kept);
        if (renderer.immediateMode) {
            const std::vector<uint8_t> border = border_edges(doc, false);
            ImmediateLines lines(off, arrays.lines.kept);
            emit_scene_lines(doc, border, lines);
        } else {
            draw_line_arrays(arrays.lines, off);
        }
    }
    glLineWidth(1);
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);

    if (pathFlag && doc.anchorEdge >= 0 && doc.anchorEdge < doc.edgeCount) {
        const MeshEdge& e = doc.edges[size_t(doc.anchorEdge)];
        if (e.vertexA > 0 && e.vertexB > 0 && e.vertexA < doc.vertexSlots &&
            e.vertexB < doc.vertexSlots) {
            glDisable(GL_LIGHTING);
            glDisable(GL_TEXTURE_2D);
            glDisable(GL_BLEND);
            glLineWidth(4);
            glColor3f(2, 2, 0);
            const Vec3& pa = doc.vertices[size_t(e.vertexA)];
            const Vec3& pb = doc.vertices[size_t(e.vertexB)];
            glBegin(GL_LINES);
            glVertex3f(pa.x + off[0], pa.y + off[1], pa.z + off[2]);
            glVertex3f(pb.x + off[0], pb.y + off[1], pb.z + off[2]);
            glEnd();
            glLineWidth(1);
        }
    }

    draw_uv_markers(modelView, renderer.projection, vw, vh, true);
    if (rectActive)
        draw_select_rect(selectRect, vw, vh);
    draw_status_line(statusText, vw, vh);
    glDisable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHTING);

    // Next frame's colours use this refresh; only the stretch display shows them.
    if (sw.showStretch)
        doc.computeStretch();
}

#include <GL/gl.h>

#include "document/mesh_document.h"
#include "views/display_textures.h"
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

    for (int i = 0; i < doc.edgeCount; ++i)
        doc.edges[size_t(i)].frontFacing = 0;

    float mvp[16];
    mat_mul(mvp, renderer.projection, modelView);
    const float cx = vw * 0.5f, cy = vh * 0.5f;
    const float t = texture_repeat(UvView::instance().textureScale);
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
        if (sw.wireframe)
            continue;
        float rgb[3] = {1, 1, 1};
        if (sw.showStretch)
            stretch_colour(face.stretchShade, rgb);
        glBegin(GL_TRIANGLE_FAN);
        glColor3fv(rgb);
        for (int k = 0; k < face.cornerCount; ++k) {
            const int ni = face.normalIndices[k];
            if (ni >= 0 && ni < doc.normalCount) {
                const Vec3& n = doc.normals[size_t(ni)];
                glNormal3f(n.x, n.y, n.z);
            } else {
                glNormal3f(0, 0, 0);
            }
            const int ui = face.uvIndices[k];
            if (ui >= 0 && ui < doc.uvCount)
                glTexCoord2f(doc.uvs[size_t(ui)].u * t, doc.uvs[size_t(ui)].v * t);
            else
                glTexCoord2f(0, 0);
            const int vi = face.vertexIndices[k];
            if (vi > 0 && vi < doc.vertexSlots) {
                const Vec3& p = doc.vertices[size_t(vi)];
                glVertex3f(p.x, p.y, p.z);
            }
        }
        glEnd();
    }

    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    float width = 1;
    glLineWidth(width);
    glBegin(GL_LINES);
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
            edge_style(doc.edges[size_t(e)].flags, false, rgb, &w);
            if (w != width) {
                glEnd();
                width = w;
                glLineWidth(width);
                glBegin(GL_LINES);
            }
            glColor3fv(rgb);
            const Vec3& pa = doc.vertices[size_t(a)];
            const Vec3& pb = doc.vertices[size_t(b)];
            glVertex3f(pa.x + off[0], pa.y + off[1], pa.z + off[2]);
            glVertex3f(pb.x + off[0], pb.y + off[1], pb.z + off[2]);
        }
    }
    glEnd();
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

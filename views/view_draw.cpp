#include "views/view_draw.h"

#include <GL/gl.h>

#include "document/mesh_document.h"

#include "views/glyph_font.h"
#include "views/view_math.h"
#include <cstring>

bool shown_selected(int32_t flags) {
    const bool pick = (flags & (FLAG_PICK_ADD | FLAG_PICK_REMOVE)) != 0;
    return pick ? (flags & FLAG_UNSELECTED) != 0 : (flags & FLAG_SELECTED) != 0;
}

void edge_style(int32_t flags, bool uvPalette, float rgb[3], float* width) {
    const bool sel = shown_selected(flags);
    const bool seam = (flags & FLAG_SEAM) != 0;
    *width = 2.0f;
    if (!sel && !seam && (flags & FLAG_AUTO_CUT)) {
        // Cut by the unwrap, not by the user: green, apart from seams and selections.
        rgb[0] = 0.1f, rgb[1] = 0.9f, rgb[2] = 0.1f;
    } else if (!sel && !seam) {
        *width = 1.0f;
        rgb[0] = uvPalette ? 1.3f : 0.0f;
        rgb[1] = 1.3f;
        rgb[2] = 1.3f;
    } else if (!sel) {
        rgb[0] = 1.0f, rgb[1] = 0.0f, rgb[2] = 0.0f;
    } else if (!seam) {
        rgb[0] = 1.5f, rgb[1] = 0.64f, rgb[2] = 0.0f;
    } else {
        rgb[0] = 1.0f, rgb[1] = 0.0f, rgb[2] = 1.0f;
    }
}

bool clip_to_screen(const float clip[4], float cx, float cy, float* sx, float* sy, float* depth) {
    if (clip[3] < 0)
        return false;
    *sx = cx + cx * clip[0] / clip[3];
    *sy = cy - cy * clip[1] / clip[3];
    *depth = clip[2] / clip[3];
    return true;
}

namespace {

void identity_matrices() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void restore_matrices() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void square(float sx, float sy, float depth, float half, float cx, float cy) {
    const float x0 = (sx - half) / cx - 1, x1 = (sx + half) / cx - 1;
    const float y0 = 1 - (sy - half) / cy, y1 = 1 - (sy + half) / cy;
    glVertex3f(x0, y0, depth);
    glVertex3f(x1, y0, depth);
    glVertex3f(x1, y1, depth);
    glVertex3f(x0, y1, depth);
}

} // namespace

void draw_uv_markers(const float modelView[16], const float projection[16], int viewWidth,
                     int viewHeight, bool atVertices) {
    MeshDocument& doc = MeshDocument::instance();
    if (viewWidth <= 0 || viewHeight <= 0)
        return;
    float mvp[16];
    mat_mul(mvp, projection, modelView);
    const float cx = viewWidth * 0.5f, cy = viewHeight * 0.5f;
    glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT | GL_LINE_BIT | GL_CURRENT_BIT);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glLineWidth(2);
    identity_matrices();
    glBegin(GL_QUADS);
    for (int f = 0; f < doc.faceCount; ++f) {
        const MeshFace& face = doc.faces[size_t(f)];
        // Most faces have no marked point: they draw nothing, and need no projection.
        bool marked = false;
        for (int k = 0; k < face.cornerCount && !marked; ++k) {
            const int uvIndex = face.uvIndices[k];
            marked = uvIndex >= 0 && uvIndex < doc.uvCount &&
                     (shown_selected(doc.uvs[size_t(uvIndex)].flags) ||
                      (doc.uvs[size_t(uvIndex)].flags & FLAG_PINNED));
        }
        if (!marked)
            continue;
        for (int k = 0; k < face.cornerCount; ++k) {
            const int uvIndex = face.uvIndices[k];
            if (uvIndex < 0 || uvIndex >= doc.uvCount)
                continue;
            const UvPoint& uv = doc.uvs[size_t(uvIndex)];
            float clip[4];
            if (atVertices) {
                const int vi = face.vertexIndices[k];
                if (vi <= 0 || vi >= doc.vertexSlots)
                    continue;
                const Vec3& p = doc.vertices[size_t(vi)];
                mat_transform(clip, mvp, p.x, p.y, p.z, 1);
            } else {
                mat_transform(clip, mvp, uv.u, uv.v, 0, 1);
            }
            float sx, sy, depth;
            if (!clip_to_screen(clip, cx, cy, &sx, &sy, &depth))
                break; // the rest of this face's corners are skipped
            if (shown_selected(uv.flags)) {
                glColor3f(2, 2, 0);
                square(sx, sy, depth, 2, cx, cy);
            }
            if (uv.flags & FLAG_PINNED) {
                glColor3f(0, 0.5f, 2);
                square(sx, sy, depth, 4, cx, cy);
            }
        }
    }
    glEnd();
    restore_matrices();
    glPopAttrib();
}

void draw_select_rect(const int32_t rect[4], int viewWidth, int viewHeight) {
    if (viewWidth <= 0 || viewHeight <= 0)
        return;
    const float cx = viewWidth * 0.5f, cy = viewHeight * 0.5f;
    glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT | GL_LINE_BIT | GL_CURRENT_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glLineWidth(1);
    identity_matrices();
    glColor4f(1, 1, 1, 1);
    const float x0 = rect[0] / cx - 1, x1 = rect[2] / cx - 1;
    const float y0 = 1 - rect[1] / cy, y1 = 1 - rect[3] / cy;
    glBegin(GL_QUADS);
    glVertex3f(x0, y0, 0);
    glVertex3f(x1, y0, 0);
    glVertex3f(x1, y1, 0);
    glVertex3f(x0, y1, 0);
    glEnd();
    restore_matrices();
    glPopAttrib();
}

void draw_status_line(const char* text, int viewWidth, int viewHeight) {
    if (viewWidth <= 0 || viewHeight <= 0 || !text[0])
        return;
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.01f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    identity_matrices();
    GlyphFont::instance().drawText(text, 10, viewHeight - 20, 0xffffff, viewWidth * 0.5f,
                                   viewHeight * 0.5f);
    restore_matrices();
    glPopAttrib();
}

void set_status(char* text, const char* value) {
    std::strncpy(text, value, 99);
    text[99] = 0;
}

void set_view_material() {
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    const float ambient[4] = {0.2f, 0.2f, 0.2f, 1}, diffuse[4] = {0.7f, 0.7f, 0.7f, 1},
                specular[4] = {0.3f, 0.3f, 0.3f, 1};
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
}

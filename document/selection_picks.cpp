#include "document/mesh_document.h"

#include "document/selection_rules.h"

#include <cstring>

// The four picks: which edges and UV points a view's rectangle hits, marked by the modifiers.

namespace {

bool uv_in_range(const MeshDocument& doc, int uv) {
    return uv >= 0 && uv < doc.uvCount;
}

// Clip and screen positions of every UV point, (u, v, 0), under the UV view's camera.
void uv_screen_positions(const MeshDocument& doc, const PickCamera& camera,
                         std::vector<float>& screen) {
    screen.resize(size_t(doc.uvCount) * 2);
    for (int i = 0; i < doc.uvCount; i++) {
        float clip[4];
        pick_clip(camera, doc.uvs[size_t(i)].u, doc.uvs[size_t(i)].v, 0, clip);
        pick_screen(camera, clip, &screen[size_t(2 * i)], &screen[size_t(2 * i + 1)]);
    }
}

} // namespace

// The vertices' clip positions (four floats per slot, then two screen floats per slot in
// selection_.screen) under this camera; kept while the camera and the mesh stay the same.
const float* MeshDocument::vertexClipPositions(const PickCamera& camera, const PickView& view) {
    SelectionCache& c = selection_;
    const size_t slots = size_t(vertexSlots);
    if (c.vertexCameraValid && c.vertexWidth == view.width && c.vertexHeight == view.height &&
        std::memcmp(c.vertexMvp, camera.mvp, sizeof(c.vertexMvp)) == 0 &&
        c.clip.size() == 4 * slots)
        return c.clip.data();
    c.clip.resize(4 * slots);
    c.screen.resize(2 * slots);
    for (size_t v = 1; v < slots && v < vertices.size(); v++) {
        float* clip = &c.clip[4 * v];
        pick_clip(camera, vertices[v].x, vertices[v].y, vertices[v].z, clip);
        pick_screen(camera, clip, &c.screen[2 * v], &c.screen[2 * v + 1]);
    }
    std::memcpy(c.vertexMvp, camera.mvp, sizeof(c.vertexMvp));
    c.vertexWidth = view.width;
    c.vertexHeight = view.height;
    c.vertexCameraValid = true;
    return c.clip.data();
}

bool MeshDocument::pickEdges3d(const PickView& view, const int32_t rect[4], bool shift, bool ctrl,
                               bool single, bool force, bool keepAnchor, bool frontFacesOnly) {
    const int rememberedAnchor = anchorEdge;
    bool cleared = false;
    if (!shift && !ctrl)
        cleared = clearEdgeSelection();

    const PickCamera camera = pick_camera(view);
    const float* clip = vertexClipPositions(camera, view);
    const float* screen = selection_.screen.data();
    const PickRect r = pick_rect(rect);
    float bestW = 100000.0f;
    int nearest = -1;
    for (int i = 0; i < edgeCount; i++) {
        MeshEdge& e = edges[size_t(i)];
        if (frontFacesOnly && e.frontFacing != 1)
            continue;
        if (e.vertexA <= 0 || e.vertexB <= 0 || e.vertexA >= vertexSlots ||
            e.vertexB >= vertexSlots)
            continue;
        float a[4], b[4];
        std::memcpy(a, clip + 4 * e.vertexA, sizeof(a));
        std::memcpy(b, clip + 4 * e.vertexB, sizeof(b));
        if (!clip_segment_near(a, b))
            continue; // both ends behind the camera: the marks stay as they are
        const bool unclipped = a[3] == clip[4 * e.vertexA + 3] && b[3] == clip[4 * e.vertexB + 3];
        float ax, ay, bx, by;
        if (unclipped && (rect_outcode(r, screen[2 * e.vertexA], screen[2 * e.vertexA + 1]) &
                          rect_outcode(r, screen[2 * e.vertexB], screen[2 * e.vertexB + 1]))) {
            e.flags &= ~PICK_BITS; // both ends beyond one side: a miss
            continue;
        }
        if (a[3] == clip[4 * e.vertexA + 3]) {
            ax = screen[2 * e.vertexA];
            ay = screen[2 * e.vertexA + 1];
        } else {
            pick_screen(camera, a, &ax, &ay);
        }
        if (b[3] == clip[4 * e.vertexB + 3]) {
            bx = screen[2 * e.vertexB];
            by = screen[2 * e.vertexB + 1];
        } else {
            pick_screen(camera, b, &bx, &by);
        }
        if (!segment_hits_rect(r, ax, ay, bx, by)) {
            e.flags &= ~PICK_BITS;
        } else if (single) {
            if (a[3] < bestW || b[3] < bestW) {
                bestW = a[3] < b[3] ? a[3] : b[3];
                nearest = i;
            }
        } else {
            mark_hit(e.flags, shift, ctrl);
            if (!ctrl)
                anchorEdge = i;
        }
    }
    if (keepAnchor)
        anchorEdge = rememberedAnchor;
    if (single && nearest >= 0) {
        // Earlier nearest edges of the same drag stay marked for toggling.
        for (int i = 0; i < edgeCount; i++) {
            int32_t& flags = edges[size_t(i)].flags;
            if (i != nearest && (flags & FLAG_PICK_ADD))
                flags = (flags & ~FLAG_PICK_ADD) | FLAG_PICK_REMOVE;
        }
        int32_t& flags = edges[size_t(nearest)].flags;
        if (force)
            force_hit(flags);
        else
            flags = (flags & ~PICK_BITS) | FLAG_PICK_ADD;
        anchorEdge = keepAnchor ? rememberedAnchor : nearest;
    }
    return cleared;
}

void MeshDocument::pickEdgesUv(const PickView& view, const int32_t rect[4], bool shift, bool ctrl,
                               bool keepAnchor) {
    const int rememberedAnchor = anchorEdge;
    for (int i = 0; i < edgeCount; i++)
        edges[size_t(i)].uvHit = 0;
    if (!shift && !ctrl)
        clearEdgeSelection();
    const PickCamera camera = pick_camera(view);
    std::vector<float> screen;
    uv_screen_positions(*this, camera, screen);
    const PickRect r = pick_rect(rect);
    std::vector<uint8_t> outcode(static_cast<size_t>(uvCount));
    for (int i = 0; i < uvCount; i++)
        outcode[size_t(i)] =
            uint8_t(rect_outcode(r, screen[size_t(2 * i)], screen[size_t(2 * i + 1)]));
    for (int f = 0; f < faceCount; f++) {
        const MeshFace& face = faces[size_t(f)];
        const int n = face.cornerCount;
        for (int k = 0; k < n; k++) {
            const int ua = face.uvIndices[k == 0 ? n - 1 : k - 1], ub = face.uvIndices[k];
            const int ei = face.edgeIndices[k];
            if (!uv_in_range(*this, ua) || !uv_in_range(*this, ub) || ei < 0 || ei >= edgeCount)
                continue;
            MeshEdge& e = edges[size_t(ei)];
            const bool hit =
                (outcode[size_t(ua)] & outcode[size_t(ub)]) == 0 &&
                segment_hits_rect(r, screen[size_t(2 * ua)], screen[size_t(2 * ua + 1)],
                                  screen[size_t(2 * ub)], screen[size_t(2 * ub + 1)]);
            if (hit) {
                e.uvHit = 1;
                mark_hit(e.flags, shift, ctrl);
                if (!ctrl)
                    anchorEdge = ei;
            } else if (e.uvHit == 0) {
                e.flags &= ~PICK_BITS;
            }
        }
    }
    if (keepAnchor)
        anchorEdge = rememberedAnchor;
}

void MeshDocument::pickUvPoints(const PickView& view, const int32_t rect[4], bool shift, bool ctrl,
                                bool force) {
    if (!shift && !ctrl)
        clearUvSelection(false);
    const PickCamera camera = pick_camera(view);
    const PickRect r = pick_rect(rect);
    for (int i = 0; i < uvCount; i++) {
        UvPoint& p = uvs[size_t(i)];
        float clip[4], sx, sy;
        pick_clip(camera, p.u, p.v, 0, clip);
        pick_screen(camera, clip, &sx, &sy);
        if (rect_contains(r, sx, sy)) {
            mark_hit(p.flags, shift, ctrl);
            if (force)
                force_hit(p.flags);
        } else {
            p.flags &= ~PICK_BITS;
        }
    }
}

void MeshDocument::pickUvPointsByVertex(const PickView& view, const int32_t rect[4], bool shift,
                                        bool ctrl, bool force) {
    if (!shift && !ctrl)
        clearUvSelection(false);
    const PickCamera camera = pick_camera(view);
    vertexClipPositions(camera, view);
    const float* screen = selection_.screen.data();
    const PickRect r = pick_rect(rect);
    for (int f = 0; f < faceCount; f++) {
        const MeshFace& face = faces[size_t(f)];
        for (int k = 0; k < face.cornerCount; k++) {
            const int ui = face.uvIndices[k], v = face.vertexIndices[k];
            if (!uv_in_range(*this, ui) || v <= 0 || v >= vertexSlots)
                continue;
            int32_t& flags = uvs[size_t(ui)].flags;
            if (rect_contains(r, screen[2 * v], screen[2 * v + 1])) {
                mark_hit(flags, shift, ctrl);
                if (force)
                    force_hit(flags);
            } else {
                flags &= ~PICK_BITS;
            }
        }
    }
}

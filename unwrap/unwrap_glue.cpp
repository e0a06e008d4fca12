#include "unwrap/unwrap_glue.h"

#include "unwrap/unwrap_cut_to_disc.h"
#include "unwrap/unwrap_injective.h"

#include "unwrap/unwrap.h"
#include "unwrap/unwrap_lscm.h"
#include "unwrap/unwrap_pack.h"

#include <cstdint>

namespace {

PHandle* g_live_handle = nullptr;

bool vertex_in_range(const UnwrapMesh* mesh, int v) {
    return v >= 0 && v < mesh->vertexCount;
}

bool face_taken(const UnwrapFace& f, bool selectedOnly) {
    return !(f.flags & UNWRAP_FACE_HIDDEN) && (!selectedOnly || (f.flags & UNWRAP_FACE_SELECTED));
}

int count_faces_taken(const UnwrapMesh* mesh, bool selectedOnly) {
    int count = 0;
    for (int t = 0; t < mesh->triangleCount; t++)
        count += face_taken(mesh->faces[t], selectedOnly) ? 1 : 0;
    return count;
}

} // namespace

namespace {

PHandle* construct_handle(UnwrapMesh* mesh, bool fillHoles, bool selectedOnly,
                          const std::vector<std::pair<int, int>>& cuts, bool keepClosed) {
    PHandle* handle = unwrap_handle_create();
    handle->keepClosedCharts = keepClosed;
    unwrap_expect_faces(handle, selectedOnly ? count_faces_taken(mesh, true) : mesh->triangleCount);
    for (int t = 0; t < mesh->triangleCount; t++) {
        UnwrapFaceVertices& fv = mesh->faceVertices[t];
        UnwrapFace& f = mesh->faces[t];
        if (!face_taken(f, selectedOnly))
            continue;
        int corners = fv.v[3] != 0 ? 4 : 3;
        int keys[4];
        float* co[4];
        float* uv[4];
        uint8_t pin[4], select[4];
        bool valid = true;
        for (int k = 0; k < corners; k++) {
            keys[k] = fv.v[k];
            valid = valid && vertex_in_range(mesh, fv.v[k]);
            co[k] = valid ? &mesh->vertices[fv.v[k]].x : nullptr;
            uv[k] = f.uv[k];
            pin[k] = (f.pins & unwrap_corner_pinned(k)) ? 1 : 0;
            select[k] = (f.flags & unwrap_corner_selected(k)) ? 1 : 0;
        }
        // A corner outside the vertex records has no position to read: leave the face out.
        if (!valid)
            continue;
        // The face key is unique per triangle: its index.
        unwrap_add_face(handle, t, corners, keys, co, uv, pin, select);
    }
    for (int i = 0; i < mesh->edgeCount; i++) {
        if (mesh->edges[i].flags & UNWRAP_EDGE_SEAM)
            unwrap_mark_seam(handle, mesh->edges[i].v1, mesh->edges[i].v2);
    }
    for (auto [a, b] : cuts)
        unwrap_mark_seam(handle, a, b);
    unwrap_construct_end(handle, fillHoles);
    return handle;
}

} // namespace

// Charts that are not discs are cut open: the handle is built again with the cuts as seams.
// One cut pass makes every chart a disc; the second only guards against a cut that a filled
// hole or a non-manifold corner kept from taking effect.
PHandle* build_unwrap_handle(UnwrapMesh* mesh, bool fillHoles, bool selectedOnly) {
    mesh->discCuts.clear();
    mesh->discCutCharts = 0;
    constexpr int kCutPasses = 2;
    for (int pass = 0;; pass++) {
        const bool last = pass == kCutPasses;
        PHandle* handle = construct_handle(mesh, fillHoles, selectedOnly, mesh->discCuts, !last);
        if (last)
            return handle;
        PDiscCuts cuts = unwrap_disc_cuts(handle);
        if (cuts.edges.empty() && !unwrap_has_closed_chart(handle))
            return handle;
        if (cuts.edges.empty()) {
            // A closed chart that no cut opens (too small to cut) is dropped, as it used to be.
            unwrap_delete(handle);
            return construct_handle(mesh, fillHoles, selectedOnly, mesh->discCuts, false);
        }
        unwrap_delete(handle);
        if (pass == 0)
            mesh->discCutCharts = cuts.charts;
        mesh->discCuts.insert(mesh->discCuts.end(), cuts.edges.begin(), cuts.edges.end());
    }
}

void unwrap_selection(UnwrapMesh* mesh, bool allFaces, bool fillHoles, bool useAbf,
                      const UnwrapPacking& packing, bool fixFlips) {
    PHandle* handle = build_unwrap_handle(mesh, fillHoles, !allFaces);
    unwrap_lscm_flatten(handle, useAbf);
    unwrap_lscm_end(handle);
    if (fixFlips)
        unwrap_refine_injective(handle);
    if (packing.tight)
        unwrap_pack_tight(handle, packing.resolution, packing.padding);
    else
        unwrap_pack(handle);
    unwrap_flush(handle);
    unwrap_delete(handle);
    uv_index_rebuild(mesh);
}

void live_unwrap_begin(UnwrapMesh* mesh, bool fillHoles, bool useAbf) {
    if (!mesh->faces)
        return;
    if (g_live_handle)
        live_unwrap_end();
    g_live_handle = build_unwrap_handle(mesh, fillHoles, true);
    unwrap_lscm_begin(g_live_handle, true, useAbf);
}

void live_unwrap_solve() {
    if (!g_live_handle)
        return;
    unwrap_lscm_solve(g_live_handle);
    unwrap_flush(g_live_handle);
}

void live_unwrap_end() {
    if (!g_live_handle)
        return;
    unwrap_lscm_solve(g_live_handle);
    unwrap_flush(g_live_handle);
    unwrap_lscm_end(g_live_handle);
    unwrap_flush(g_live_handle);
    unwrap_delete(g_live_handle);
    g_live_handle = nullptr;
}

bool live_unwrap_active() {
    return g_live_handle != nullptr;
}

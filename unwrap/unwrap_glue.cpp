#include "unwrap/unwrap_glue.h"

#include "unwrap/unwrap_cut_to_disc.h"
#include "unwrap/unwrap_grow_charts.h"
#include "unwrap/unwrap_injective.h"
#include "unwrap/unwrap_split_unsound.h"

#include "unwrap/unwrap.h"
#include "unwrap/unwrap_lscm.h"
#include "unwrap/unwrap_pack.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <unordered_map>
#include <unordered_set>
#include <utility>

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
                          const std::vector<std::pair<int, int>>& cuts, bool keepClosed,
                          const std::vector<char>* skip) {
    PHandle* handle = unwrap_handle_create();
    handle->keepClosedCharts = keepClosed;
    unwrap_expect_faces(handle, selectedOnly ? count_faces_taken(mesh, true) : mesh->triangleCount);
    for (int t = 0; t < mesh->triangleCount; t++) {
        UnwrapFaceVertices& fv = mesh->faceVertices[t];
        UnwrapFace& f = mesh->faces[t];
        if (!face_taken(f, selectedOnly) || (skip && (*skip)[std::size_t(t)]))
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
PHandle* build_unwrap_handle(UnwrapMesh* mesh, bool fillHoles, bool selectedOnly,
                             const std::vector<std::pair<int, int>>& splits,
                             const std::vector<char>* skip) {
    mesh->discCuts = splits;
    mesh->discCutCharts = 0;
    constexpr int kCutPasses = 2;
    for (int pass = 0;; pass++) {
        const bool last = pass == kCutPasses;
        PHandle* handle =
            construct_handle(mesh, fillHoles, selectedOnly, mesh->discCuts, !last, skip);
        if (last)
            return handle;
        PDiscCuts cuts = unwrap_disc_cuts(handle);
        if (cuts.edges.empty() && !unwrap_has_closed_chart(handle))
            return handle;
        if (cuts.edges.empty()) {
            // A closed chart that no cut opens (too small to cut) is dropped, as it used to be.
            unwrap_delete(handle);
            return construct_handle(mesh, fillHoles, selectedOnly, mesh->discCuts, false, skip);
        }
        unwrap_delete(handle);
        if (pass == 0)
            mesh->discCutCharts = cuts.charts;
        mesh->discCuts.insert(mesh->discCuts.end(), cuts.edges.begin(), cuts.edges.end());
    }
}

namespace {

// Charts that stay unsound are split and everything is laid out again, this many times at most.
constexpr int kSplitRounds = 16;

// The mesh triangle whose corner UVs a half-edge links to, or -1.
int face_of_link(const UnwrapMesh* mesh, const float* uvLink) {
    if (!uvLink)
        return -1;
    const std::ptrdiff_t bytes =
        reinterpret_cast<const char*>(uvLink) - reinterpret_cast<const char*>(mesh->faces);
    const std::ptrdiff_t t = bytes / std::ptrdiff_t(sizeof(UnwrapFace));
    return bytes >= 0 && t < mesh->triangleCount ? int(t) : -1;
}

// After a round: the faces of every chart that was not split are settled, their layout flushed
// into the mesh.
void settle_charts(const UnwrapMesh* mesh, PHandle* handle, const std::vector<char>& split,
                   std::vector<char>& settled) {
    unwrap_flush(handle);
    for (int i = 0; i < handle->ncharts; i++) {
        const PChart* chart = handle->charts[i];
        if (split[std::size_t(i)] || (chart->flags & PCHART_USER_PINNED))
            continue;
        for (const PHalfEdge* e = chart->edges; e; e = e->next)
            if (int t = face_of_link(mesh, e->uvLink); t >= 0)
                settled[std::size_t(t)] = 1;
    }
}

// Charts of a new build whose faces are all settled take their layout back from the mesh and
// are not flattened again: the same faces and cuts give the same layout.
void take_settled_layouts(const UnwrapMesh* mesh, PHandle* handle,
                          const std::vector<char>& settled) {
    for (int i = 0; i < handle->ncharts; i++) {
        PChart* chart = handle->charts[i];
        bool all = true, any = false;
        for (const PHalfEdge* e = chart->edges; e && all; e = e->next)
            if (int t = face_of_link(mesh, e->uvLink); t >= 0) {
                all = settled[std::size_t(t)] != 0;
                any = true;
            }
        if (!all || !any)
            continue;
        for (PHalfEdge* e = chart->edges; e; e = e->next)
            if (e->uvLink) {
                e->point->uv[0] = e->uvLink[0];
                e->point->uv[1] = e->uvLink[1];
            }
        chart->flags |= PCHART_LAID_OUT;
    }
}

} // namespace

PHandle* unwrap_make_sound(UnwrapMesh* mesh, PHandle* handle,
                           std::unordered_map<const PPoint*, int> keys, bool fillHoles,
                           bool selectedOnly, bool useAbf, double maxStretch) {
    unwrap_refine_injective(handle, maxStretch);
    // Charts that stay unsound (or stretch too much) are split; each round builds and lays out
    // only the faces of the charts split, the others keep their layout in the mesh.
    std::vector<std::pair<int, int>> cuts = mesh->discCuts;
    std::vector<char> split, settled(std::size_t(mesh->triangleCount), 0);
    int cutCharts = mesh->discCutCharts, rounds = 0;
    for (; rounds < kSplitRounds; rounds++) {
        const PDiscCuts more = unwrap_split_unsound_charts(handle, keys, split, maxStretch);
        if (more.edges.empty())
            break;
        settle_charts(mesh, handle, split, settled);
        cuts.insert(cuts.end(), more.edges.begin(), more.edges.end());
        cutCharts += more.charts;
        unwrap_delete(handle);
        handle = build_unwrap_handle(mesh, fillHoles, selectedOnly, cuts, &settled);
        cuts = mesh->discCuts;
        cutCharts += mesh->discCutCharts;
        keys = unwrap_point_keys(handle);
        unwrap_lscm_flatten(handle, useAbf);
        unwrap_lscm_end(handle);
        unwrap_refine_injective(handle, maxStretch);
    }
    if (rounds > 0) {
        // Every chart is settled now: one build of all the faces takes the layouts back, so
        // that the charts are packed together. The same faces and cuts give the same charts,
        // discs already, so they need no second look; one that differed would be flattened here.
        split.assign(std::size_t(handle->ncharts), 0);
        settle_charts(mesh, handle, split, settled);
        unwrap_delete(handle);
        handle = construct_handle(mesh, fillHoles, selectedOnly, cuts, false, nullptr);
        take_settled_layouts(mesh, handle, settled);
        unwrap_lscm_flatten(handle, useAbf);
        unwrap_lscm_end(handle);
    }
    mesh->discCuts = std::move(cuts);
    mesh->discCutCharts = cutCharts;
    return handle;
}

namespace {

// The edge records (indices into mesh->edges) of vertex pairs, each once, in the order of the
// records.
// With a face mask, only edges inside it (of masked triangles and of no other) are taken.
std::vector<int> edges_of_pairs(const UnwrapMesh* mesh,
                                const std::vector<std::pair<int, int>>& pairs,
                                const std::vector<char>& mask) {
    auto key = [](int a, int b) {
        return uint64_t(uint32_t(std::min(a, b))) << 32 | uint32_t(std::max(a, b));
    };
    std::unordered_set<uint64_t> wanted;
    for (auto [a, b] : pairs)
        wanted.insert(key(a, b));
    if (!mask.empty()) {
        std::unordered_set<uint64_t> inside, outside;
        for (int t = 0; t < mesh->triangleCount; t++) {
            const int32_t* v = mesh->faceVertices[t].v;
            for (int k = 0; k < 3; k++)
                (mask[std::size_t(t)] ? inside : outside).insert(key(v[k], v[(k + 1) % 3]));
        }
        for (auto it = wanted.begin(); it != wanted.end();)
            it = inside.count(*it) && !outside.count(*it) ? std::next(it) : wanted.erase(it);
    }
    std::vector<int> edges;
    for (int e = 0; e < mesh->edgeCount; e++)
        if (!(mesh->edges[e].flags & UNWRAP_EDGE_SEAM) &&
            wanted.erase(key(mesh->edges[e].v1, mesh->edges[e].v2)))
            edges.push_back(e);
    return edges;
}

} // namespace

void unwrap_selection(UnwrapMesh* mesh, bool allFaces, bool fillHoles, bool useAbf,
                      const UnwrapPacking& packing, bool fixFlips,
                      const UnwrapAutoSeams* autoSeams) {
    std::vector<std::pair<int, int>> grown;
    if (autoSeams) {
        grown = unwrap_grow_charts(mesh, autoSeams->faces.empty() ? nullptr : &autoSeams->faces);
        fixFlips = true;
        // Holes are cut open to their chart's border instead of filled, so that every chart
        // the seams make is a disc (a chart around a hole would be a ring in the texture).
        fillHoles = false;
    }
    PHandle* handle = build_unwrap_handle(mesh, fillHoles, !allFaces, grown);
    std::unordered_map<const PPoint*, int> keys;
    if (fixFlips)
        keys = unwrap_point_keys(handle);
    unwrap_lscm_flatten(handle, useAbf);
    unwrap_lscm_end(handle);
    if (fixFlips)
        handle = unwrap_make_sound(mesh, handle, std::move(keys), fillHoles, !allFaces, useAbf,
                                   autoSeams ? autoSeams->maxStretch : 0.0);
    mesh->addedSeams.clear();
    if (autoSeams)
        mesh->addedSeams = edges_of_pairs(mesh, mesh->discCuts, autoSeams->faces);
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

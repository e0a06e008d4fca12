#include "document/mesh_document.h"

#include "document/engine_packing.h"
#include "document/undo_history.h"
#include "document/unwrap_result.h"
#include "platform/thread_priority.h"
#include "platform/ui_messages.h"
#include "unwrap/unwrap_glue.h"
#include "unwrap/unwrap_glue_mesh.h"

#include <vector>

// The document's side of the unwrap engine: it copies a snapshot into the engine's run set,
// runs the engine there (on the UI thread at start-up, on one worker thread otherwise) and takes
// the result back into the history and the document.

namespace {

// Fan triangles (corner 0, l, l + 1) of every face of a snapshot: vertex and UV index triples,
// and per corner a pin mark for UV points with any of `pinFlags`.
void fan_triangles(const FaceTopology& topo, const SharedChunks<int32_t>& cornerUv,
                   const SharedChunks<UvPoint>& uvs, int faceCount, int pinFlags,
                   std::vector<int32_t>& vertexTriples, std::vector<int32_t>& uvTriples,
                   std::vector<uint8_t>& pins) {
    vertexTriples.clear();
    uvTriples.clear();
    pins.clear();
    for (int f = 0; f < faceCount; f++) {
        int32_t start = topo.cornerStart[size_t(f)], n = topo.cornerStart[size_t(f) + 1] - start;
        for (int l = 1; l + 1 < n; l++) {
            for (int k : {0, l, l + 1}) {
                size_t c = size_t(start + k);
                int32_t uv = cornerUv[c];
                vertexTriples.push_back(topo.vertex[c]);
                uvTriples.push_back(uv);
                bool pinned =
                    uv >= 0 && size_t(uv) < uvs.size() && (uvs[size_t(uv)].flags & pinFlags);
                pins.push_back(pinned ? 1 : 0);
            }
        }
    }
}

// The run set's result in the shape the history and the document take over.
struct RunResult {
    std::vector<int32_t> triangleUvs;
    std::vector<uint8_t> trianglePinned;
    UnwrapResult view;
};

void collect_result(RunResult& out) {
    const UnwrapMesh& run = unwrap_run_set();
    out.triangleUvs.resize(size_t(run.triangleCount) * 3);
    out.trianglePinned.resize(size_t(run.triangleCount) * 3);
    for (int t = 0; t < run.triangleCount; t++) {
        for (int k = 0; k < 3; k++) {
            out.triangleUvs[size_t(3 * t + k)] = run.faces[t].uvIndex[k];
            out.trianglePinned[size_t(3 * t + k)] =
                (run.faces[t].pins & unwrap_corner_pinned(k)) ? 1 : 0;
        }
    }
    out.view.uv = unwrap_uv_table().uv ? &unwrap_uv_table().uv[0][0] : nullptr;
    out.view.uvCount = unwrap_uv_table().count;
    out.view.triangleUvs = out.triangleUvs.data();
    out.view.trianglePinned = out.trianglePinned.data();
    out.view.triangleCount = run.triangleCount;
}

void unwrap_worker(EngineOptions options) {
    // The window stays responsive while the charts are flattened on every core.
    platform_lower_thread_priority();
    UnwrapMesh* run = &unwrap_run_set();
    select_linked_faces(run);
    unwrap_selection(run, true, options.fillHoles, options.useAbf, packing_of(options),
                     options.fixFlips);
    platform_post_message(WM_UNWRAP_DONE);
}

} // namespace

UndoHistory* MeshDocument::undoHistory() {
    if (history)
        return history;
    return this == &MeshDocument::instance() ? &UndoHistory::instance() : nullptr;
}

void MeshDocument::takeOverRun() {
    UndoHistory* history = undoHistory();
    if (history && history->contains(liveSnapshotId)) {
        RunResult result;
        collect_result(result);
        if (history->applyResult(liveSnapshotId, result.view))
            takeOverResult(result.view);
    }
    liveTriVertices = {};
    liveTriUvs = {};
}

bool MeshDocument::buildRunSet(int snapshotId) {
    UndoHistory* history = undoHistory();
    const UndoSnapshot* s = history ? history->find(snapshotId) : nullptr;
    if (!s || !s->topology())
        return false;
    // A drag's live run still open on the run set would keep pointing into it: close it first.
    live_unwrap_end();
    UnwrapMesh* run = &unwrap_run_set();
    unwrap_mesh_copy_vertices(run, vertexSlots, vertices.data());
    std::vector<MeshEdge> snapshotEdges(size_t(s->edgeCount));
    for (int i = 0; i < s->edgeCount; i++)
        snapshotEdges[size_t(i)] = s->edge(i);
    unwrap_mesh_copy_edges(run, s->edgeCount, snapshotEdges.data(), false);
    std::vector<uint8_t> pins;
    fan_triangles(*s->topology(), s->cornerUvArray(), s->uvArray(), s->faceCount,
                  FLAG_PINNED | FLAG_SELECTED, liveTriVertices, liveTriUvs, pins);
    std::vector<UvPoint> snapshotUvs = s->uvArray().toVector();
    unwrap_mesh_copy_faces(run, int(liveTriVertices.size() / 3), liveTriVertices.data(),
                           liveTriUvs.data(), snapshotUvs.data(), int(snapshotUvs.size()),
                           pins.data());
    return true;
}

void MeshDocument::unwrapNow() {
    if (faceCount == 0)
        return;
    UndoHistory* history = undoHistory();
    if (!history || !history->current())
        return;
    waitForLiveUnwrap();
    liveSnapshotId = history->currentId();
    if (!buildRunSet(liveSnapshotId))
        return;
    UnwrapMesh* run = &unwrap_run_set();
    select_linked_faces(run);
    unwrap_selection(run, true, engine_options().fillHoles, engine_options().useAbf,
                     packing_of(engine_options()), engine_options().fixFlips);
    takeOverRun();
    labelCharts();
}

void MeshDocument::startLiveUnwrap(int snapshotId) {
    if (faceCount == 0)
        return;
    if (liveBusy) {
        liveRestartPending = 1;
        liveRestartSnapshotId = snapshotId;
        return;
    }
    liveBusy = 1;
    liveSnapshotId = snapshotId;
    if (!buildRunSet(snapshotId)) {
        // No snapshot with that id: there is nothing to unwrap. The run still reports back, so
        // that a queued request behind it starts as usual.
        unwrap_mesh_free(&unwrap_run_set());
    }
    liveOptions = engine_options();
    liveThread = std::thread(unwrap_worker, liveOptions);
}

void MeshDocument::onUnwrapDone() {
    if (liveStaleMessages > 0) {
        liveStaleMessages--;
        return;
    }
    if (liveBusy)
        landLiveRun();
}

void MeshDocument::completeLiveUnwrap() {
    while (liveBusy) {
        liveStaleMessages++; // its WM_UNWRAP_DONE is still on its way
        landLiveRun();
    }
}

void MeshDocument::landLiveRun() {
    if (liveThread.joinable())
        liveThread.join();
    takeOverRun();
    labelCharts();
    computeStretch();
    liveBusy = 0;
    if (liveRestartPending) {
        liveRestartPending = 0;
        if (faceCount > 0)
            startLiveUnwrap(liveRestartSnapshotId);
    }
}

void MeshDocument::waitForLiveUnwrap() {
    if (!liveBusy)
        return;
    if (liveThread.joinable())
        liveThread.join();
    liveStaleMessages++;
    liveBusy = 0;
    liveRestartPending = 0;
    liveTriVertices = {};
    liveTriUvs = {};
}

void MeshDocument::releaseEngineWorkingSets() {
    waitForLiveUnwrap();
    live_unwrap_end();
    unwrap_mesh_free(&unwrap_run_set());
    unwrap_mesh_free(&unwrap_base_set());
}

void MeshDocument::buildEngineBaseSet() {
    UnwrapMesh* base = &unwrap_base_set();
    unwrap_mesh_copy_vertices(base, vertexSlots, vertices.data());
    unwrap_mesh_copy_edges(base, edgeCount, edges.data(), true);
    if (!topo_)
        return;
    std::vector<int32_t> vertexTriples, uvTriples;
    std::vector<uint8_t> pins;
    SharedChunks<int32_t> cornerUv;
    cornerUv.capture(cornerUv_.data(), size_t(cornerTotal()), nullptr);
    SharedChunks<UvPoint> uvPoints;
    uvPoints.capture(uvs.data(), size_t(uvCount), nullptr);
    fan_triangles(*topo_, cornerUv, uvPoints, faceCount, FLAG_PINNED, vertexTriples, uvTriples,
                  pins);
    unwrap_mesh_copy_faces(base, int(vertexTriples.size() / 3), vertexTriples.data(),
                           uvTriples.data(), uvs.data(), uvCount, pins.data());
}

#include "document/mesh_document.h"

#include "document/engine_options.h"
#include "document/engine_packing.h"
#include "document/undo_history.h"
#include "unwrap/unwrap_glue.h"
#include "unwrap/unwrap_glue_mesh.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

// Automatic seams: the engine grows and checks the charts, the document takes the edges
// between them as ordinary seams.

namespace {

uint64_t pair_key(int a, int b) {
    return uint64_t(uint32_t(std::min(a, b))) << 32 | uint32_t(std::max(a, b));
}

// The run set's triangles of every chart (faces joined across edges that are not seams) that
// holds a selected edge; empty when no edge is selected.
std::vector<char> faces_of_selected_charts(const MeshDocument& doc, UnwrapMesh* run) {
    std::unordered_set<uint64_t> selected;
    for (int e = 0; e < doc.edgeCount; e++)
        if (doc.edges[size_t(e)].flags & FLAG_SELECTED)
            selected.insert(pair_key(doc.edges[size_t(e)].vertexA, doc.edges[size_t(e)].vertexB));
    if (selected.empty())
        return {};
    for (int t = 0; t < run->triangleCount; t++) {
        const int32_t* v = run->faceVertices[t].v;
        bool holds = false;
        for (int k = 0; k < 3 && !holds; k++)
            holds = selected.count(pair_key(v[k], v[(k + 1) % 3])) > 0;
        run->faces[t].flags = uint8_t(holds ? run->faces[t].flags | UNWRAP_FACE_SELECTED
                                            : run->faces[t].flags & ~UNWRAP_FACE_SELECTED);
    }
    select_linked_faces(run);
    std::vector<char> faces(size_t(run->triangleCount));
    for (int t = 0; t < run->triangleCount; t++)
        faces[size_t(t)] = (run->faces[t].flags & UNWRAP_FACE_SELECTED) ? 1 : 0;
    return faces;
}

} // namespace

int MeshDocument::runAutomaticSeams(bool selectedCharts) {
    UndoHistory* history = undoHistory();
    if (faceCount == 0 || !history || !history->current())
        return 0;
    waitForLiveUnwrap();
    liveSnapshotId = history->currentId();
    if (!buildRunSet(liveSnapshotId))
        return 0;
    UnwrapMesh* run = &unwrap_run_set();
    UnwrapAutoSeams autoSeams;
    if (selectedCharts)
        autoSeams.faces = faces_of_selected_charts(*this, run);
    select_linked_faces(run);
    const EngineOptions& options = engine_options();
    unwrap_selection(run, true, options.fillHoles, options.useAbf, packing_of(options),
                     options.fixFlips, &autoSeams);
    // The run set holds one edge record per document edge, in the same order.
    int added = 0;
    for (int e : run->addedSeams)
        if (e >= 0 && e < edgeCount && !(edges[size_t(e)].flags & FLAG_SEAM)) {
            edges[size_t(e)].flags |= FLAG_SEAM;
            added++;
        }
    return added;
}

bool MeshDocument::addAutomaticSeams() {
    if (runAutomaticSeams(true) == 0) {
        liveTriVertices = {};
        liveTriUvs = {};
        return false;
    }
    liveTriVertices = {};
    liveTriUvs = {};
    UndoHistory* history = undoHistory();
    history->push();
    startLiveUnwrap(history->currentId());
    return true;
}

int MeshDocument::unwrapWithAutomaticSeams() {
    const int added = runAutomaticSeams(false);
    if (faceCount == 0 || liveTriVertices.empty())
        return added;
    takeOverRun();
    labelCharts();
    return added;
}

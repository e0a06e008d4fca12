#include "document/mesh_document.h"

// The document's calls into the unwrap engine's glue. The engine is not part of this build
// yet: these are the places where the glue's operations are called once it is.

// Synchronous unwrap of start-up: build the run set from the current snapshot,
// select_linked_faces, unwrap_selection, UndoHistory::applyResult and, when the current
// snapshot was rewritten, takeOverResult; release liveTriVertices and liveTriUvs; labelCharts.
void MeshDocument::unwrapNow() {
    if (faceCount == 0)
        return;
    // Engine glue call site: without the engine, the UVs stay as they are.
}

// Frees the glue's run set and base set.
void MeshDocument::releaseEngineWorkingSets() {
    // Engine glue call site: no working sets exist without the engine.
}

// Copies vertices, edges (seams disabled) and fan triangles into the glue's base set.
void MeshDocument::buildEngineBaseSet() {
    // Engine glue call site: no working sets exist without the engine.
}

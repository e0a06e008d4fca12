#include "views/select_gesture.h"

#include "document/mesh_document.h"
#include "document/undo_history.h"
#include "views/renderer.h"
#include "views/view_types.h"

#include <cstring>

PickView pick_view_of(const float modelView[16], int width, int height) {
    PickView v;
    std::memcpy(v.modelView, modelView, sizeof(v.modelView));
    // The projection every view draws with (Renderer::setViewport).
    renderer_projection(v.projection, width, height, 0.01f, 65535.0f);
    v.width = width;
    v.height = height;
    return v;
}

bool commit_for_mode(int32_t& mode, bool shift) {
    MeshDocument& doc = MeshDocument::instance();
    bool changed = false;
    switch (mode) {
    case MODE_EDGE_SELECT:
        changed = doc.commitEdgePicks();
        break;
    case MODE_EDGE_TOPOLOGICAL:
        changed = doc.finishEdgePath();
        break;
    case MODE_EDGE_LOOP_PENDING:
        changed = doc.selectEdgeLoop(shift);
        mode = MODE_EDGE_SELECT;
        break;
    case MODE_UV_SELECT:
        changed = doc.commitUvPicks();
        break;
    case MODE_UV_ISLAND_PENDING:
        changed = doc.selectUvBorderOrIsland(shift);
        mode = MODE_UV_SELECT;
        break;
    default:
        break;
    }
    if (changed)
        UndoHistory::instance().push();
    return changed;
}

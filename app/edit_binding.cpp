#include "app/edit_binding.h"

#include "app/app_state.h"
#include "document/mesh_document.h"

namespace {

// The key table names the sides in its own order; the document numbers them 1 minimum U,
// 2 minimum V, 3 maximum U, 4 maximum V.
int document_side(AlignSide side) {
    switch (side) {
    case ALIGN_MIN_U:
        return 1;
    case ALIGN_MIN_V:
        return 2;
    case ALIGN_MAX_U:
        return 3;
    case ALIGN_MAX_V:
        return 4;
    }
    return 0;
}

} // namespace

void app_bind_edit_calls() {
    EditCalls& e = app_edit_calls();
    e.cutSelectedEdges = [] { return MeshDocument::instance().cutSelectedEdges(); };
    e.weldSelectedEdges = [] { return MeshDocument::instance().weldSelectedEdges(); };
    e.addAutomaticSeams = [] { return MeshDocument::instance().addAutomaticSeams(); };
    e.relaxSelected = [] { return MeshDocument::instance().relaxSelected(); };
    e.pinSelected = [] { MeshDocument::instance().pinSelected(); };
    e.unpinSelected = [] { MeshDocument::instance().unpinSelected(); };
    e.deselectAll = [] { MeshDocument::instance().deselectAll(); };
    e.alignSelected = [](AlignSide side) {
        return MeshDocument::instance().alignSelected(document_side(side));
    };
}

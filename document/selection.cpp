#include "document/mesh_document.h"

#include "document/selection_rules.h"

// Clearing, committing and the direct selections: the flag side of picking.

bool MeshDocument::clearEdgeSelection() {
    bool any = false;
    for (int i = 0; i < edgeCount; i++)
        any |= clear_selection(edges[size_t(i)].flags);
    return any;
}

bool MeshDocument::clearUvSelection(bool unpin) {
    bool any = false;
    for (int i = 0; i < uvCount; i++) {
        int32_t& flags = uvs[size_t(i)].flags;
        any |= clear_selection(flags);
        if (unpin)
            flags &= ~FLAG_PINNED;
    }
    return any;
}

bool MeshDocument::commitEdgePicks() {
    bool changed = false;
    for (int i = 0; i < edgeCount; i++)
        changed |= commit_flags(edges[size_t(i)].flags);
    return changed;
}

bool MeshDocument::commitUvPicks() {
    bool changed = false;
    for (int i = 0; i < uvCount; i++)
        changed |= commit_flags(uvs[size_t(i)].flags);
    return changed;
}

void MeshDocument::deselectAll() {
    clearEdgeSelection();
    clearUvSelection(true);
    commitEdgePicks();
    commitUvPicks();
    anchorEdge = pathEndEdge = -1;
}

void MeshDocument::selectEdgeByVertices(int a, int b) {
    // Edges are numbered by their unordered vertex pair, so at most one edge has these ends.
    const int e = findEdge(a, b);
    if (e >= 0)
        set_state(edges[size_t(e)].flags, FLAG_SELECTED);
}

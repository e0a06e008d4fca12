#include "document/mesh_document.h"

#include "document/undo_history.h"

// Seams and pins: the edits that change flags only. Cut and weld then re-unwrap in the
// background from the snapshot they pushed; pins wait for the next unwrap or drag.

namespace {

// The selection state bits; everything above them (seam, pin, was-selected) is dropped.
constexpr int32_t SELECTION_BITS = 0x0F;

void push_snapshot(MeshDocument& doc) {
    if (UndoHistory* history = doc.undoHistory())
        history->push();
}

// After a seam edit has been recorded: unwrap from that snapshot, or queue it behind the run
// in progress.
void unwrap_recorded(MeshDocument& doc) {
    UndoHistory* history = doc.undoHistory();
    if (doc.faceCount > 0 && history && history->current())
        doc.startLiveUnwrap(history->currentId());
}

// After a cut or weld: when an edge changed, the snapshot that records it and a background
// unwrap of it.
bool record_seam_change(MeshDocument& doc, bool changed) {
    if (!changed)
        return false;
    push_snapshot(doc);
    unwrap_recorded(doc);
    return true;
}

} // namespace

bool MeshDocument::cutSelectedEdges() {
    bool changed = false;
    for (int e = 0; e < edgeCount; e++) {
        int32_t& flags = edges[size_t(e)].flags;
        if ((flags & FLAG_SELECTED) && !(flags & FLAG_SEAM)) {
            flags |= FLAG_SEAM;
            changed = true;
        }
    }
    return record_seam_change(*this, changed);
}

bool MeshDocument::weldSelectedEdges() {
    bool changed = false;
    for (int e = 0; e < edgeCount; e++) {
        int32_t& flags = edges[size_t(e)].flags;
        if ((flags & FLAG_SELECTED) && (flags & FLAG_SEAM)) {
            flags &= SELECTION_BITS;
            changed = true;
        }
    }
    return record_seam_change(*this, changed);
}

void MeshDocument::pinSelected() {
    // Points already pinned count as changed: any selection records a snapshot.
    bool anySelected = false;
    for (int i = 0; i < uvCount; i++) {
        int32_t& flags = uvs[size_t(i)].flags;
        if (flags & FLAG_SELECTED) {
            flags |= FLAG_PINNED;
            anySelected = true;
        }
    }
    if (anySelected)
        push_snapshot(*this);
}

void MeshDocument::unpinSelected() {
    bool changed = false;
    for (int i = 0; i < uvCount; i++) {
        int32_t& flags = uvs[size_t(i)].flags;
        if ((flags & FLAG_SELECTED) && (flags & FLAG_PINNED)) {
            flags &= SELECTION_BITS;
            changed = true;
        }
    }
    if (changed)
        push_snapshot(*this);
}

#include "document/mesh_document.h"
#include "document/undo_history.h"
#include "platform/key_state.h"
#include "views/uv_view.h"

#include <cstdlib>

namespace {

// A point that a drag would move: selected and not pinned.
bool any_movable_point(const MeshDocument& doc) {
    for (int i = 0; i < doc.uvCount; i++) {
        const int32_t flags = doc.uvs[size_t(i)].flags;
        if ((flags & FLAG_SELECTED) && !(flags & FLAG_PINNED))
            return true;
    }
    return false;
}

} // namespace

// The UV tools of UV Move: the first button to move the mouse chooses the tool (left rotates
// about the tools' centre, middle moves, right scales) and keeps it until that button is
// released; every step re-solves the rest of the charts live around the moved points.

bool UvView::uvTools(int event, int x, int y) {
    MeshDocument& doc = MeshDocument::instance();
    const bool anyDown = leftDown || middleDown || rightDown;
    if (!anyDown)
        uvDragRefused = 0;
    if (uvDragRefused)
        return false; // begun while the background unwrap ran: its engine state is not ours
    if (anyDown && activeUvTool == 0 && !uvDragOpen) {
        // With nothing to move, a live solve would only re-solve the charts around their pins
        // and change a layout the user did not touch: the drag does nothing instead.
        if (!any_movable_point(doc) || !doc.beginUvDrag()) {
            uvDragRefused = 1;
            return false;
        }
        uvDragOpen = 1;
    }

    bool redraw = false;
    if (event == EVT_MOUSE_MOVE && uvDragOpen) {
        const int dx = x - lastX, dy = y - lastY;
        // Without a centre nothing turns or scales; the live solve is then left alone too, so
        // that an empty drag does not re-solve the charts.
        if (leftDown && (activeUvTool == 0 || activeUvTool == 1)) {
            if (doc.selCentreValid)
                doc.rotateSelected(float(dx), float(dy));
            activeUvTool = 1;
            redraw = true;
        }
        if (middleDown && (activeUvTool == 0 || activeUvTool == 2)) {
            if (dx != 0 || dy != 0) {
                const float h = float(viewRect.bottom - viewRect.top);
                const float distance = translation[2];
                redraw |= doc.moveSelected(-float(dx) * distance * UV_PIXEL_SPAN / h,
                                           float(dy) * distance * UV_PIXEL_SPAN / h);
            }
            activeUvTool = 2;
        }
        if (rightDown && (activeUvTool == 0 || activeUvTool == 3)) {
            if (doc.selCentreValid)
                doc.scaleSelected(float(dx), float(dy));
            activeUvTool = 3;
            redraw = true;
        }
    }

    const bool endsRotateOrScale = (event == EVT_LBUTTON_UP && activeUvTool == 1) ||
                                   (event == EVT_RBUTTON_UP && activeUvTool == 3);
    if (endsRotateOrScale || (event == EVT_MBUTTON_UP && activeUvTool == 2)) {
        if (endsRotateOrScale)
            doc.dropUvBackup();
        activeUvTool = 0;
        doc.endUvDrag();
        uvDragOpen = 0;
        UndoHistory::instance().push();
        redraw = true;
    } else if (uvDragOpen && activeUvTool == 0 && !anyDown) {
        // Pressed and released without a step: nothing moved, so the live solve just ends.
        doc.endUvDrag();
        uvDragOpen = 0;
    }
    return redraw;
}

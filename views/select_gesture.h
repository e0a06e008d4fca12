#pragma once

#include "document/pick_geometry.h"
#include "views/view_types.h"

#include <cstdint>

// The rectangle gesture that both views share in their selection modes: a click is a 6-pixel
// square around the cursor, a drag grows it into a rubber band; the picks run at every event
// while it is open, and the commit of the mode runs at the first event after it closed.

// Commits the pending picks as the mode asks; the loop and island modes fall back to edge and
// UV selection. Pushes one undo snapshot when the selection changed.
bool commit_for_mode(int32_t& mode, bool shift);

// A view's camera as its last frame drew it, for the picks.
PickView pick_view_of(const float modelView[16], int width, int height);

// One event of the gesture for a view with the fields rectActive, selectRect and
// commitPending; `pick` runs the mode's pick over the current rectangle.
template <typename View, typename Pick>
bool run_select_rectangle(View& view, int event, int x, int y, bool leftDown, Pick pick) {
    bool redraw = false;
    if (!view.rectActive && leftDown) {
        view.selectRect[0] = x - 3;
        view.selectRect[1] = y - 3;
        view.selectRect[2] = x + 3;
        view.selectRect[3] = y + 3;
        view.rectActive = 1;
        view.commitPending = 0;
        redraw = true;
    } else if (view.rectActive && !leftDown) {
        view.rectActive = 0;
        for (int i = 0; i < 4; i++)
            view.selectRect[i] = -1;
        view.commitPending = 1;
        redraw = true;
    }
    if (event == EVT_MOUSE_MOVE && leftDown && view.rectActive) {
        view.selectRect[2] = x + 2;
        view.selectRect[3] = y + 2;
        redraw = true;
    }
    if (view.rectActive)
        pick(view.selectRect);
    if (view.commitPending) {
        view.commitPending = 0;
        commit_for_mode(view.mode, view.shiftDown != 0);
        redraw = true;
    }
    return redraw;
}

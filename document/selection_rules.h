#pragma once

#include "document/mesh_types.h"

#include <cstdint>

// The flag arithmetic of picking and committing, for edges and UV points alike.

constexpr int32_t SELECTION_STATE_BITS = 0x0F;
constexpr int32_t PICK_BITS = FLAG_PICK_ADD | FLAG_PICK_REMOVE;

inline bool counts_selected(int32_t flags) {
    return (flags & FLAG_UNSELECTED) == 0;
}

inline void set_state(int32_t& flags, int32_t state) {
    flags = (flags & ~SELECTION_STATE_BITS) | state;
}

// A hit under the modifiers: Ctrl alone marks selected elements for removal, Ctrl with Shift
// marks unselected ones for adding, anything else marks the element for toggling.
inline void mark_hit(int32_t& flags, bool shift, bool ctrl) {
    if (ctrl && !shift) {
        if (counts_selected(flags))
            flags |= FLAG_PICK_REMOVE;
    } else if (ctrl && shift) {
        if (!counts_selected(flags))
            flags |= FLAG_PICK_ADD;
    } else {
        flags |= FLAG_PICK_ADD;
    }
}

// A double-click's hit: whatever it was, the commit leaves it selected.
inline void force_hit(int32_t& flags) {
    set_state(flags, FLAG_UNSELECTED | FLAG_PICK_ADD);
}

// Selected elements are cleared, remembering that they were selected.
inline bool clear_selection(int32_t& flags) {
    const bool was = counts_selected(flags);
    if (was)
        flags |= FLAG_WAS_SELECTED;
    set_state(flags, FLAG_UNSELECTED);
    return was;
}

// Toggles an element with a pick bit and clears what the pick left behind; true when its
// selection differs from before the pick.
inline bool commit_flags(int32_t& flags) {
    bool changed = false;
    if (flags & PICK_BITS) {
        const bool fromAdd = (flags & FLAG_PICK_ADD) != 0;
        const bool nowSelected = !counts_selected(flags);
        set_state(flags, nowSelected ? FLAG_SELECTED : FLAG_UNSELECTED);
        const bool was = (flags & FLAG_WAS_SELECTED) != 0;
        changed = nowSelected ? !was : was;
        // A removing pick keeps the memory of the clear unless it already reported.
        if (fromAdd || changed)
            flags &= ~FLAG_WAS_SELECTED;
    }
    if (flags & FLAG_WAS_SELECTED) {
        flags &= ~FLAG_WAS_SELECTED;
        changed = true;
    }
    return changed;
}

#pragma once

#include "document/mesh_types.h"

// The points that align, relax and the UV drags act on: selected and not pinned.
inline bool uv_movable(const UvPoint& p) {
    return (p.flags & FLAG_SELECTED) && !(p.flags & FLAG_PINNED);
}

#pragma once

#include <cstdint>

// One engine run's output as the document and the undo history take it over: the unique-UV
// table, and per fan triangle (face order, triangles (0, l, l+1) of each face) the UV index
// and the pin mark of its three corners.
struct UnwrapResult {
    const float* uv = nullptr; // uvCount (u, v) pairs
    int uvCount = 0;
    const int32_t* triangleUvs = nullptr;    // 3 per triangle
    const uint8_t* trianglePinned = nullptr; // 3 per triangle, nonzero when pinned; may be null
    int triangleCount = 0;
};

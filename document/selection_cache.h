#pragma once

#include "support/seam_path.h"

#include <cstdint>
#include <vector>

// What the picks and the edge path keep between calls while the mesh they come from does not
// change: the vertices' clip and screen positions under the last camera (a drag repeats its
// pick at every mouse event with the same camera) and the seam path's edge index over the
// engine's base working set. Load and clear drop it.
struct SelectionCache {
    SelectionCache() = default;
    SelectionCache(const SelectionCache&) = delete;
    SelectionCache& operator=(const SelectionCache&) = delete;
    ~SelectionCache() { drop(); }

    void drop() {
        vertexCameraValid = false;
        clip = {};
        screen = {};
        dropSeamIndex();
    }
    void dropSeamIndex() {
        if (seamIndexValid)
            seam_path_index_free(&seamIndex);
        seamIndexValid = false;
    }

    bool vertexCameraValid = false;
    float vertexMvp[16] = {};
    int vertexWidth = 0, vertexHeight = 0;
    std::vector<float> clip;   // four per vertex slot
    std::vector<float> screen; // two per vertex slot

    bool seamIndexValid = false;
    SeamPathIndex seamIndex{};
};

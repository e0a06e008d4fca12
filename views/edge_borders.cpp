#include "views/edge_borders.h"

#include <algorithm>

#include "document/mesh_document.h"

bool flags_always_drawn(int32_t flags) {
    return (flags &
            (FLAG_SELECTED | FLAG_PICK_ADD | FLAG_PICK_REMOVE | FLAG_SEAM | FLAG_AUTO_CUT)) != 0;
}

std::vector<uint8_t> border_edges(const MeshDocument& doc, bool uvSplits) {
    const size_t edges = size_t(std::max(doc.edgeCount, 0));
    std::vector<uint8_t> corners(edges, 0), border(edges, 0);
    // The first corner's UV points of each edge, the smaller first.
    std::vector<int32_t> firstUv(2 * edges, -1);
    for (int f = 0; f < doc.faceCount; ++f) {
        const MeshFace& face = doc.faces[size_t(f)];
        const int n = face.cornerCount;
        for (int k = 0; k < n; ++k) {
            const int e = face.edgeIndices[k];
            if (e < 0 || e >= doc.edgeCount)
                continue;
            const size_t i = size_t(e);
            if (corners[i] < 3)
                corners[i]++;
            const int ua = face.uvIndices[k == 0 ? n - 1 : k - 1], ub = face.uvIndices[k];
            const int lo = std::min(ua, ub), hi = std::max(ua, ub);
            if (corners[i] == 1) {
                firstUv[2 * i] = lo;
                firstUv[2 * i + 1] = hi;
            } else if (uvSplits && (firstUv[2 * i] != lo || firstUv[2 * i + 1] != hi)) {
                border[i] = 1;
            }
        }
    }
    for (size_t i = 0; i < edges; i++)
        if (corners[i] != 2)
            border[i] = 1;
    return border;
}

#include "document/mesh_document.h"

#include "document/uv_movable.h"

#include <vector>

// Relax: one pass over the UV points in index order. Each point looks at every face that uses
// it; rather than scanning all faces per point, the pass first lists, per UV point, the corners
// that name it (in face order, and corner order within a face), so a pass costs a few walks over
// the corners. The list is built per pass: the UV indices change under undo, unwraps and loads,
// and a pass takes no snapshot that could tell when.

namespace {

// Share of the way to the neighbours' mean that one pass moves a point.
constexpr float RELAX_WEIGHT = 0.6f;

struct UvCorners {
    std::vector<int32_t> start;  // per UV point, offset of its first entry; uvCount + 1
    std::vector<int32_t> corner; // corner indices (into the document's corner arrays)
    std::vector<int32_t> face;   // per corner index, its face
};

void list_uv_corners(const FaceTopology& topo, const std::vector<int32_t>& cornerUv, int faceCount,
                     int uvCount, UvCorners& out) {
    size_t corners = size_t(topo.cornerStart[size_t(faceCount)]);
    out.face.resize(corners);
    for (int f = 0; f < faceCount; f++) {
        for (int32_t c = topo.cornerStart[size_t(f)]; c < topo.cornerStart[size_t(f) + 1]; c++)
            out.face[size_t(c)] = f;
    }
    out.start.assign(size_t(uvCount) + 1, 0);
    for (size_t c = 0; c < corners; c++)
        out.start[size_t(cornerUv[c]) + 1]++;
    for (int i = 0; i < uvCount; i++)
        out.start[size_t(i) + 1] += out.start[size_t(i)];
    std::vector<int32_t> fill(out.start.begin(), out.start.end() - 1);
    out.corner.resize(corners);
    for (size_t c = 0; c < corners; c++)
        out.corner[size_t(fill[size_t(cornerUv[c])]++)] = int32_t(c);
}

} // namespace

bool MeshDocument::relaxSelected() {
    if (!topo_ || uvCount == 0)
        return true;
    const FaceTopology& topo = *topo_;
    UvCorners at;
    list_uv_corners(topo, cornerUv_, faceCount, uvCount, at);

    // A corner's two edges: the one from the previous corner (its own slot) and the one to the
    // next corner (the next slot). Either on the border or a seam pins the point in place.
    auto open_edge = [&](int32_t slot) {
        return topo.neighbour[size_t(slot)] < 0 ||
               (edges[size_t(topo.edge[size_t(slot)])].flags & FLAG_SEAM);
    };
    // listedFor[q] == p: point q is already among p's neighbours. The list grows as needed.
    std::vector<int32_t> listedFor(size_t(uvCount), -1);
    std::vector<int32_t> neighbours;
    for (int32_t p = 0; p < uvCount; p++) {
        if (!uv_movable(uvs[size_t(p)]))
            continue;
        const int32_t begin = at.start[size_t(p)], end = at.start[size_t(p) + 1];
        bool fixed = false;
        for (int32_t i = begin; i < end && !fixed; i++) {
            int32_t c = at.corner[size_t(i)], f = at.face[size_t(c)];
            int32_t s = topo.cornerStart[size_t(f)], n = topo.cornerStart[size_t(f) + 1] - s;
            fixed = open_edge(c) || open_edge(s + (c - s + 1) % n);
        }
        if (fixed)
            continue;
        neighbours.clear();
        auto add = [&](int32_t q) {
            if (listedFor[size_t(q)] != p) {
                listedFor[size_t(q)] = p;
                neighbours.push_back(q);
            }
        };
        for (int32_t i = begin; i < end; i++) {
            int32_t c = at.corner[size_t(i)], f = at.face[size_t(c)];
            // A face that names the point at several corners counts its last one.
            if (i + 1 < end && at.face[size_t(at.corner[size_t(i) + 1])] == f)
                continue;
            int32_t s = topo.cornerStart[size_t(f)], n = topo.cornerStart[size_t(f) + 1] - s;
            int32_t k = c - s;
            add(cornerUv_[size_t(s + (k + 1) % n)]);
            add(cornerUv_[size_t(s + (k + n - 1) % n)]);
        }
        if (neighbours.empty())
            continue;
        float sumU = 0, sumV = 0;
        for (int32_t q : neighbours) {
            sumU += uvs[size_t(q)].u;
            sumV += uvs[size_t(q)].v;
        }
        float meanU = sumU / float(neighbours.size()), meanV = sumV / float(neighbours.size());
        UvPoint& point = uvs[size_t(p)];
        point.u = point.u + (meanU - point.u) * RELAX_WEIGHT;
        point.v = point.v + (meanV - point.v) * RELAX_WEIGHT;
    }
    return true;
}

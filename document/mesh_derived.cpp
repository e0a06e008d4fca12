#include "document/mesh_document.h"

#include "document/undo_history.h"
#include "document/unwrap_result.h"
#include "support/edge_table.h"
#include "support/require.h"

#include <algorithm>
#include <atomic>
#include <cmath>

// Derived data. The edge numbering and the adjacency links are defined by exhaustive searches
// (every corner pair against all edges so far; every pair of faces in order). Both are found
// here through hashing and per-edge incidence lists instead, with the same numbers and links,
// tie-breaks included; tests compare them with the searches themselves.

namespace {

uint64_t pair_hash(int32_t a, int32_t b) {
    uint32_t lo = uint32_t(std::min(a, b)), hi = uint32_t(std::max(a, b));
    uint64_t key = (uint64_t(lo) << 32) | hi;
    key ^= key >> 33;
    key *= 0xff51afd7ed558ccdULL;
    key ^= key >> 33;
    key *= 0xc4ceb9fe1a85ec53ULL;
    key ^= key >> 33;
    return key;
}

bool same_ends(const MeshEdge& e, int32_t a, int32_t b) {
    return (e.vertexA == a && e.vertexB == b) || (e.vertexA == b && e.vertexB == a);
}

int prev_corner(int k, int n) {
    return k == 0 ? n - 1 : k - 1;
}

// First corner of face f whose edge is e, or -1.
int corner_of_edge(const MeshFace& f, int32_t e) {
    for (int j = 0; j < f.cornerCount; j++) {
        if (f.edgeIndices[j] == e)
            return j;
    }
    return -1;
}

// True when faces a (at corner k) and b (at corner j) use the same two UV points along the
// edge, in either direction.
bool same_uv_pair(const MeshFace& a, int k, const MeshFace& b, int j) {
    int32_t a0 = a.uvIndices[prev_corner(k, a.cornerCount)], a1 = a.uvIndices[k];
    int32_t b0 = b.uvIndices[prev_corner(j, b.cornerCount)], b1 = b.uvIndices[j];
    return (a0 == b0 && a1 == b1) || (a0 == b1 && a1 == b0);
}

} // namespace

void MeshDocument::rebuildDerived() {
    if (!topo_)
        growCornerPools(0);
    normalise();
    buildEdges();
    releaseEngineWorkingSets();
    // Only edge loops use the edge table, and building it costs a third of a large load.
    edgeTableTag_ = nextEdgeTableTag();
    buildAdjacency();
    seamsFromFile();
    labelCharts();
    computeStretch();
    buildEngineBaseSet();
}

void MeshDocument::normalise() {
    int n = vertexSlots - 1;
    double sum[3] = {0, 0, 0};
    for (int i = 1; i <= n; i++) {
        sum[0] += vertices[size_t(i)].x;
        sum[1] += vertices[size_t(i)].y;
        sum[2] += vertices[size_t(i)].z;
    }
    for (int c = 0; c < 3; c++)
        centre[c] = n > 0 ? float(sum[c] / n) : 0.0f;
    float r2 = 0;
    for (int i = 1; i <= n; i++) {
        const Vec3& p = vertices[size_t(i)];
        float dx = p.x - centre[0], dy = p.y - centre[1], dz = p.z - centre[2];
        r2 = std::max(r2, dx * dx + dy * dy + dz * dz);
    }
    radius = std::sqrt(r2);
    // All positions equal (or none): dividing by a zero radius would turn them into NaN and the
    // writer could not give them back; they stay at the centre instead.
    float inv = radius > 0 ? 1.0f / radius : 1.0f;
    for (int i = 1; i <= n; i++) {
        Vec3& p = vertices[size_t(i)];
        p = Vec3{(p.x - centre[0]) * inv, (p.y - centre[1]) * inv, (p.z - centre[2]) * inv};
    }
    if (document_view_hooks().normalised)
        document_view_hooks().normalised();
}

void MeshDocument::buildEdges() {
    int64_t total = cornerTotal();
    edges.clear();
    edges.reserve(size_t(total));
    edgeCount = 0;
    triangleCount = 0;
    uint64_t capacity = 16;
    while (capacity < uint64_t(total) + uint64_t(total) / 4 + 16)
        capacity *= 2;
    edgeSlots_.assign(size_t(capacity), -1);
    edgeSlotMask_ = capacity - 1;
    for (int f = 0; f < faceCount; f++) {
        MeshFace& face = faces[size_t(f)];
        int n = face.cornerCount;
        triangleCount += std::max(0, n - 2);
        for (int k = 0; k < n; k++) {
            int32_t a = face.vertexIndices[prev_corner(k, n)], b = face.vertexIndices[k];
            uint64_t slot = pair_hash(a, b) & edgeSlotMask_;
            while (edgeSlots_[slot] >= 0 && !same_ends(edges[size_t(edgeSlots_[slot])], a, b))
                slot = (slot + 1) & edgeSlotMask_;
            if (edgeSlots_[slot] < 0) {
                edgeSlots_[slot] = edgeCount++;
                edges.push_back(MeshEdge{a, b, FLAG_UNSELECTED, 0, 0});
            }
            face.edgeIndices[k] = edgeSlots_[slot];
        }
    }
    topo_->edgeEnds.resize(size_t(edgeCount) * 2);
    for (int e = 0; e < edgeCount; e++) {
        topo_->edgeEnds[2 * size_t(e)] = edges[size_t(e)].vertexA;
        topo_->edgeEnds[2 * size_t(e) + 1] = edges[size_t(e)].vertexB;
    }
}

int MeshDocument::findEdge(int a, int b) const {
    if (edgeSlots_.empty())
        return -1;
    uint64_t slot = pair_hash(a, b) & edgeSlotMask_;
    while (edgeSlots_[slot] >= 0) {
        if (same_ends(edges[size_t(edgeSlots_[slot])], a, b))
            return edgeSlots_[slot];
        slot = (slot + 1) & edgeSlotMask_;
    }
    return -1;
}

uint64_t MeshDocument::nextEdgeTableTag() {
    static std::atomic<uint64_t> last{0};
    return ++last;
}

bool MeshDocument::holdsEdgeTable() const {
    return edgeTableTag_ != 0 && edge_table().source == edgeTableTag_;
}

void MeshDocument::useEdgeTable() {
    if (holdsEdgeTable())
        return;
    edge_table_clear();
    edge_table_build_verts(vertexSlots);
    edge_table_build_faces(
        faceCount,
        [](const void* context, int f, const int** corners) {
            const MeshFace& face = static_cast<const MeshDocument*>(context)->faces[size_t(f)];
            *corners = face.vertexIndices;
            return int(face.cornerCount);
        },
        this);
    edge_table().source = edgeTableTag_;
}

void MeshDocument::buildAdjacency() {
    int64_t total = cornerTotal();
    // Incidences of every edge in face order, then corner order.
    std::vector<int32_t> start(size_t(edgeCount) + 1, 0);
    for (int64_t c = 0; c < total; c++)
        start[size_t(topo_->edge[size_t(c)]) + 1]++;
    for (int e = 0; e < edgeCount; e++)
        start[size_t(e) + 1] += start[size_t(e)];
    std::vector<int32_t> fill(start.begin(), start.end() - 1);
    std::vector<int32_t> incFace(static_cast<size_t>(total)), incCorner(static_cast<size_t>(total));
    for (int f = 0; f < faceCount; f++) {
        const MeshFace& face = faces[size_t(f)];
        for (int k = 0; k < face.cornerCount; k++) {
            int32_t slot = fill[size_t(face.edgeIndices[k])]++;
            incFace[size_t(slot)] = f;
            incCorner[size_t(slot)] = k;
        }
    }
    std::fill(topo_->neighbour.begin(), topo_->neighbour.end(), -1);

    // The pair (a, b) links a's first corner k whose edge b also has, with b's first corner j
    // on that edge. Applying the pairs in (a, b) order reproduces the overwrites of faces on
    // edges with more than two faces.
    struct Link {
        int32_t b, k, j;
    };
    std::vector<int32_t> stamp(size_t(faceCount), -1);
    std::vector<Link> links;
    for (int a = 0; a < faceCount; a++) {
        MeshFace& fa = faces[size_t(a)];
        links.clear();
        for (int k = 0; k < fa.cornerCount; k++) {
            int32_t e = fa.edgeIndices[k];
            for (int32_t i = start[size_t(e)]; i < start[size_t(e) + 1]; i++) {
                int32_t b = incFace[size_t(i)];
                if (b <= a || stamp[size_t(b)] == a)
                    continue;
                stamp[size_t(b)] = a;
                links.push_back(Link{b, k, incCorner[size_t(i)]});
            }
        }
        std::sort(links.begin(), links.end(),
                  [](const Link& x, const Link& y) { return x.b < y.b; });
        for (const Link& l : links) {
            fa.neighbourFaces[l.k] = l.b;
            faces[size_t(l.b)].neighbourFaces[l.j] = a;
        }
    }
}

namespace {

// Every edge across which two faces do not share both UV points: a border of the layout.
template <typename Visit>
void for_each_uv_border(const std::vector<MeshFace>& faces, int faceCount, Visit visit) {
    for (int a = 0; a < faceCount; a++) {
        const MeshFace& fa = faces[size_t(a)];
        for (int k = 0; k < fa.cornerCount; k++) {
            int32_t b = fa.neighbourFaces[k];
            if (b < 0)
                continue;
            const MeshFace& fb = faces[size_t(b)];
            int j = corner_of_edge(fb, fa.edgeIndices[k]);
            if (j >= 0 && !same_uv_pair(fa, k, fb, j))
                visit(fa.edgeIndices[k]);
        }
    }
}

} // namespace

void MeshDocument::seamsFromFile() {
    for_each_uv_border(faces, faceCount,
                       [this](int32_t e) { edges[size_t(e)].flags = FLAG_SEAM | FLAG_UNSELECTED; });
}

void MeshDocument::markAutomaticCuts() {
    for (int e = 0; e < edgeCount; e++)
        edges[size_t(e)].flags &= ~FLAG_AUTO_CUT;
    for_each_uv_border(faces, faceCount, [this](int32_t e) {
        if (!(edges[size_t(e)].flags & FLAG_SEAM))
            edges[size_t(e)].flags |= FLAG_AUTO_CUT;
    });
}

void MeshDocument::labelCharts() {
    markAutomaticCuts();
    for (MeshFace& f : faces)
        f.chart = -1;
    chartCount = 0;
    std::vector<int32_t> stack;
    for (int seed = 0; seed < faceCount; seed++) {
        if (faces[size_t(seed)].chart != -1)
            continue;
        // An explicit stack: a chart can hold every face of a large mesh.
        faces[size_t(seed)].chart = chartCount;
        stack.push_back(seed);
        while (!stack.empty()) {
            const MeshFace& f = faces[size_t(stack.back())];
            stack.pop_back();
            for (int k = 0; k < f.cornerCount; k++) {
                int32_t c = f.neighbourFaces[k];
                if (c < 0 || faces[size_t(c)].chart != -1)
                    continue;
                MeshFace& fc = faces[size_t(c)];
                int j = corner_of_edge(fc, f.edgeIndices[k]);
                if (j >= 0 && same_uv_pair(f, k, fc, j)) {
                    fc.chart = chartCount;
                    stack.push_back(c);
                }
            }
        }
        chartCount++;
    }
}

float MeshDocument::faceStretch(int index) const {
    const MeshFace& f = faces[size_t(index)];
    int n = f.cornerCount;
    auto pos = [this](int32_t v) {
        return v > 0 && v < vertexSlots ? vertices[size_t(v)] : Vec3{0, 0, 0};
    };
    auto uv = [this](int32_t i) {
        return i >= 0 && i < int(uvs.size()) ? uvs[size_t(i)] : UvPoint{0, 0, 0};
    };
    float area3 = 0, areaUv = 0;
    if (n >= 3) {
        // The fan around the face's last corner.
        Vec3 p0 = pos(f.vertexIndices[n - 1]);
        UvPoint t0 = uv(f.uvIndices[n - 1]);
        for (int k = 0; k + 1 <= n - 2; k++) {
            Vec3 p1 = pos(f.vertexIndices[k]), p2 = pos(f.vertexIndices[k + 1]);
            Vec3 d1{p1.x - p0.x, p1.y - p0.y, p1.z - p0.z};
            Vec3 d2{p2.x - p0.x, p2.y - p0.y, p2.z - p0.z};
            float cx = d1.y * d2.z - d1.z * d2.y, cy = d1.z * d2.x - d1.x * d2.z,
                  cz = d1.x * d2.y - d1.y * d2.x;
            area3 += 0.5f * std::sqrt(cx * cx + cy * cy + cz * cz);
            UvPoint t1 = uv(f.uvIndices[k]), t2 = uv(f.uvIndices[k + 1]);
            float cu = (t1.u - t0.u) * (t2.v - t0.v) - (t1.v - t0.v) * (t2.u - t0.u);
            areaUv += 0.5f * std::fabs(cu);
        }
    }
    return areaUv / area3;
}

void MeshDocument::computeStretch() {
    std::vector<double> sum(size_t(chartCount), 0.0);
    std::vector<int32_t> count(size_t(chartCount), 0);
    for (int i = 0; i < faceCount; i++) {
        MeshFace& f = faces[size_t(i)];
        f.stretch = faceStretch(i);
        if (f.chart >= 0 && f.chart < chartCount) {
            sum[size_t(f.chart)] += f.stretch;
            count[size_t(f.chart)]++;
        }
    }
    for (MeshFace& f : faces) {
        if (f.chart < 0 || f.chart >= chartCount)
            continue;
        float avg = float(sum[size_t(f.chart)] / count[size_t(f.chart)]);
        float lo = avg - avg * 0.8f, hi = avg * 1.8f;
        if (f.stretch < lo)
            f.stretchShade = 0;
        else if (f.stretch > hi)
            f.stretchShade = 1;
        else
            f.stretchShade = (f.stretch - lo) / (hi - lo);
    }
}

void apply_unwrap_result(const UnwrapResult& result, const FaceTopology& topo,
                         std::vector<UvPoint>& uvs, int32_t* cornerUv) {
    int faceCount = int(topo.cornerStart.size()) - 1;
    int triangles = 0;
    for (int f = 0; f < faceCount; f++)
        triangles += std::max(0, topo.cornerStart[size_t(f) + 1] - topo.cornerStart[size_t(f)] - 2);
    SUPPORT_REQUIRE(result.triangleCount == triangles,
                    "unwrap result: triangle count differs from the mesh's");
    SUPPORT_REQUIRE(result.uvCount >= 0, "unwrap result: negative UV count");
    uvs.reserve(size_t(result.uvCount) + 1);
    uvs.resize(size_t(result.uvCount));
    for (int i = 0; i < result.uvCount; i++)
        uvs[size_t(i)] = UvPoint{result.uv[2 * i], result.uv[2 * i + 1], FLAG_UNSELECTED};
    int tri = 0;
    for (int f = 0; f < faceCount; f++) {
        int32_t* corners = cornerUv + topo.cornerStart[size_t(f)];
        int n = topo.cornerStart[size_t(f) + 1] - topo.cornerStart[size_t(f)];
        for (int t = 0; t + 2 < n; t++, tri++) {
            // Triangle t is (0, t+1, t+2): the first gives corners 0 and 1, each gives t+2.
            for (int c = t > 0 ? 2 : 0; c < 3; c++) {
                int corner = c == 0 ? 0 : t + c;
                int32_t index = result.triangleUvs[3 * tri + c];
                SUPPORT_REQUIRE(index >= 0 && index < result.uvCount,
                                "unwrap result: UV index outside its table");
                corners[corner] = index;
                bool pinned = result.trianglePinned && result.trianglePinned[3 * tri + c];
                uvs[size_t(index)].flags = FLAG_UNSELECTED | (pinned ? FLAG_PINNED : 0);
            }
        }
        // Faces with fewer than three corners have no triangles; keep their indices valid.
        for (int k = 0; k < n && n < 3; k++) {
            if (corners[k] >= result.uvCount)
                corners[k] = 0;
        }
    }
}

void MeshDocument::takeOverResult(const UnwrapResult& result) {
    if (!topo_)
        return;
    apply_unwrap_result(result, *topo_, uvs, cornerUv_.data());
    uvCount = result.uvCount;
}

void MeshDocument::buildEdgeLookup() {
    uint64_t capacity = 16;
    while (capacity < uint64_t(edgeCount) * 2)
        capacity *= 2;
    edgeSlots_.assign(size_t(capacity), -1);
    edgeSlotMask_ = capacity - 1;
    for (int e = 0; e < edgeCount; e++) {
        uint64_t slot =
            pair_hash(edges[size_t(e)].vertexA, edges[size_t(e)].vertexB) & edgeSlotMask_;
        while (edgeSlots_[slot] >= 0)
            slot = (slot + 1) & edgeSlotMask_;
        edgeSlots_[slot] = e;
    }
}

#include "document/mesh_document.h"

#include "document/selection_rules.h"
#include "support/edge_table.h"
#include "support/seam_path.h"
#include "unwrap/unwrap_glue_mesh.h"

#include <vector>

// The selections that follow the mesh: edge paths, edge loops, UV borders and islands.

namespace {

// The edge a click of the path mode took: the nearest edge gets FLAG_PICK_ADD whatever its
// state, so that the selected anchor can be clicked again to forget it; earlier nearest edges
// of the same drag carry FLAG_PICK_REMOVE and count only while selected.
bool edge_picked(int32_t flags) {
    return (flags & FLAG_PICK_ADD) || ((flags & FLAG_PICK_REMOVE) && counts_selected(flags));
}

bool clear_pick_bits(std::vector<MeshEdge>& edges, int count) {
    bool any = false;
    for (int i = 0; i < count; i++) {
        int32_t& flags = edges[size_t(i)].flags;
        any |= (flags & PICK_BITS) != 0;
        flags &= ~PICK_BITS;
    }
    return any;
}

// The corner after k around a face of n corners, and the one before it.
int next_corner(int k, int n) {
    return k + 1 == n ? 0 : k + 1;
}
int previous_corner(int k, int n) {
    return k == 0 ? n - 1 : k - 1;
}

// The faces that use each UV point, in face order: faces of point p are
// faces[start[p]] .. faces[start[p + 1] - 1].
struct UvFaceIndex {
    std::vector<int32_t> start, faces;
};

UvFaceIndex uv_face_index(const MeshDocument& doc) {
    UvFaceIndex index;
    index.start.assign(size_t(doc.uvCount) + 1, 0);
    auto each_use = [&doc](auto&& use) {
        for (int f = 0; f < doc.faceCount; f++) {
            const MeshFace& face = doc.faces[size_t(f)];
            for (int k = 0; k < face.cornerCount; k++) {
                const int p = face.uvIndices[k];
                if (p < 0 || p >= doc.uvCount)
                    continue;
                bool first = true; // a face listed once per point
                for (int j = 0; j < k; j++)
                    first &= face.uvIndices[j] != p;
                if (first)
                    use(p, f);
            }
        }
    };
    each_use([&index](int p, int) { index.start[size_t(p) + 1]++; });
    for (size_t p = 0; p + 1 < index.start.size(); p++)
        index.start[p + 1] += index.start[p];
    index.faces.resize(size_t(index.start.back()));
    std::vector<int32_t> fill(index.start.begin(), index.start.end() - 1);
    each_use([&index, &fill](int p, int f) { index.faces[size_t(fill[size_t(p)]++)] = f; });
    return index;
}

// The last corner of a face that uses UV point p.
int last_corner_of(const MeshFace& face, int p) {
    int corner = -1;
    for (int k = 0; k < face.cornerCount; k++)
        if (face.uvIndices[k] == p)
            corner = k;
    return corner;
}

// The edge of the corner after k, or of the corner before it when k is the last corner.
int following_edge(const MeshFace& face, int k) {
    const int n = face.cornerCount;
    if (n < 2)
        return -1;
    return face.edgeIndices[k + 1 < n ? k + 1 : k - 1];
}

bool is_border(const MeshDocument& doc, const MeshFace& face, int corner) {
    const int e = face.edgeIndices[corner];
    return face.neighbourFaces[corner] < 0 ||
           (e >= 0 && e < doc.edgeCount && (doc.edges[size_t(e)].flags & FLAG_SEAM));
}

} // namespace

bool MeshDocument::finishEdgePath() {
    bool decided = false;
    for (int f = 0; f < faceCount && !decided; f++) {
        const MeshFace& face = faces[size_t(f)];
        const int n = face.cornerCount;
        for (int k = 0; k < n; k++) {
            const int e = face.edgeIndices[k];
            if (e < 0 || e >= edgeCount || !edge_picked(edges[size_t(e)].flags))
                continue;
            if (e == anchorEdge) {
                anchorEdge = pathEndEdge = -1;
                decided = true;
            } else if (anchorEdge == -1) {
                anchorEdge = e;
                pathNextEdge = following_edge(face, k);
                pathEndEdge = -1;
                decided = true;
            } else if (pathEndEdge == -1) {
                pathEndEdge = e;
            }
            break; // one picked edge per face
        }
    }
    const bool cleared = clear_pick_bits(edges, edgeCount);
    if (decided)
        return false;
    if (anchorEdge < 0 || pathEndEdge < 0)
        return cleared;

    // The base set and its seam path index depend only on the loaded mesh: kept between clicks.
    UnwrapMesh* base = &unwrap_base_set();
    if (!base->edges || base->edgeCount != edgeCount) {
        buildEngineBaseSet();
        selection_.dropSeamIndex();
    }
    if (!selection_.seamIndexValid) {
        seam_path_index_build(&selection_.seamIndex, base);
        selection_.seamIndexValid = true;
    }
    if (seam_path_indexed(base, &selection_.seamIndex, anchorEdge, pathEndEdge)) {
        for (int e = 0; e < base->edgeCount; e++) {
            UnwrapEdge& edge = base->edges[e];
            if (edge.flags & SEAM_PATH_MARK) {
                selectEdgeByVertices(edge.v1, edge.v2);
                // The base set's edges carry no seams: clear the mark for the next path.
                edge.flags &= uint16_t(~SEAM_PATH_MARK);
            }
        }
    }
    anchorEdge = pathEndEdge;
    pathEndEdge = -1;
    return true;
}

bool MeshDocument::selectEdgeLoop(bool /*shift: the pick before it has applied it*/) {
    int picked = -1, neighbour = -1;
    for (int f = 0; f < faceCount; f++) {
        const MeshFace& face = faces[size_t(f)];
        const int n = face.cornerCount;
        for (int k = 0; k < n; k++) {
            const int e = face.edgeIndices[k];
            if (e < 0 || e >= edgeCount || !(edges[size_t(e)].flags & PICK_BITS))
                continue;
            picked = e;
            neighbour = following_edge(face, k);
        }
    }
    const bool cleared = clear_pick_bits(edges, edgeCount);
    if (picked < 0)
        return cleared;
    if (neighbour >= 0 && neighbour < edgeCount) {
        const MeshEdge& target = edges[size_t(picked)];
        const MeshEdge& start = edges[size_t(neighbour)];
        useEdgeTable();
        edge_table_ring_path(
            target.vertexA, target.vertexB, start.vertexA, start.vertexB,
            [](void* doc, int a, int b) {
                static_cast<MeshDocument*>(doc)->selectEdgeByVertices(a, b);
            },
            this);
    }
    return true;
}

bool MeshDocument::selectUvBorderOrIsland(bool /*shift: the pick before it has applied it*/) {
    int startPoint = -1;
    for (int i = 0; i < uvCount && startPoint < 0; i++)
        if (uvs[size_t(i)].flags & PICK_BITS)
            startPoint = i;
    if (startPoint < 0)
        return false;

    const UvFaceIndex index = uv_face_index(*this);
    // Border: walk from point to point along border edges (no neighbour face, or a seam),
    // marking every point reached. An explicit stack: a border can be as long as the mesh.
    bool startOnBorder = false;
    std::vector<int32_t> stack{startPoint};
    while (!stack.empty()) {
        const int p = stack.back();
        stack.pop_back();
        for (int32_t i = index.start[size_t(p)]; i < index.start[size_t(p) + 1]; i++) {
            const MeshFace& face = faces[size_t(index.faces[size_t(i)])];
            const int n = face.cornerCount;
            const int k = last_corner_of(face, p);
            uvs[size_t(p)].flags |= FLAG_PICK_ADD;
            const int before = previous_corner(k, n), after = next_corner(k, n);
            // The edge into corner k runs from the corner before; the edge out of it is the
            // next corner's.
            const int borderEnds[2][2] = {{k, before}, {after, after}};
            for (const auto& [edgeCorner, farCorner] : borderEnds) {
                if (!is_border(*this, face, edgeCorner))
                    continue;
                if (p == startPoint)
                    startOnBorder = true;
                const int far = face.uvIndices[farCorner];
                if (far < 0 || far >= uvCount || (uvs[size_t(far)].flags & FLAG_PICK_ADD))
                    continue;
                uvs[size_t(far)].flags |= FLAG_PICK_ADD;
                stack.push_back(far);
            }
        }
    }
    if (startOnBorder) {
        commitUvPicks();
        return true;
    }

    // Island: the chart of the first face that uses the first picked point some face uses.
    int chart = -1;
    for (int i = 0; i < uvCount && chart < 0; i++)
        if ((uvs[size_t(i)].flags & PICK_BITS) &&
            index.start[size_t(i)] < index.start[size_t(i) + 1])
            chart = faces[size_t(index.faces[size_t(index.start[size_t(i)])])].chart;
    if (chart < 0)
        return true;
    for (int f = 0; f < faceCount; f++) {
        const MeshFace& face = faces[size_t(f)];
        if (face.chart != chart)
            continue;
        for (int k = 0; k < face.cornerCount; k++) {
            const int p = face.uvIndices[k];
            if (p >= 0 && p < uvCount)
                set_state(uvs[size_t(p)].flags, FLAG_SELECTED);
        }
    }
    return true;
}

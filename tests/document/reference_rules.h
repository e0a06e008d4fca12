#pragma once

// Direct transcriptions of the written rules for edge numbering and face adjacency, kept
// apart from the document's hashed versions so that tests can compare the two.

#include <algorithm>
#include <cstdint>
#include <vector>

struct RefFace {
    std::vector<int> v; // vertex indices
    std::vector<int> edge;
    std::vector<int> neighbour;
};

struct RefEdge {
    int a, b;
};

// Every corner pair is looked up among all edges made so far, in either order.
inline std::vector<RefEdge> ref_edges_exhaustive(std::vector<RefFace>& faces) {
    std::vector<RefEdge> edges;
    for (RefFace& f : faces) {
        int n = int(f.v.size());
        f.edge.assign(size_t(n), -1);
        for (int k = 0; k < n; k++) {
            int a = f.v[size_t(k == 0 ? n - 1 : k - 1)], b = f.v[size_t(k)];
            int found = -1;
            for (int e = 0; e < int(edges.size()) && found < 0; e++) {
                if ((edges[size_t(e)].a == a && edges[size_t(e)].b == b) ||
                    (edges[size_t(e)].a == b && edges[size_t(e)].b == a))
                    found = e;
            }
            if (found < 0) {
                found = int(edges.size());
                edges.push_back(RefEdge{a, b});
            }
            f.edge[size_t(k)] = found;
        }
    }
    return edges;
}

// Every pair of faces a < b in order; at the first corner pair with equal edges, link and
// go on with the next pair.
inline void ref_adjacency_exhaustive(std::vector<RefFace>& faces) {
    for (RefFace& f : faces)
        f.neighbour.assign(f.v.size(), -1);
    int count = int(faces.size());
    for (int a = 0; a < count; a++) {
        for (int b = a + 1; b < count; b++) {
            RefFace& fa = faces[size_t(a)];
            RefFace& fb = faces[size_t(b)];
            bool linked = false;
            for (size_t k = 0; k < fa.edge.size() && !linked; k++) {
                for (size_t j = 0; j < fb.edge.size() && !linked; j++) {
                    if (fa.edge[k] == fb.edge[j]) {
                        fa.neighbour[k] = b;
                        fb.neighbour[j] = a;
                        linked = true;
                    }
                }
            }
        }
    }
}

// The same two rules for meshes too large for the exhaustive loops: an edge that matches a
// corner pair contains the pair's first vertex, and two faces with equal edges share a
// vertex, so the searches only look at those. Candidates are visited in the same order as
// the exhaustive loops would meet them.
inline std::vector<RefEdge> ref_edges_by_vertex(std::vector<RefFace>& faces, int vertexSlots) {
    std::vector<RefEdge> edges;
    std::vector<std::vector<int>> atVertex(static_cast<size_t>(vertexSlots));
    for (RefFace& f : faces) {
        int n = int(f.v.size());
        f.edge.assign(size_t(n), -1);
        for (int k = 0; k < n; k++) {
            int a = f.v[size_t(k == 0 ? n - 1 : k - 1)], b = f.v[size_t(k)];
            int found = -1;
            for (int e : atVertex[size_t(a)]) {
                if ((edges[size_t(e)].a == a && edges[size_t(e)].b == b) ||
                    (edges[size_t(e)].a == b && edges[size_t(e)].b == a)) {
                    found = e;
                    break;
                }
            }
            if (found < 0) {
                found = int(edges.size());
                edges.push_back(RefEdge{a, b});
                atVertex[size_t(a)].push_back(found);
                if (b != a)
                    atVertex[size_t(b)].push_back(found);
            }
            f.edge[size_t(k)] = found;
        }
    }
    return edges;
}

inline void ref_adjacency_by_vertex(std::vector<RefFace>& faces, int vertexSlots) {
    std::vector<std::vector<int>> facesAt(static_cast<size_t>(vertexSlots));
    for (int f = 0; f < int(faces.size()); f++) {
        for (int v : faces[size_t(f)].v)
            facesAt[size_t(v)].push_back(f);
        faces[size_t(f)].neighbour.assign(faces[size_t(f)].v.size(), -1);
    }
    std::vector<int> candidates;
    for (int a = 0; a < int(faces.size()); a++) {
        candidates.clear();
        for (int v : faces[size_t(a)].v) {
            for (int b : facesAt[size_t(v)]) {
                if (b > a)
                    candidates.push_back(b);
            }
        }
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        for (int b : candidates) {
            RefFace& fa = faces[size_t(a)];
            RefFace& fb = faces[size_t(b)];
            bool linked = false;
            for (size_t k = 0; k < fa.edge.size() && !linked; k++) {
                for (size_t j = 0; j < fb.edge.size() && !linked; j++) {
                    if (fa.edge[k] == fb.edge[j]) {
                        fa.neighbour[k] = b;
                        fb.neighbour[j] = a;
                        linked = true;
                    }
                }
            }
        }
    }
}

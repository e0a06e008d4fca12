#include "support/edge_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

using Faces = std::vector<std::vector<int>>;
using Selection = std::vector<std::pair<int, int>>;

int corners_of(const void* context, int face, const int** vertexIndices) {
    const auto& faces = *static_cast<const Faces*>(context);
    *vertexIndices = faces[size_t(face)].data();
    return int(faces[size_t(face)].size());
}

void build(int vertexCount, const Faces& faces) {
    edge_table_clear();
    edge_table_build_verts(vertexCount);
    edge_table_build_faces(int(faces.size()), corners_of, &faces);
}

void record_selection(void* context, int a, int b) {
    static_cast<Selection*>(context)->push_back({a, b});
}

Selection ring_path(int a, int b, int c, int d) {
    Selection selected;
    edge_table_ring_path(a, b, c, d, record_selection, &selected);
    return selected;
}

template <typename T> std::vector<T*> list_of(const DList& list) {
    std::vector<T*> records;
    for (DLink* l = list.first; l; l = l->next)
        records.push_back(reinterpret_cast<T*>(l));
    return records;
}

// The ring path as written: passes over the whole face list until nothing changes, and a
// spread that rescans every face and the whole edge list. Reads only the table's topology.
Selection ring_path_as_written(int a, int b, int c, int d) {
    EdgeTable& table = edge_table();
    auto vert = [&](int i) { return i >= 0 && i < table.indexCount ? table.index[i] : nullptr; };
    TableEdge* target = edge_table_find_edge(vert(a), vert(b));
    TableEdge* start = edge_table_find_edge(vert(c), vert(d));
    if (!target || !start)
        return {};
    std::vector<TableEdge*> edges = list_of<TableEdge>(table.edges);
    std::vector<TableFace*> faces = list_of<TableFace>(table.faces);
    std::unordered_map<TableEdge*, size_t> id;
    for (size_t i = 0; i < edges.size(); i++)
        id[edges[i]] = i;
    std::vector<int> faceCount(edges.size()), reached(edges.size()), marked(edges.size());
    std::vector<int> done(faces.size());
    auto slots = [](TableFace* f) { return f->corners[3] ? 4 : 3; };
    for (TableFace* f : faces)
        for (int k = 0; k < slots(f); k++)
            faceCount[id[f->edges[k]]]++;
    reached[id[start]] = 1;
    marked[id[target]] = 1;

    auto spread = [&](TableEdge* x) {
        for (TableFace* f : faces) {
            bool has = false;
            int reachedCount = 0, markedCount = 0;
            for (int k = 0; k < slots(f); k++) {
                has = has || f->edges[k] == x;
                reachedCount += reached[id[f->edges[k]]];
                markedCount += marked[id[f->edges[k]]];
            }
            if (!has || reachedCount != 2 || markedCount != 0)
                continue;
            for (int k = 0; k < slots(f); k++) {
                TableEdge* e = f->edges[k];
                if (reached[id[e]])
                    continue;
                for (TableEdge* other : edges) {
                    bool shares = e->vert1 == other->vert1 || e->vert1 == other->vert2 ||
                                  e->vert2 == other->vert1 || e->vert2 == other->vert2;
                    if (marked[id[other]] && shares)
                        marked[id[e]] = 1;
                }
            }
        }
    };

    for (bool changed = true; changed;) {
        changed = false;
        for (size_t fi = 0; fi < faces.size(); fi++) {
            TableFace* f = faces[fi];
            if (!f->corners[3] || done[fi])
                continue;
            bool thin = true;
            for (TableEdge* e : f->edges)
                thin = thin && faceCount[id[e]] <= 2;
            if (!thin)
                continue;
            TableEdge** e = f->edges;
            auto R = [&](int k) { return reached[id[e[k]]] != 0; };
            if (R(0)) {
                reached[id[e[2]]] = 1, done[fi] = 1, spread(e[0]), changed = true;
            } else if (R(1)) {
                reached[id[e[3]]] = 1, done[fi] = 1, spread(e[1]), changed = true;
            }
            if (R(2))
                reached[id[e[0]]] = 1, done[fi] = 1, spread(e[2]), changed = true;
            if (R(3))
                reached[id[e[1]]] = 1, done[fi] = 1, spread(e[3]), changed = true;
        }
    }
    Selection selected;
    for (TableFace* f : faces)
        for (int k = 0; k < slots(f); k++)
            if (marked[id[f->edges[k]]])
                selected.push_back({f->edges[k]->vert1->index, f->edges[k]->vert2->index});
    return selected;
}

// A grid of w x h quads; vertex (x, y) has index y * (w + 1) + x.
Faces quad_grid(int w, int h) {
    Faces faces;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int v = y * (w + 1) + x;
            faces.push_back({v, v + 1, v + w + 2, v + w + 1});
        }
    return faces;
}

std::pair<int, int> sorted(std::pair<int, int> p) {
    return {std::min(p.first, p.second), std::max(p.first, p.second)};
}

TEST(EdgeTable, SamePairInEitherOrderGivesTheSameEdge) {
    build(4, {});
    EdgeTable& t = edge_table();
    TableEdge* e = edge_table_add_edge(t.index[1], t.index[2]);
    EXPECT_EQ(edge_table_add_edge(t.index[2], t.index[1]), e);
    EXPECT_EQ(edge_table_find_edge(t.index[2], t.index[1]), e);
    EXPECT_EQ(edge_table_add_edge(t.index[1], t.index[1]), nullptr);
    EXPECT_EQ(edge_table_add_edge(t.index[1], nullptr), nullptr);
    EXPECT_TRUE(std::less<TableVert*>()(e->vert1, e->vert2));
}

TEST(EdgeTable, TriangleGetsThreeEdgesAndAFaceOfFiveCornersEndsTheBuild) {
    build(8, {{1, 2, 3}, {1, 2, 3, 4, 5}, {5, 6, 7}});
    EdgeTable& t = edge_table();
    std::vector<TableFace*> faces = list_of<TableFace>(t.faces);
    ASSERT_EQ(faces.size(), 1u);
    TableFace* f = faces[0];
    EXPECT_EQ(f->edges[0], edge_table_find_edge(t.index[1], t.index[2]));
    EXPECT_EQ(f->edges[1], edge_table_find_edge(t.index[2], t.index[3]));
    EXPECT_EQ(f->edges[2], edge_table_find_edge(t.index[3], t.index[1]));
    EXPECT_EQ(f->edges[3], nullptr);
    EXPECT_EQ(edge_table_find_edge(t.index[5], t.index[6]), nullptr);
}

TEST(EdgeTable, FaceWithARepeatedCornerIsNotMade) {
    build(6, {{1, 2, 1}, {1, 2, 3, 3}, {1, 2, 3, 1}, {0, 99, 2}});
    EXPECT_EQ(list_of<TableFace>(edge_table().faces).size(), 0u);
}

TEST(EdgeTable, HashNumbersContinueAcrossRebuilds) {
    build(3, {});
    int last = edge_table().index[2]->hashNumber;
    build(2, {});
    EXPECT_EQ(edge_table().index[0]->hashNumber, (last + 1) % EDGE_TABLE_LOOKUP_SLOTS);
}

TEST(EdgeTableRingPath, RunsAlongAStripOfQuads) {
    const int n = 6; // bottom row 0..n, top row n+1..2n+1
    Faces strip;
    for (int i = 0; i < n; i++)
        strip.push_back({i, i + 1, n + 2 + i, n + 1 + i});
    build(2 * n + 2, strip);
    // Target: the bottom edge of the first quad; start: the rung at its next corner.
    Selection selected = ring_path(0, 1, 1, n + 2);
    Selection expected;
    for (int i = 0; i < n; i++)
        expected.push_back({i, i + 1});
    ASSERT_EQ(selected.size(), expected.size());
    for (size_t i = 0; i < selected.size(); i++)
        EXPECT_EQ(sorted(selected[i]), expected[i]);
    EXPECT_EQ(selected, ring_path_as_written(0, 1, 1, n + 2));
}

TEST(EdgeTableRingPath, StopsAtAnEdgeOfThreeFacesAndAtTriangles) {
    const int n = 6;
    Faces strip;
    for (int i = 0; i < n; i++)
        strip.push_back({i, i + 1, n + 2 + i, n + 1 + i});
    strip.push_back({3, n + 4, 2 * n + 2}); // a third face on the rung 3 - (n + 4)
    build(2 * n + 3, strip);
    Selection selected = ring_path(0, 1, 1, n + 2);
    Selection expected = {{0, 1}, {1, 2}};
    ASSERT_EQ(selected.size(), expected.size());
    for (size_t i = 0; i < selected.size(); i++)
        EXPECT_EQ(sorted(selected[i]), expected[i]);

    Faces withTriangle = strip;
    withTriangle.pop_back();
    withTriangle[2] = {2, 3, n + 3}; // a triangle in the middle of the strip
    build(2 * n + 2, withTriangle);
    selected = ring_path(0, 1, 1, n + 2);
    EXPECT_EQ(selected.size(), 2u);
    EXPECT_EQ(selected, ring_path_as_written(0, 1, 1, n + 2));
}

TEST(EdgeTableRingPath, CrossesAGridAlongOneRow) {
    const int w = 8, h = 5;
    build((w + 1) * (h + 1), quad_grid(w, h));
    const int row = 2, v = row * (w + 1) + 3; // bottom edge of quad (3, 2)
    Selection selected = ring_path(v, v + 1, v + 1, v + w + 2);
    std::vector<std::pair<int, int>> got, want;
    for (auto p : selected)
        got.push_back(sorted(p));
    std::sort(got.begin(), got.end());
    got.erase(std::unique(got.begin(), got.end()), got.end());
    for (int x = 0; x < w; x++)
        want.push_back({row * (w + 1) + x, row * (w + 1) + x + 1});
    EXPECT_EQ(got, want);
    EXPECT_EQ(selected, ring_path_as_written(v, v + 1, v + 1, v + w + 2));
}

TEST(EdgeTableRingPath, MissingEdgeChangesNothing) {
    build(9, quad_grid(2, 2));
    EXPECT_TRUE(ring_path(0, 8, 0, 1).empty());
    EXPECT_TRUE(ring_path(0, 1, 0, 100).empty());
    EXPECT_TRUE(ring_path(-1, 1, 0, 1).empty());
}

// Runs every pick of every face (target at corner k, start at the next corner) both ways.
void expect_same_as_written(int vertexCount, const Faces& faces) {
    build(vertexCount, faces);
    for (const auto& f : faces) {
        if (f.size() < 3 || f.size() > 4)
            continue;
        for (size_t k = 0; k < f.size(); k++) {
            int a = f[k], b = f[(k + 1) % f.size()], c = b, d = f[(k + 2) % f.size()];
            Selection fast = ring_path(a, b, c, d);
            ASSERT_EQ(fast, ring_path_as_written(a, b, c, d)) << "pick " << a << "-" << b;
            ASSERT_EQ(ring_path(a, b, c, d), fast) << "a second run gives the same";
        }
    }
}

TEST(EdgeTableRingPath, SameMarksAsTheWrittenRuleOnGridsWithTrianglesAndExtraFaces) {
    std::mt19937 rng(99);
    for (int round = 0; round < 6; round++) {
        int w = 4 + int(rng() % 5), h = 3 + int(rng() % 4);
        Faces faces = quad_grid(w, h);
        int vertexCount = (w + 1) * (h + 1);
        const size_t quads = faces.size();
        for (size_t i = 0; i < quads; i++) {
            auto& f = faces[i];
            if (rng() % 5 == 0) { // split into two triangles
                Faces::value_type second = {f[0], f[2], f[3]};
                f = {f[0], f[1], f[2]};
                faces.push_back(second);
            } else if (rng() % 11 == 0) {
                std::reverse(f.begin(), f.end()); // flipped winding
            }
        }
        for (int extra = 0; extra < 3; extra++) { // faces that make edges of three faces
            Faces::value_type f = faces[rng() % faces.size()];
            faces.push_back({f[0], f[1], vertexCount++});
        }
        std::shuffle(faces.begin(), faces.end(), rng);
        expect_same_as_written(vertexCount, faces);
    }
}

TEST(EdgeTableRingPath, SameMarksAsTheWrittenRuleOnRandomMeshes) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 20; round++) {
        int vertexCount = 8 + int(rng() % 20);
        Faces faces;
        int faceCount = 5 + int(rng() % 30);
        for (int i = 0; i < faceCount; i++) {
            int corners = 3 + int(rng() % 3 == 0 ? 0 : 1);
            Faces::value_type f;
            for (int k = 0; k < corners; k++)
                f.push_back(int(rng() % unsigned(vertexCount)));
            faces.push_back(f);
        }
        expect_same_as_written(vertexCount, faces);
    }
}

} // namespace

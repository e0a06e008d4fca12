#include "unwrap/unwrap_glue_mesh.h"

#include "support/edge_hash.h"
#include "unwrap_test_mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

// A run set built the way the document builds it: positions, edges and fan triangles.
struct Source {
    std::vector<Vec3> positions;
    std::vector<MeshEdge> edges;
    std::vector<int32_t> vertexTriples, uvTriples;
    std::vector<UvPoint> uvs;
    std::vector<uint8_t> pins;

    int triangles() const { return int(vertexTriples.size() / 3); }
    void build(UnwrapMesh* mesh) const {
        unwrap_mesh_copy_vertices(mesh, int(positions.size()), positions.data());
        unwrap_mesh_copy_edges(mesh, int(edges.size()), edges.data(), false);
        unwrap_mesh_copy_faces(mesh, triangles(), vertexTriples.data(), uvTriples.data(),
                               uvs.data(), int(uvs.size()), pins.data());
    }
};

Source from_test_mesh(const TestMesh& m) {
    Source s;
    for (auto& p : m.positions)
        s.positions.push_back({p[0], p[1], p[2]});
    for (auto& f : m.faces) {
        for (int l = 1; l + 1 < f.n; l++) {
            int corners[3] = {0, l, l + 1};
            for (int c : corners) {
                s.vertexTriples.push_back(f.v[c]);
                s.uvTriples.push_back(int(s.uvs.size()));
                s.uvs.push_back({f.uv[c][0], f.uv[c][1], FLAG_UNSELECTED});
                s.pins.push_back(0);
            }
        }
    }
    for (auto& [a, b] : m.seams)
        s.edges.push_back({a, b, FLAG_SEAM | FLAG_UNSELECTED, 0, 0});
    return s;
}

// The selection rule as written: passes until nothing joins.
std::vector<uint8_t> linked_as_written(const UnwrapMesh& mesh) {
    EdgeHash* seams = edgehash_new();
    EdgeHash* reached = edgehash_new();
    for (int i = 0; i < mesh.edgeCount; i++)
        if (mesh.edges[i].flags & UNWRAP_EDGE_SEAM)
            edgehash_insert(seams, mesh.edges[i].v1, mesh.edges[i].v2, nullptr);
    std::vector<uint8_t> marks(size_t(mesh.triangleCount), 0);
    auto edges_of = [&](int t) {
        const UnwrapFaceVertices& fv = mesh.faceVertices[t];
        int n = fv.v[3] ? 4 : 3;
        std::vector<std::pair<int, int>> e;
        for (int k = 0; k < n; k++)
            e.push_back({fv.v[k], fv.v[(k + 1) % n]});
        return e;
    };
    for (int t = 0; t < mesh.triangleCount; t++) {
        if (!(mesh.faces[t].flags & UNWRAP_FACE_HIDDEN) &&
            (mesh.faces[t].flags & UNWRAP_FACE_SELECTED)) {
            marks[size_t(t)] = 1;
            for (auto [a, b] : edges_of(t))
                edgehash_insert(reached, a, b, nullptr);
        }
    }
    for (bool changed = true; changed;) {
        changed = false;
        for (int t = 0; t < mesh.triangleCount; t++) {
            if (marks[size_t(t)] || (mesh.faces[t].flags & UNWRAP_FACE_HIDDEN))
                continue;
            bool joins = false;
            for (auto [a, b] : edges_of(t))
                joins =
                    joins || (!edgehash_has_key(seams, a, b) && edgehash_has_key(reached, a, b));
            if (joins) {
                marks[size_t(t)] = 1;
                changed = true;
                for (auto [a, b] : edges_of(t))
                    edgehash_insert(reached, a, b, nullptr);
            }
        }
    }
    edgehash_free(seams, nullptr);
    edgehash_free(reached, nullptr);
    return marks;
}

// The unique-UV rule as written: search the table front to back for an equal pair.
std::vector<int> uv_indices_as_written(const UnwrapMesh& mesh, std::vector<float>* table) {
    std::vector<int> indices;
    for (int t = 0; t < mesh.triangleCount; t++) {
        for (int k = 0; k < 3; k++) {
            float u = mesh.faces[t].uv[k][0], v = mesh.faces[t].uv[k][1];
            int found = -1;
            for (size_t i = 0; i < table->size() / 2 && found < 0; i++)
                if ((*table)[2 * i] == u && (*table)[2 * i + 1] == v)
                    found = int(i);
            if (found < 0) {
                found = int(table->size() / 2);
                table->push_back(u);
                table->push_back(v);
            }
            indices.push_back(found);
        }
    }
    return indices;
}

void expect_same_selection(UnwrapMesh* mesh) {
    std::vector<uint8_t> expected = linked_as_written(*mesh);
    select_linked_faces(mesh);
    for (int t = 0; t < mesh->triangleCount; t++)
        ASSERT_EQ((mesh->faces[t].flags & UNWRAP_FACE_SELECTED) != 0, expected[size_t(t)] != 0)
            << "triangle " << t;
}

void expect_same_uv_indices(UnwrapMesh* mesh) {
    std::vector<float> table;
    std::vector<int> expected = uv_indices_as_written(*mesh, &table);
    uv_index_rebuild(mesh);
    ASSERT_EQ(unwrap_uv_table().count, int(table.size() / 2));
    for (int t = 0; t < mesh->triangleCount; t++)
        for (int k = 0; k < 3; k++)
            ASSERT_EQ(mesh->faces[t].uvIndex[k], expected[size_t(3 * t + k)]);
    for (int i = 0; i < unwrap_uv_table().count; i++) {
        float u = unwrap_uv_table().uv[i][0], v = unwrap_uv_table().uv[i][1];
        EXPECT_TRUE((u == table[size_t(2 * i)] || std::isnan(u)) &&
                    (v == table[size_t(2 * i + 1)] || std::isnan(v)));
    }
}

TEST(UnwrapGlueMesh, CopyFacesSelectsEveryTriangleAndTakesPinsAndUvs) {
    TestMesh grid = test_mesh_grid(2);
    grid.faces[0].uv[1][0] = 0.25f;
    Source s = from_test_mesh(grid);
    s.pins[4] = 1;
    UnwrapMesh mesh = {};
    s.build(&mesh);
    ASSERT_EQ(mesh.triangleCount, 8);
    for (int t = 0; t < mesh.triangleCount; t++) {
        EXPECT_EQ(mesh.faces[t].flags, UNWRAP_FACE_SELECTED | unwrap_corner_selected(0));
        EXPECT_EQ(mesh.faceVertices[t].v[3], 0);
        EXPECT_EQ(mesh.faces[t].uv[3][0], 0.0f);
    }
    EXPECT_EQ(mesh.faces[1].pins, unwrap_corner_pinned(1));
    EXPECT_EQ(mesh.faces[0].uv[1][0], 0.25f);
    unwrap_mesh_free(&mesh);
    EXPECT_EQ(mesh.faces, nullptr);
}

TEST(UnwrapGlueMesh, CopyEdgesKeepsSeamsOnlyWhenAsked) {
    std::vector<MeshEdge> edges = {{1, 2, FLAG_SEAM | FLAG_UNSELECTED, 0, 0},
                                   {2, 3, FLAG_SELECTED, 0, 0}};
    UnwrapMesh mesh = {};
    unwrap_mesh_copy_edges(&mesh, 2, edges.data(), false);
    EXPECT_EQ(mesh.edges[0].flags, UNWRAP_EDGE_SEAM);
    EXPECT_EQ(mesh.edges[1].flags, 0);
    unwrap_mesh_copy_edges(&mesh, 2, edges.data(), true);
    EXPECT_EQ(mesh.edges[0].flags, 0);
    unwrap_mesh_free(&mesh);
}

TEST(UnwrapGlueMesh, CopyUvsInSkipsUnsetCornersAndIndicesOutOfRange) {
    Source s = from_test_mesh(test_mesh_grid(1));
    UnwrapMesh mesh = {};
    s.build(&mesh);
    std::vector<UvPoint> moved = s.uvs;
    moved[0].u = 0.5f;
    std::vector<int32_t> uvTriples = s.uvTriples;
    uvTriples[1] = -1;
    uvTriples[2] = 1000;
    float before1 = mesh.faces[0].uv[1][0];
    unwrap_mesh_copy_uvs_in(&mesh, s.triangles(), uvTriples.data(), moved.data(),
                            int(moved.size()));
    EXPECT_EQ(mesh.faces[0].uv[0][0], 0.5f);
    EXPECT_EQ(mesh.faces[0].uv[1][0], before1);
    unwrap_mesh_free(&mesh);
}

TEST(UnwrapGlueMesh, SelectionGrowsOverNonSeamEdgesOnly) {
    // Two quads side by side with a seam between them; only the left one is selected.
    TestMesh m;
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++)
            m.addVertex(float(x), float(y), 0);
    m.addQuad(0, 1, 4, 3);
    m.addQuad(1, 2, 5, 4);
    Source s = from_test_mesh(m);
    UnwrapMesh mesh = {};
    s.build(&mesh);
    for (int t = 2; t < 4; t++)
        mesh.faces[t].flags = 0;
    select_linked_faces(&mesh);
    for (int t = 0; t < 4; t++)
        EXPECT_TRUE(mesh.faces[t].flags & UNWRAP_FACE_SELECTED) << t;

    s.edges.push_back({1, 4, FLAG_SEAM, 0, 0});
    s.build(&mesh);
    for (int t = 2; t < 4; t++)
        mesh.faces[t].flags = 0;
    mesh.faces[1].flags |= UNWRAP_FACE_HIDDEN;
    select_linked_faces(&mesh);
    EXPECT_TRUE(mesh.faces[0].flags & UNWRAP_FACE_SELECTED);
    EXPECT_FALSE(mesh.faces[1].flags & UNWRAP_FACE_SELECTED) << "hidden triangles drop out";
    EXPECT_FALSE(mesh.faces[2].flags & UNWRAP_FACE_SELECTED);
    EXPECT_FALSE(mesh.faces[3].flags & UNWRAP_FACE_SELECTED);
    unwrap_mesh_free(&mesh);
}

TEST(UnwrapGlueMesh, EqualUvsShareAnIndexAndALastBitMakesTwo) {
    Source s = from_test_mesh(test_mesh_grid(1));
    UnwrapMesh mesh = {};
    s.build(&mesh);
    mesh.faces[0].uv[0][0] = mesh.faces[1].uv[0][0] = 0.3f;
    mesh.faces[0].uv[0][1] = mesh.faces[1].uv[0][1] = 0.7f;
    mesh.faces[0].uv[1][0] = 0.3f;
    mesh.faces[0].uv[1][1] = std::nextafter(0.7f, 1.0f);
    mesh.faces[0].uv[2][0] = -0.0f;
    mesh.faces[0].uv[2][1] = 0.0f;
    mesh.faces[1].uv[1][0] = 0.0f;
    mesh.faces[1].uv[1][1] = -0.0f;
    mesh.faces[1].uv[2][0] = NAN;
    uv_index_rebuild(&mesh);
    EXPECT_EQ(mesh.faces[0].uvIndex[0], mesh.faces[1].uvIndex[0]);
    EXPECT_NE(mesh.faces[0].uvIndex[0], mesh.faces[0].uvIndex[1]);
    EXPECT_EQ(mesh.faces[0].uvIndex[2], mesh.faces[1].uvIndex[1]) << "-0 equals +0";
    EXPECT_EQ(unwrap_uv_table().count, 4);
    expect_same_uv_indices(&mesh);
    unwrap_mesh_free(&mesh);
}

TEST(UnwrapGlueMesh, SameSelectionAndUvIndicesAsTheWrittenRulesOnRandomMeshes) {
    std::mt19937 rng(5);
    for (int round = 0; round < 30; round++) {
        Source s;
        int vertexCount = 5 + int(rng() % 40);
        for (int i = 0; i < vertexCount; i++)
            s.positions.push_back({float(rng() % 7), float(rng() % 7), 0});
        int triangles = 1 + int(rng() % 60);
        for (int t = 0; t < 3 * triangles; t++) {
            s.vertexTriples.push_back(1 + int(rng() % unsigned(vertexCount - 1)));
            s.uvTriples.push_back(int(s.uvs.size()));
            // coarse UVs so that many repeat
            s.uvs.push_back({float(rng() % 4) * 0.25f, float(rng() % 4) * 0.25f, 1});
            s.pins.push_back(uint8_t(rng() % 2));
        }
        for (int e = 0; e < 10; e++)
            s.edges.push_back({1 + int(rng() % unsigned(vertexCount - 1)),
                               1 + int(rng() % unsigned(vertexCount - 1)),
                               rng() % 2 ? FLAG_SEAM : FLAG_UNSELECTED, 0, 0});
        UnwrapMesh mesh = {};
        s.build(&mesh);
        for (int t = 0; t < mesh.triangleCount; t++) {
            mesh.faces[t].flags = uint8_t(rng() % 5 == 0 ? UNWRAP_FACE_SELECTED : 0);
            if (rng() % 9 == 0)
                mesh.faces[t].flags |= UNWRAP_FACE_HIDDEN;
        }
        expect_same_selection(&mesh);
        expect_same_uv_indices(&mesh);
        unwrap_mesh_free(&mesh);
    }
}

class UnwrapGlueRealMesh : public ::testing::TestWithParam<std::string> {};

TEST_P(UnwrapGlueRealMesh, SameSelectionAndUvIndicesAsTheWrittenRules) {
    TestMesh m = test_mesh_load_obj(std::string(MARROWBY_MESH_DIR) + "/" + GetParam());
    // Seams along a few slabs; UVs from the positions, so that shared corners share UVs.
    for (auto& f : m.faces)
        for (int k = 0; k < f.n; k++) {
            f.uv[k][0] = std::floor(m.positions[size_t(f.v[k])][0] * 20) / 20;
            f.uv[k][1] = std::floor(m.positions[size_t(f.v[k])][1] * 20) / 20;
        }
    for (auto& f : m.faces)
        if (f.v[0] % 11 == 0)
            m.seams.push_back({f.v[0], f.v[1]});
    Source s = from_test_mesh(m);
    UnwrapMesh mesh = {};
    s.build(&mesh);
    std::mt19937 rng(3);
    for (int t = 0; t < mesh.triangleCount; t++)
        mesh.faces[t].flags = uint8_t(rng() % 500 == 0 ? UNWRAP_FACE_SELECTED : 0);
    expect_same_selection(&mesh);
    expect_same_uv_indices(&mesh);
    unwrap_mesh_free(&mesh);
}

INSTANTIATE_TEST_SUITE_P(Meshes, UnwrapGlueRealMesh,
                         ::testing::Values("bunny.obj", "dragon_res3.obj"));

} // namespace

#include "unwrap_test_mesh.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

PHandle* test_mesh_begin(TestMesh& mesh, int expectFaces) {
    PHandle* handle = unwrap_handle_create();
    if (expectFaces >= 0)
        unwrap_expect_faces(handle, expectFaces);
    for (size_t i = 0; i < mesh.faces.size(); i++) {
        TestMesh::Face& f = mesh.faces[i];
        float* co[4];
        float* uv[4];
        for (int k = 0; k < f.n; k++) {
            co[k] = mesh.positions[size_t(f.v[k])].data();
            uv[k] = f.linked ? f.uv[k] : nullptr;
        }
        unwrap_add_face(handle, int(i), f.n, f.v, co, uv, f.pin, f.select);
    }
    for (auto [a, b] : mesh.seams)
        unwrap_mark_seam(handle, a, b);
    return handle;
}

PHandle* test_mesh_build(TestMesh& mesh, bool fillHoles) {
    PHandle* handle = test_mesh_begin(mesh);
    unwrap_construct_end(handle, fillHoles);
    return handle;
}

TestMesh test_mesh_load_obj(const std::string& path) {
    TestMesh mesh;
    mesh.positions.push_back({0, 0, 0});
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << "cannot open " << path;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string kind;
        ls >> kind;
        if (kind == "v") {
            std::array<float, 3> p{};
            ls >> p[0] >> p[1] >> p[2];
            mesh.positions.push_back(p);
        } else if (kind == "f") {
            TestMesh::Face f;
            f.n = 0;
            std::string corner;
            while (ls >> corner && f.n < 4)
                f.v[f.n++] = std::atoi(corner.c_str());
            if (f.n >= 3)
                mesh.faces.push_back(f);
        }
    }
    return mesh;
}

TestMesh test_mesh_grid(int n, int rows) {
    if (rows < 0)
        rows = n;
    TestMesh mesh;
    for (int y = 0; y <= rows; y++)
        for (int x = 0; x <= n; x++)
            mesh.addVertex(float(x), float(y), 0.0f);
    for (int y = 0; y < rows; y++) {
        for (int x = 0; x < n; x++) {
            int a = y * (n + 1) + x;
            TestMesh::Face& f = mesh.addQuad(a, a + 1, a + n + 2, a + n + 1);
            // Distinct UVs per corner so that UV links can be told apart.
            for (int k = 0; k < 4; k++) {
                f.uv[k][0] = mesh.positions[size_t(f.v[k])][0] / float(n);
                f.uv[k][1] = mesh.positions[size_t(f.v[k])][1] / float(n);
            }
        }
    }
    return mesh;
}

TestMesh test_mesh_cube() {
    TestMesh mesh;
    for (int i = 0; i < 8; i++)
        mesh.addVertex(float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1));
    // Outward-facing quads, counter-clockwise seen from outside.
    mesh.addQuad(0, 2, 3, 1); // z = 0
    mesh.addQuad(4, 5, 7, 6); // z = 1
    mesh.addQuad(0, 1, 5, 4); // y = 0
    mesh.addQuad(2, 6, 7, 3); // y = 1
    mesh.addQuad(0, 4, 6, 2); // x = 0
    mesh.addQuad(1, 3, 7, 5); // x = 1
    return mesh;
}

int test_count_triangles(const PHandle* handle, bool filledOnly) {
    int count = 0;
    for (int i = 0; i < handle->ncharts; i++)
        for (const PTriangle* t = handle->charts[i]->triangles; t; t = t->next)
            if (!filledOnly || (t->flags & PTRI_FILLED))
                count++;
    return count;
}

#pragma once

#include "unwrap/unwrap.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A small mesh in the shape the glue hands to the engine: positions per vertex key, and per
// face up to four corners with their own UV pair, pin and select flag. Vertex keys are indices
// into positions; the storage must not move while a handle points into it.
struct TestMesh {
    std::vector<std::array<float, 3>> positions;
    struct Face {
        int n = 3;
        int v[4] = {0, 0, 0, 0};
        float uv[4][2] = {{0, 0}, {0, 0}, {0, 0}, {0, 0}};
        uint8_t pin[4] = {0, 0, 0, 0};
        uint8_t select[4] = {0, 0, 0, 0};
        bool linked = true; // corners carry UV links
    };
    std::vector<Face> faces;
    std::vector<std::pair<int, int>> seams;

    int addVertex(float x, float y, float z) {
        positions.push_back({x, y, z});
        return int(positions.size()) - 1;
    }
    Face& addTriangle(int a, int b, int c) {
        Face f;
        f.v[0] = a;
        f.v[1] = b;
        f.v[2] = c;
        faces.push_back(f);
        return faces.back();
    }
    Face& addQuad(int a, int b, int c, int d) {
        Face& f = addTriangle(a, b, c);
        f.n = 4;
        f.v[3] = d;
        return f;
    }
};

// Adds every face (face key = its index) and seam of the mesh to a new handle, after a hint of
// the face count when expectFaces is not negative.
PHandle* test_mesh_begin(TestMesh& mesh, int expectFaces = -1);
// The same, then construction end.
PHandle* test_mesh_build(TestMesh& mesh, bool fillHoles);

// Reads v and f lines of an OBJ file (faces of 3 or 4 corners, 1-based; slashes ignored).
// Vertex key i is OBJ vertex i; positions[0] is unused. Fails the test on a missing file.
TestMesh test_mesh_load_obj(const std::string& path);

// A grid of n x n quads (n x rows when rows is given) in the z = 0 plane, vertex keys row by row.
TestMesh test_mesh_grid(int n, int rows = -1);

// A closed unit cube of six quads.
TestMesh test_mesh_cube();

// Number of triangles over all charts, and how many of them were made by hole filling.
int test_count_triangles(const PHandle* handle, bool filledOnly);

#include "unwrap/unwrap.h"
#include "unwrap/unwrap_validate.h"
#include "unwrap_test_mesh.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// A jittered grid with every defect an input file may carry: holes, duplicate and reversed
// faces, edges of three faces, collapsed vertices (zero-area triangles), unreferenced vertices,
// seams on edges and on pairs no face joins, and random pins, selections and missing UV links.
TestMesh broken_grid(std::mt19937& rng, bool degenerateCorners) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    auto chance = [&](float p) { return unit(rng) < p; };
    int n = 2 + int(rng() % 7);
    TestMesh mesh = test_mesh_grid(n);
    int nv = int(mesh.positions.size());
    for (auto& p : mesh.positions) {
        p[2] = unit(rng) * 0.3f;
        if (chance(0.1f))
            p = mesh.positions[rng() % size_t(nv)]; // collapsed onto another vertex
    }
    for (int i = 0; i < 3; i++)
        mesh.addVertex(unit(rng), unit(rng), unit(rng)); // unreferenced

    std::vector<TestMesh::Face> faces;
    for (const TestMesh::Face& f : mesh.faces) {
        if (chance(0.1f))
            continue; // hole
        TestMesh::Face g = f;
        if (chance(0.5f)) { // as two triangles, one possibly reversed
            TestMesh::Face t1 = g, t2 = g;
            t1.n = t2.n = 3;
            t2.v[1] = g.v[2];
            t2.v[2] = g.v[3];
            std::copy(&g.uv[2][0], &g.uv[2][0] + 4, &t2.uv[1][0]);
            if (chance(0.2f))
                std::swap(t2.v[1], t2.v[2]);
            faces.push_back(t1);
            faces.push_back(t2);
        } else {
            if (chance(0.1f))
                std::swap(g.v[1], g.v[3]); // reversed quad
            faces.push_back(g);
        }
        if (chance(0.05f))
            faces.push_back(faces.back()); // duplicate
    }
    int nf = int(faces.size());
    for (int i = 0; nf > 0 && i < 3; i++) {
        if (!chance(0.5f))
            continue;
        TestMesh::Face f = faces[rng() % size_t(nf)];
        f.n = 3;
        f.v[2] = int(rng() % size_t(nv)); // third face on an edge, or any triangle at all
        faces.push_back(f);
    }
    if (degenerateCorners && nf > 0 && chance(0.5f)) {
        TestMesh::Face f = faces[rng() % size_t(nf)];
        f.n = 3;
        f.v[1] = f.v[0]; // repeated vertex key in one face
        faces.push_back(f);
    }
    for (TestMesh::Face& f : faces) {
        for (int k = 0; k < 4; k++) {
            f.pin[k] = chance(0.05f);
            f.select[k] = chance(0.3f);
        }
        f.linked = !chance(0.05f);
    }
    mesh.faces = faces;

    for (int i = 0; i < 4; i++) {
        if (!mesh.faces.empty() && chance(0.6f)) {
            const TestMesh::Face& f = mesh.faces[rng() % mesh.faces.size()];
            mesh.seams.push_back({f.v[0], f.v[1]});
        }
        if (chance(0.3f))
            mesh.seams.push_back({int(rng() % size_t(nv)), int(rng() % size_t(nv))});
    }
    return mesh;
}

// A soup of random triangles over few vertices: anything goes, including handles.
TestMesh triangle_soup(std::mt19937& rng) {
    TestMesh mesh;
    int nv = 4 + int(rng() % 12);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int i = 0; i < nv; i++)
        mesh.addVertex(unit(rng), unit(rng), unit(rng));
    int nf = 1 + int(rng() % 40);
    for (int i = 0; i < nf; i++) {
        int a = int(rng() % size_t(nv)), b = int(rng() % size_t(nv)), c = int(rng() % size_t(nv));
        if (rng() % 4 == 0) {
            int d = int(rng() % size_t(nv));
            mesh.addQuad(a, b, c, d);
        } else {
            mesh.addTriangle(a, b, c);
        }
    }
    for (int i = 0; i < 3; i++)
        mesh.seams.push_back({int(rng() % size_t(nv)), int(rng() % size_t(nv))});
    return mesh;
}

void expect_sound(TestMesh& mesh, bool planar, unsigned seed) {
    for (bool fill : {false, true}) {
        PHandle* handle = test_mesh_build(mesh, fill);
        EXPECT_EQ(handle->state, PHANDLE_STATE_ALLOCATED);
        EXPECT_EQ(unwrap_validate(handle, fill && planar), "")
            << "seed " << seed << " fill " << fill;
        if (fill) {
            for (int i = 0; i < handle->ncharts; i++) {
                UnwrapChartShape shape = unwrap_chart_shape(handle->charts[i]);
                // Filling leaves one loop; a chart with handles keeps them (1 - 2g).
                EXPECT_EQ(shape.nloops, 1) << "seed " << seed;
                EXPECT_LE(shape.euler, 1) << "seed " << seed;
                EXPECT_EQ((shape.euler - 1) % 2, 0) << "seed " << seed;
            }
        }
        unwrap_flush(handle);
        unwrap_delete(handle);
    }
}

TEST(UnwrapRandom, BrokenGridsGiveSoundDiscs) {
    for (unsigned seed = 1; seed <= 400; seed++) {
        std::mt19937 rng(seed);
        TestMesh mesh = broken_grid(rng, false);
        expect_sound(mesh, true, seed);
        if (HasFailure())
            break;
    }
}

TEST(UnwrapRandom, FacesWithRepeatedCornersKeepTheTopologySound) {
    for (unsigned seed = 1; seed <= 400; seed++) {
        std::mt19937 rng(seed);
        TestMesh mesh = broken_grid(rng, true);
        expect_sound(mesh, false, seed);
        if (HasFailure())
            break;
    }
}

TEST(UnwrapRandom, TriangleSoupsKeepTheTopologySound) {
    for (unsigned seed = 1; seed <= 1000; seed++) {
        std::mt19937 rng(seed);
        TestMesh mesh = triangle_soup(rng);
        expect_sound(mesh, false, seed);
        if (HasFailure())
            break;
    }
}

} // namespace

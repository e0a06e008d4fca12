#include "Lscm/opennl.h"
#include "flatten_test_util.h"
#include "support/guarded_alloc.h"
#include "unwrap/unwrap_abf.h"
#include "unwrap/unwrap_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr float MIN_ANGLE = 0.13089969754219055f;
constexpr float MAX_ANGLE = 3.010693073272705f;

PChart* only_chart(PHandle* handle) {
    EXPECT_EQ(handle->ncharts, 1);
    return handle->ncharts > 0 ? handle->charts[0] : nullptr;
}

std::vector<float> clamped_3d_angles(const PChart* chart) {
    std::vector<float> out;
    for (const PTriangle* t = chart->triangles; t; t = t->next) {
        float a[3];
        unwrap_triangle_angles(t, &a[0], &a[1], &a[2]);
        for (float x : a)
            out.push_back(std::fmin(std::fmax(x, MIN_ANGLE), MAX_ANGLE));
    }
    return out;
}

// Residuals of the flat-layout conditions for an angle array in the chart's ABF numbering.
struct Residuals {
    double triangle = 0; // max |sum of a triangle's angles - pi|
    double planar = 0;   // max |sum around an interior point - 2 pi|
    double length = 0;   // max |log(prod sin next) - log(prod sin prev)| around interior points
};

Residuals residuals(const PChart* chart, const float* angles) {
    Residuals r;
    for (const PTriangle* t = chart->triangles; t; t = t->next) {
        const PHalfEdge* e = t->edge;
        double sum = double(angles[e->key]) + angles[e->nextInTri->key] +
                     angles[e->nextInTri->nextInTri->key];
        r.triangle = std::max(r.triangle, std::fabs(sum - M_PI));
    }
    for (const PPoint* p = chart->points; p; p = p->next) {
        if (!p->edge->pair)
            continue;
        double sum = 0, l1 = 0, l2 = 0;
        PHalfEdge* e = p->edge;
        do {
            sum += angles[e->key];
            l1 += std::log(std::sin(double(angles[e->nextInTri->key])));
            l2 += std::log(std::sin(double(angles[e->nextInTri->nextInTri->key])));
            e = unwrap_edge_next_around(e);
        } while (e && e != p->edge);
        r.planar = std::max(r.planar, std::fabs(sum - 2 * M_PI));
        r.length = std::max(r.length, std::fabs(l1 - l2));
    }
    return r;
}

TEST(UnwrapAbf, NumbersInteriorPointsTrianglesAndAngles) {
    TestMesh mesh = test_mesh_grid(3); // 16 points, 4 of them interior
    PHandle* handle = test_mesh_build(mesh, false);
    PChart* chart = only_chart(handle);
    ASSERT_TRUE(unwrap_abf_chart(chart));
    int interior = 0;
    std::vector<bool> seen(4, false);
    for (PPoint* p = chart->points; p; p = p->next) {
        bool expected = p->edge->pair != nullptr;
        EXPECT_EQ((p->flags & PPOINT_INTERIOR) != 0, expected);
        if (expected) {
            ASSERT_GE(p->key, 0);
            ASSERT_LT(p->key, 4);
            EXPECT_FALSE(seen[size_t(p->key)]);
            seen[size_t(p->key)] = true;
            interior++;
        }
    }
    EXPECT_EQ(interior, 4);
    int t = 0;
    for (PTriangle* tri = chart->triangles; tri; tri = tri->next, t++) {
        EXPECT_EQ(tri->key, t);
        EXPECT_EQ(tri->edge->key, 3 * t);
        EXPECT_EQ(tri->edge->nextInTri->key, 3 * t + 1);
        EXPECT_EQ(tri->edge->nextInTri->nextInTri->key, 3 * t + 2);
    }
    mem_free(chart->u.lscm.abfAngles);
    unwrap_delete(handle);
}

TEST(UnwrapAbf, FlatChartKeepsItsAngles) {
    for (bool tilted : {false, true}) {
        TestMesh mesh = flat_patch(6, 11);
        if (tilted)
            rotate_and_tilt(mesh);
        PHandle* handle = test_mesh_build(mesh, false);
        PChart* chart = only_chart(handle);
        std::vector<float> expected = clamped_3d_angles(chart);
        for (float a : expected) // the patch is chosen so that nothing is clamped
            ASSERT_GT(a, MIN_ANGLE);
        ASSERT_TRUE(unwrap_abf_chart(chart)) << "tilted " << tilted;
        const float* angles = chart->u.lscm.abfAngles;
        ASSERT_NE(angles, nullptr);
        for (size_t i = 0; i < expected.size(); i++)
            EXPECT_NEAR(angles[i], expected[i], 2e-3) << "angle " << i << " tilted " << tilted;
        mem_free(chart->u.lscm.abfAngles);
        unwrap_delete(handle);
    }
}

TEST(UnwrapAbf, StripWithoutInteriorPointsReturnsClampedAnglesWithoutSolving) {
    // A strip of triangles, one of them a sliver with an angle far below 7.5 degrees, and one
    // with an angle above 172.5 degrees.
    TestMesh mesh;
    int a = mesh.addVertex(0, 0, 0), b = mesh.addVertex(1, 0, 0), c = mesh.addVertex(0, 1, 0);
    int d = mesh.addVertex(10, 0.5f, 0);
    int e = mesh.addVertex(-0.03f, 0.5f, 0);
    mesh.addTriangle(a, b, c);
    mesh.addTriangle(b, d, c);
    mesh.addTriangle(c, e, a);
    PHandle* handle = test_mesh_build(mesh, false);
    PChart* chart = only_chart(handle);
    std::vector<float> raw;
    for (const PTriangle* t = chart->triangles; t; t = t->next) {
        float x[3];
        unwrap_triangle_angles(t, &x[0], &x[1], &x[2]);
        raw.insert(raw.end(), x, x + 3);
    }
    std::vector<float> expected = clamped_3d_angles(chart);
    bool anyBelow = false, anyAbove = false;
    for (float x : raw) {
        anyBelow = anyBelow || x < MIN_ANGLE;
        anyAbove = anyAbove || x > MAX_ANGLE;
    }
    ASSERT_TRUE(anyBelow && anyAbove);

    ASSERT_TRUE(unwrap_abf_chart(chart));
    EXPECT_EQ(unwrap_abf_last_steps(), 0);
    for (size_t i = 0; i < expected.size(); i++)
        EXPECT_EQ(chart->u.lscm.abfAngles[i], expected[i]) << "angle " << i;
    mem_free(chart->u.lscm.abfAngles);
    unwrap_delete(handle);
}

TEST(UnwrapAbf, CurvedChartsReachAFlatLayoutsConditions) {
    struct Case {
        const char* name;
        TestMesh mesh;
    };
    Case cases[] = {
        {"small hemisphere", hemisphere(3, 12, false)}, // under 100 triangles: tight tolerance
        {"hemisphere", hemisphere(8, 24, false)},       // looser tolerance
        {"cut cylinder", cut_cylinder(6, 16, 3.0f)},
    };
    for (Case& c : cases) {
        PHandle* handle = test_mesh_build(c.mesh, false);
        PChart* chart = only_chart(handle);
        ASSERT_TRUE(unwrap_abf_chart(chart)) << c.name;
        int steps = unwrap_abf_last_steps();
        EXPECT_GT(steps, 0) << c.name;
        EXPECT_LE(steps, 20) << c.name;
        Residuals r = residuals(chart, chart->u.lscm.abfAngles);
        double tol = chart->ntriangles <= 100 ? 1e-3 : 2e-2;
        EXPECT_LT(r.triangle, tol) << c.name;
        EXPECT_LT(r.planar, tol) << c.name;
        EXPECT_LT(r.length, 10 * tol) << c.name;
        for (int i = 0; i < 3 * chart->ntriangles; i++) {
            EXPECT_GE(chart->u.lscm.abfAngles[i], 0.0f);
            EXPECT_LE(chart->u.lscm.abfAngles[i], 3.1415927f);
        }
        std::printf("[ abf ] %s: %d triangles, %d Newton steps, residuals %.2g %.2g %.2g\n", c.name,
                    chart->ntriangles, steps, r.triangle, r.planar, r.length);
        EXPECT_EQ(nl_current_context(), nullptr);
        mem_free(chart->u.lscm.abfAngles);
        unwrap_delete(handle);
    }
}

} // namespace

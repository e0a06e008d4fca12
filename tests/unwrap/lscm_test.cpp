#include "Lscm/opennl.h"
#include "flatten_test_util.h"
#include "unwrap/unwrap_abf.h"
#include "unwrap/unwrap_lscm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// Sets the pin flag and UV on every corner of the mesh that uses vertex v.
void pin_vertex(TestMesh& mesh, int v, float u, float w) {
    for (TestMesh::Face& f : mesh.faces)
        for (int k = 0; k < f.n; k++)
            if (f.v[k] == v) {
                f.pin[k] = 1;
                f.uv[k][0] = u;
                f.uv[k][1] = w;
            }
}

void select_all(TestMesh& mesh) {
    for (TestMesh::Face& f : mesh.faces)
        for (int k = 0; k < f.n; k++)
            f.select[k] = 1;
}

PPoint* find_point(PChart* chart, const float* co) {
    for (PPoint* p = chart->points; p; p = p->next)
        if (p->co == co)
            return p;
    return nullptr;
}

// A crumpled 4 x 4 grid (random heights of amplitude 8) on which ABF does not converge in 20
// Newton steps.
TestMesh crumpled_grid() {
    TestMesh mesh = test_mesh_grid(4);
    unsigned st = 15;
    for (auto& p : mesh.positions) {
        st = st * 1664525u + 1013904223u;
        p[2] = 8.0f * (float(st >> 8) / float(1u << 24) - 0.5f);
    }
    return mesh;
}

// One-shot unwrap of every chart; returns the handle (state allocated, UVs in the points).
PHandle* unwrap_once(TestMesh& mesh, bool useAbf) {
    PHandle* handle = test_mesh_build(mesh, true);
    unwrap_lscm_begin(handle, false, useAbf);
    unwrap_lscm_solve(handle);
    unwrap_lscm_end(handle);
    return handle;
}

TEST(UnwrapLscm, FlatChartBecomesASimilarCopyWithAndWithoutAbf) {
    for (bool tilted : {false, true}) {
        for (bool abf : {false, true}) {
            TestMesh mesh = flat_patch(8, 5);
            if (tilted)
                rotate_and_tilt(mesh);
            PHandle* handle = unwrap_once(mesh, abf);
            ASSERT_EQ(handle->ncharts, 1);
            LayoutMeasure m = measure_chart(handle->charts[0]);
            EXPECT_LT(m.maxEdgeError, 1e-3) << "tilted " << tilted << " abf " << abf;
            EXPECT_EQ(m.flipped, 0);
            EXPECT_EQ(m.degenerate, 0);
            unwrap_delete(handle);
        }
    }
}

TEST(UnwrapLscm, AbfLowersAngleDistortionOnCurvedCharts) {
    struct Case {
        const char* name;
        TestMesh mesh;
    };
    Case cases[] = {
        {"cut hemisphere", hemisphere(8, 24, true)},
        {"small cut hemisphere", hemisphere(4, 12, true)},
        {"cut cylinder", cut_cylinder(4, 12, 2.0f)},
        {"cut open sphere", open_sphere(5, 10, -1.2, true)},
    };
    for (Case& c : cases) {
        double error[2];
        for (bool abf : {false, true}) {
            PHandle* handle = unwrap_once(c.mesh, abf);
            ASSERT_EQ(handle->ncharts, 1) << c.name;
            LayoutMeasure m = measure_chart(handle->charts[0]);
            EXPECT_EQ(m.flipped, 0) << c.name << " abf " << abf;
            error[abf] = m.meanAngleError;
            unwrap_delete(handle);
        }
        std::printf("[ lscm ] %s: mean angle error LSCM %.5f, ABF + LSCM %.5f\n", c.name, error[0],
                    error[1]);
        EXPECT_LT(error[1], error[0]) << c.name;
    }
}

TEST(UnwrapLscm, ChartsLeftOutOfTheSolveKeepTheirUvs) {
    struct Case {
        const char* name;
        bool live;
        int pins;
        bool allSelected;
        bool solved;
    };
    const Case cases[] = {
        {"one pin", false, 1, false, false},
        {"one pin, live", true, 1, false, false},
        {"no pin, live", true, 0, false, false},
        {"two pins, all selected, live", true, 2, true, false},
        {"no pin", false, 0, false, true},
        {"two pins", false, 2, false, true},
        {"two pins, live", true, 2, false, true},
        {"two pins, all selected", false, 2, true, true},
    };
    for (const Case& c : cases) {
        TestMesh mesh = test_mesh_grid(4);
        if (c.pins >= 1)
            pin_vertex(mesh, 0, 0.25f, 0.75f);
        if (c.pins >= 2)
            pin_vertex(mesh, 24, 0.5f, 0.5f);
        if (c.allSelected)
            select_all(mesh);
        TestMesh before = mesh;
        PHandle* handle = test_mesh_build(mesh, false);
        unwrap_lscm_begin(handle, c.live, false);
        EXPECT_EQ(handle->charts[0]->u.lscm.context != nullptr, c.solved) << c.name;
        unwrap_lscm_solve(handle);
        unwrap_lscm_end(handle);
        unwrap_flush(handle);
        bool unchanged = true;
        for (size_t i = 0; i < mesh.faces.size(); i++)
            for (int k = 0; k < mesh.faces[i].n; k++)
                for (int a = 0; a < 2; a++)
                    unchanged = unchanged && mesh.faces[i].uv[k][a] == before.faces[i].uv[k][a];
        EXPECT_EQ(unchanged, !c.solved) << c.name;
        unwrap_delete(handle);
    }
}

TEST(UnwrapLscm, MirroredChartGetsPinsAtTheMiddleOfTheSplitRunAndOfTheRest) {
    // A sphere open at a small bottom rim, cut from the rim to the pole along y = 0: the split
    // run is longer than half the boundary. Its middle is the pole, the middle of the rest is
    // the rim point opposite the cut.
    const int rings = 10, segments = 16;
    int pole = -1;
    TestMesh mesh = open_sphere(rings, segments, -1.3, true, &pole);
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 1);
    PChart* chart = handle->charts[0];
    PPoint* pin1 = nullptr;
    PPoint* pin2 = nullptr;
    unwrap_lscm_choose_pins(chart, &pin1, &pin2);
    ASSERT_NE(pin1, nullptr);
    ASSERT_NE(pin2, nullptr);
    EXPECT_EQ(pin1->co, mesh.positions[size_t(pole)].data());
    EXPECT_EQ(pin2->co, mesh.positions[segments / 2].data());

    // Through LSCM begin: the pins are placed with z (the largest difference) on v.
    unwrap_lscm_begin(handle, false, false);
    ASSERT_EQ(chart->u.lscm.pin1, pin1);
    ASSERT_EQ(chart->u.lscm.pin2, pin2);
    EXPECT_EQ(pin1->uv[0], pin1->co[0]);
    EXPECT_EQ(pin1->uv[1], pin1->co[2]);
    EXPECT_EQ(pin2->uv[0], pin2->co[0]);
    EXPECT_EQ(pin2->uv[1], pin2->co[2]);
    unwrap_lscm_solve(handle);
    EXPECT_EQ(chart->u.lscm.context, nullptr); // automatic pins: solved once
    EXPECT_EQ(measure_chart(chart).flipped, 0);
    unwrap_lscm_end(handle);
    unwrap_delete(handle);
}

TEST(UnwrapLscm, ChartWithoutSplitRunUsesTheExtremesOfItsLongestAxis) {
    TestMesh mesh = flat_patch(5, 3);
    for (auto& p : mesh.positions) // stretch along y, so that y has the largest extent
        p[1] *= 4.0f;
    PHandle* handle = test_mesh_build(mesh, false);
    PChart* chart = handle->charts[0];
    PPoint* pin1 = nullptr;
    PPoint* pin2 = nullptr;
    unwrap_lscm_choose_pins(chart, &pin1, &pin2);
    float lo = 1e30f, hi = -1e30f;
    for (PPoint* p = chart->points; p; p = p->next) {
        lo = std::fmin(lo, p->co[1]);
        hi = std::fmax(hi, p->co[1]);
    }
    ASSERT_NE(pin1, nullptr);
    ASSERT_NE(pin2, nullptr);
    EXPECT_EQ(pin1->co[1], lo);
    EXPECT_EQ(pin2->co[1], hi);
    unwrap_delete(handle);
}

TEST(UnwrapLscm, PinPlacementPutsTheDominantAxisOnUExceptZ) {
    struct Case {
        float a[3], b[3];
        int u, v;
    };
    const Case cases[] = {
        {{0, 0, 0}, {5, 2, 1}, 0, 1},  // x dominates, then y
        {{0, 0, 0}, {5, 1, 2}, 0, 2},  // x dominates, then z
        {{1, 0, 0}, {3, 6, 0}, 1, 0},  // y dominates, then x
        {{0, 0, 1}, {1, 6, 4}, 1, 2},  // y dominates, then z
        {{0, 0, 0}, {2, 1, -7}, 0, 2}, // z dominates: z on v, x on u
        {{0, 0, 0}, {1, 2, 7}, 1, 2},  // z dominates: z on v, y on u
        {{0, 0, 0}, {3, 3, 1}, 0, 2},  // x and y tie: the z branch, x on u
    };
    for (const Case& c : cases) {
        float a[3] = {c.a[0], c.a[1], c.a[2]}, b[3] = {c.b[0], c.b[1], c.b[2]};
        PPoint pa{}, pb{};
        pa.co = a;
        pb.co = b;
        PPoint* p1 = &pa;
        PPoint* p2 = &pb;
        unwrap_lscm_place_pins(nullptr, &p1, &p2);
        EXPECT_EQ(p1, &pa);
        EXPECT_EQ(p2, &pb);
        EXPECT_EQ(pa.uv[0], a[c.u]);
        EXPECT_EQ(pa.uv[1], a[c.v]);
        EXPECT_EQ(pb.uv[0], b[c.u]);
        EXPECT_EQ(pb.uv[1], b[c.v]);
    }
}

TEST(UnwrapLscm, OnePointAsBothPinsFallsBackToTheFirstTriangle) {
    TestMesh mesh = test_mesh_grid(2);
    PHandle* handle = test_mesh_build(mesh, false);
    PChart* chart = handle->charts[0];
    PPoint* p1 = chart->points;
    PPoint* p2 = chart->points;
    unwrap_lscm_place_pins(chart, &p1, &p2);
    EXPECT_EQ(p1, chart->triangles->edge->point);
    EXPECT_EQ(p2, chart->triangles->edge->nextInTri->point);
    EXPECT_EQ(p1->uv[0], 0.0f);
    EXPECT_EQ(p1->uv[1], 0.5f);
    EXPECT_EQ(p2->uv[0], 1.0f);
    EXPECT_EQ(p2->uv[1], 0.5f);
    unwrap_delete(handle);
}

TEST(UnwrapLscm, FailedSolveZeroesTheChart) {
    // Every corner at one spot: both automatic pins are one point, the pins fall back to the
    // first triangle, and the free corner's rows have only zero coefficients.
    TestMesh mesh;
    int a = mesh.addVertex(1, 2, 3), b = mesh.addVertex(1, 2, 3), c = mesh.addVertex(1, 2, 3);
    TestMesh::Face& f = mesh.addTriangle(a, b, c);
    for (int k = 0; k < 3; k++) {
        f.uv[k][0] = 0.3f;
        f.uv[k][1] = 0.7f;
    }
    PHandle* handle = test_mesh_build(mesh, false);
    unwrap_lscm_begin(handle, false, false);
    PChart* chart = handle->charts[0];
    ASSERT_NE(chart->u.lscm.context, nullptr);
    unwrap_lscm_solve(handle);
    EXPECT_EQ(chart->u.lscm.context, nullptr);
    for (PPoint* p = chart->points; p; p = p->next) {
        EXPECT_EQ(p->uv[0], 0.0f);
        EXPECT_EQ(p->uv[1], 0.0f);
    }
    unwrap_lscm_end(handle);
    unwrap_flush(handle);
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(mesh.faces[0].uv[k][0], 0.0f);
        EXPECT_EQ(mesh.faces[0].uv[k][1], 0.0f);
    }
    unwrap_delete(handle);
}

TEST(UnwrapLscm, TriangleWhoseSinesAreAllZeroUsesRatioOne) {
    // A flat triangle (a, b, d) and, next to it, a collinear one (b, a, c) with c = 2b - a: its
    // angles are pi, 0, 0, so the largest sine is 0 and the ratio of sines would be 0 / 0.
    TestMesh mesh;
    int a = mesh.addVertex(0, 0, 0), b = mesh.addVertex(1, 0, 0);
    int c = mesh.addVertex(2, 0, 0), d = mesh.addVertex(1, 1, 0);
    mesh.addTriangle(a, b, d);
    mesh.addTriangle(b, a, c);
    pin_vertex(mesh, a, 0.0f, 0.0f);
    pin_vertex(mesh, d, 1.0f, 1.0f);
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 1);
    PChart* chart = handle->charts[0];
    unwrap_lscm_begin(handle, false, false);
    unwrap_lscm_solve(handle);
    ASSERT_TRUE(chart_uvs_finite(chart));
    PPoint* pb = find_point(chart, mesh.positions[size_t(b)].data());
    PPoint* pc = find_point(chart, mesh.positions[size_t(c)].data());
    ASSERT_TRUE(pb && pc);
    EXPECT_NEAR(pb->uv[0], 1.0f, 1e-4f);
    EXPECT_NEAR(pb->uv[1], 0.0f, 1e-4f);
    // With ratio 1 the rows place c on the line through a and b, as far beyond b as a is.
    EXPECT_NEAR(pc->uv[0], 2.0f, 1e-4f);
    EXPECT_NEAR(pc->uv[1], 0.0f, 1e-4f);
    unwrap_lscm_end(handle);
    unwrap_delete(handle);
}

TEST(UnwrapLscm, LiveSolvesWithMovedPinsLandExactlyOnThePins) {
    TestMesh mesh = hemisphere(6, 16, true);
    const int pinA = 4, pinB = 12; // two rim points away from the seam
    pin_vertex(mesh, pinA, 0.125f, 0.25f);
    pin_vertex(mesh, pinB, 0.875f, 0.375f);
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 1);
    PChart* chart = handle->charts[0];
    unwrap_lscm_begin(handle, true, true);
    EXPECT_TRUE(chart->flags & PCHART_USER_PINNED);
    NLContext* context = chart->u.lscm.context;
    ASSERT_NE(context, nullptr);

    // Dyadic values: the mean of a pinned point's equal corner UVs is then exactly that value.
    const float moves[3][4] = {
        {0.125f, 0.25f, 0.875f, 0.375f}, {0.0f, 0.0f, 1.0f, 1.0f}, {-0.5f, 0.25f, 0.625f, -0.125f}};
    for (const auto& mv : moves) {
        pin_vertex(mesh, pinA, mv[0], mv[1]);
        pin_vertex(mesh, pinB, mv[2], mv[3]);
        unwrap_lscm_solve(handle);
        ASSERT_EQ(chart->u.lscm.context, context); // kept for the next solve
        unwrap_flush(handle);
        PPoint* a = find_point(chart, mesh.positions[pinA].data());
        PPoint* b = find_point(chart, mesh.positions[pinB].data());
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(a->uv[0], mv[0]);
        EXPECT_EQ(a->uv[1], mv[1]);
        EXPECT_EQ(b->uv[0], mv[2]);
        EXPECT_EQ(b->uv[1], mv[3]);
        EXPECT_EQ(measure_chart(chart).flipped, 0);

        // A fresh handle with the pins at the new places gives the same layout.
        TestMesh copy = mesh;
        PHandle* fresh = test_mesh_build(copy, false);
        unwrap_lscm_begin(fresh, true, true);
        unwrap_lscm_solve(fresh);
        float maxDiff = 0.0f;
        for (PPoint *p = chart->points, *q = fresh->charts[0]->points; p && q;
             p = p->next, q = q->next) {
            ASSERT_EQ(p->co - mesh.positions[0].data(), q->co - copy.positions[0].data());
            maxDiff = std::fmax(maxDiff, std::fabs(p->uv[0] - q->uv[0]));
            maxDiff = std::fmax(maxDiff, std::fabs(p->uv[1] - q->uv[1]));
        }
        EXPECT_LT(maxDiff, 1e-4f);
        unwrap_lscm_end(fresh);
        unwrap_delete(fresh);
    }
    unwrap_lscm_end(handle);
    EXPECT_EQ(chart->u.lscm.context, nullptr);
    unwrap_delete(handle);
}

TEST(UnwrapLscm, AbfThatDoesNotConvergeFallsBackToThe3DAngles) {
    TestMesh mesh = crumpled_grid();
    PHandle* withAbf = test_mesh_build(mesh, false);
    unwrap_lscm_begin(withAbf, false, true);
    EXPECT_EQ(unwrap_abf_last_steps(), 20);
    EXPECT_EQ(withAbf->charts[0]->u.lscm.abfAngles, nullptr);
    unwrap_lscm_solve(withAbf);

    TestMesh copy = crumpled_grid();
    PHandle* without = test_mesh_build(copy, false);
    unwrap_lscm_begin(without, false, false);
    unwrap_lscm_solve(without);
    for (PPoint *p = withAbf->charts[0]->points, *q = without->charts[0]->points; p || q;
         p = p->next, q = q->next) {
        ASSERT_TRUE(p && q);
        EXPECT_EQ(p->uv[0], q->uv[0]);
        EXPECT_EQ(p->uv[1], q->uv[1]);
    }
    unwrap_lscm_end(withAbf);
    unwrap_lscm_end(without);
    unwrap_delete(withAbf);
    unwrap_delete(without);
}

} // namespace

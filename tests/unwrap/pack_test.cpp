#include "flatten_test_util.h"
#include "support/guarded_alloc.h"
#include "unwrap/unwrap_geometry.h"
#include "unwrap/unwrap_lscm.h"
#include "unwrap/unwrap_pack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct Box {
    double lo[2] = {1e30, 1e30};
    double hi[2] = {-1e30, -1e30};
    double area() const { return (hi[0] - lo[0]) * (hi[1] - lo[1]); }
};

Box uv_box(const PChart* chart, bool boundaryOnly = false) {
    Box b;
    for (const PPoint* p = chart->points; p; p = p->next) {
        if (boundaryOnly && p->edge->pair)
            continue;
        for (int k = 0; k < 2; k++) {
            b.lo[k] = std::min(b.lo[k], double(p->uv[k]));
            b.hi[k] = std::max(b.hi[k], double(p->uv[k]));
        }
    }
    return b;
}

double overlap(const Box& a, const Box& b) {
    double w = std::min(a.hi[0], b.hi[0]) - std::max(a.lo[0], b.lo[0]);
    double h = std::min(a.hi[1], b.hi[1]) - std::max(a.lo[1], b.lo[1]);
    return (w > 0 && h > 0) ? w * h : 0.0;
}

void rotate_uvs(PChart* chart, double t) {
    for (PPoint* p = chart->points; p; p = p->next) {
        double u = p->uv[0], v = p->uv[1];
        p->uv[0] = float(u * std::cos(t) - v * std::sin(t));
        p->uv[1] = float(u * std::sin(t) + v * std::cos(t));
    }
}

// The smallest box area of the chart's boundary points over turns sampled finely.
double sampled_minimum_box(PChart* chart) {
    std::vector<std::pair<double, double>> pts;
    for (const PPoint* p = chart->points; p; p = p->next)
        if (!p->edge->pair)
            pts.push_back({p->uv[0], p->uv[1]});
    double best = 1e300;
    for (int i = 0; i < 20000; i++) {
        double t = 1.5707963267948966 * i / 20000;
        double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
        for (auto [u, v] : pts) {
            double r[2] = {u * std::cos(t) - v * std::sin(t), u * std::sin(t) + v * std::cos(t)};
            for (int k = 0; k < 2; k++) {
                lo[k] = std::min(lo[k], r[k]);
                hi[k] = std::max(hi[k], r[k]);
            }
        }
        best = std::min(best, (hi[0] - lo[0]) * (hi[1] - lo[1]));
    }
    return best;
}

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

// Appends b's vertices and faces to a, moved by offset so that the pieces stay apart.
void append(TestMesh& a, const TestMesh& b, float offset) {
    int base = int(a.positions.size());
    for (auto p : b.positions)
        a.positions.push_back({p[0] + offset, p[1], p[2]});
    for (TestMesh::Face f : b.faces) {
        for (int k = 0; k < f.n; k++)
            f.v[k] += base;
        a.faces.push_back(f);
    }
    for (auto [x, y] : b.seams)
        a.seams.push_back({x + base, y + base});
}

TEST(UnwrapPack, HullIsConvexClockwiseAndHoldsTheBoundary) {
    TestMesh mesh = flat_patch(7, 9);
    PHandle* handle = test_mesh_build(mesh, false);
    PChart* chart = handle->charts[0];
    for (PPoint* p = chart->points; p; p = p->next) {
        p->uv[0] = p->co[0] + 0.1f * p->co[1] * p->co[1];
        p->uv[1] = p->co[1];
    }
    int count = 0, right = 0;
    PPoint** hull = unwrap_chart_convex_hull(chart, &count, &right);
    ASSERT_NE(hull, nullptr);
    ASSERT_GE(count, 3);
    ASSERT_LT(right, count);
    for (PPoint* p = chart->points; p; p = p->next) {
        EXPECT_GE(p->uv[0], hull[0]->uv[0]);
        EXPECT_LE(p->uv[0], hull[right]->uv[0]);
    }
    for (int i = 0; i < count; i++) {
        const float* a = hull[i]->uv;
        const float* b = hull[(i + 1) % count]->uv;
        const float* c = hull[(i + 2) % count]->uv;
        double turn = (double(b[0]) - a[0]) * (double(c[1]) - a[1]) -
                      (double(b[1]) - a[1]) * (double(c[0]) - a[0]);
        EXPECT_LT(turn, 0.0) << "hull point " << i; // strictly clockwise
        for (PPoint* p = chart->points; p; p = p->next) {
            if (p->edge->pair)
                continue;
            double side = (double(b[0]) - a[0]) * (double(p->uv[1]) - a[1]) -
                          (double(b[1]) - a[1]) * (double(p->uv[0]) - a[0]);
            EXPECT_LE(side, 1e-4) << "boundary point outside hull edge " << i;
        }
    }
    mem_free(hull);
    unwrap_delete(handle);
}

TEST(UnwrapPack, MinimumAreaRotationFindsTheSmallestBox) {
    // Deformed, stretched and turned outlines; the rotated chart's box must be as small as the
    // finest sampled turn finds (rotating calipers are exact up to float error).
    for (int trial = 0; trial < 12; trial++) {
        TestMesh mesh = flat_patch(6, unsigned(trial + 1));
        PHandle* handle = test_mesh_build(mesh, false);
        PChart* chart = handle->charts[0];
        double sx = 1 + trial % 7, bend = 0.02 * (trial % 5), lift = 0.05 * (trial % 3);
        for (PPoint* p = chart->points; p; p = p->next) {
            p->uv[0] = float(p->co[0] * sx + bend * p->co[1] * p->co[1]);
            p->uv[1] = float(0.5 * p->co[1] + lift * p->co[0] * p->co[0]);
        }
        rotate_uvs(chart, 0.37 * trial + 0.2);
        double best = sampled_minimum_box(chart);
        double before = uv_box(chart, true).area();
        unwrap_chart_rotate_minimum_area(chart);
        double after = uv_box(chart, true).area();
        EXPECT_LE(after, best * 1.01) << "trial " << trial << " before " << before;
        unwrap_delete(handle);
    }
}

TEST(UnwrapPack, TurnedRectangleComesOutAxisAligned) {
    TestMesh mesh = test_mesh_grid(4);
    for (auto& p : mesh.positions)
        p[0] *= 3.0f;
    PHandle* handle = test_mesh_build(mesh, false);
    PChart* chart = handle->charts[0];
    for (PPoint* p = chart->points; p; p = p->next) {
        p->uv[0] = p->co[0];
        p->uv[1] = p->co[1];
    }
    rotate_uvs(chart, 0.5);
    float angle = unwrap_chart_minimum_area_angle(chart);
    EXPECT_GE(angle, -0.7853982f);
    EXPECT_LE(angle, 0.7853982f);
    unwrap_chart_rotate_minimum_area(chart);
    EXPECT_NEAR(uv_box(chart).area(), 12.0 * 4.0, 1e-3);
    unwrap_delete(handle);
}

TEST(UnwrapPack, NoChartsIsANoOp) {
    TestMesh mesh = test_mesh_cube(); // closed: no chart survives
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 0);
    unwrap_pack(handle);
    EXPECT_EQ(handle->ncharts, 0);
    unwrap_delete(handle);
}

TEST(UnwrapPack, SingleChartFillsTheSquareAlongItsLongerSideLessTheMargin) {
    TestMesh mesh = flat_patch(5, 21);
    for (auto& p : mesh.positions)
        p[1] *= 0.5f;
    PHandle* handle = test_mesh_build(mesh, false);
    unwrap_lscm_begin(handle, false, false);
    unwrap_lscm_solve(handle);
    unwrap_lscm_end(handle);
    unwrap_pack(handle);
    Box b = uv_box(handle->charts[0]);
    EXPECT_NEAR(b.lo[0], 0.0, 1e-6);
    EXPECT_NEAR(b.lo[1], 0.0, 1e-6);
    EXPECT_NEAR(std::max(b.hi[0], b.hi[1]), 1.0 / 1.01, 1e-4);
    EXPECT_LT(std::min(b.hi[0], b.hi[1]), 0.9);
    unwrap_delete(handle);
}

TEST(UnwrapPack, UserPinnedChartsCountInTheBisectionsUpperBound) {
    // Alone, a chart's side is both bounds of the bisection and no step runs. A user-pinned
    // sibling takes no place but doubles the upper bound, so 15 bisection steps run from
    // [side, 2 side] and stop one 2^15-th above the side.
    double extent[2];
    for (int withPinned = 0; withPinned < 2; withPinned++) {
        TestMesh mesh = flat_patch(5, 21);
        if (withPinned) {
            int base = int(mesh.positions.size());
            append(mesh, flat_patch(3, 5), 30.0f);
            pin_vertex(mesh, base, 0.25f, 0.25f);
            pin_vertex(mesh, base + 15, 0.75f, 0.5f);
        }
        PHandle* handle = test_mesh_build(mesh, false);
        ASSERT_EQ(handle->ncharts, 1 + withPinned);
        unwrap_lscm_begin(handle, false, false);
        unwrap_lscm_solve(handle);
        unwrap_lscm_end(handle);
        unwrap_pack(handle);
        for (int i = 0; i < handle->ncharts; i++) {
            if (handle->charts[i]->flags & PCHART_USER_PINNED)
                continue;
            Box b = uv_box(handle->charts[i]);
            extent[withPinned] = std::max(b.hi[0], b.hi[1]);
        }
        unwrap_delete(handle);
    }
    EXPECT_NEAR(extent[0] / extent[1], 1.0 + 1.0 / 32768.0, 3e-6);
}

TEST(UnwrapPack, ChartWithoutUvAreaCollapsesOntoItsPlace) {
    TestMesh mesh = flat_patch(3, 4);
    append(mesh, flat_patch(4, 5), 20.0f);
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 2);
    // Chart 0 as after a failed solve, chart 1 with its 3D layout.
    for (PPoint* p = handle->charts[0]->points; p; p = p->next)
        p->uv[0] = p->uv[1] = 0.0f;
    for (PPoint* p = handle->charts[1]->points; p; p = p->next) {
        p->uv[0] = p->co[0];
        p->uv[1] = p->co[1];
    }
    PChart* failed = handle->charts[0];
    unwrap_pack(handle);
    const float* first = failed->points->uv;
    for (PPoint* p = failed->points; p; p = p->next) {
        EXPECT_EQ(p->uv[0], first[0]);
        EXPECT_EQ(p->uv[1], first[1]);
    }
    EXPECT_EQ(failed->u.pack.scale, 0.0f);
    unwrap_delete(handle);
}

TEST(UnwrapPack, ChartFlattenedOntoALineCollapsesInsteadOfCrowdingTheOthers) {
    TestMesh mesh = flat_patch(3, 4);
    append(mesh, flat_patch(4, 5), 20.0f);
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 2);
    // Chart 0 as a solve that left it on a line, with rounding noise across it; chart 1 with
    // its 3D layout.
    int i = 0;
    for (PPoint* p = handle->charts[0]->points; p; p = p->next, i++) {
        p->uv[0] = p->co[0];
        p->uv[1] = (i % 2) ? 1e-7f : 0.0f;
    }
    for (PPoint* p = handle->charts[1]->points; p; p = p->next) {
        p->uv[0] = p->co[0];
        p->uv[1] = p->co[1];
    }
    PChart* line = handle->charts[0];
    PChart* good = handle->charts[1];
    unwrap_pack(handle);
    EXPECT_EQ(line->u.pack.scale, 0.0f);
    // The good chart keeps a share of the square set by the two charts' 3D areas.
    Box b = uv_box(good);
    EXPECT_GT(std::max(b.hi[0] - b.lo[0], b.hi[1] - b.lo[1]), 0.5);
    unwrap_delete(handle);
}

TEST(UnwrapPack, ChartWithNonFinitePositionsDoesNotDisturbTheOthers) {
    TestMesh mesh = flat_patch(4, 8);
    append(mesh, flat_patch(4, 9), 20.0f);
    mesh.positions[12][2] = std::nanf(""); // an inner point of the first patch
    PHandle* handle = test_mesh_build(mesh, false);
    ASSERT_EQ(handle->ncharts, 2);
    unwrap_lscm_begin(handle, false, true);
    unwrap_lscm_solve(handle);
    unwrap_lscm_end(handle);
    unwrap_pack(handle);
    int goodCharts = 0;
    for (int i = 0; i < handle->ncharts; i++) {
        PChart* chart = handle->charts[i];
        bool poisoned = false;
        for (PPoint* p = chart->points; p; p = p->next)
            poisoned = poisoned || !std::isfinite(p->co[2]);
        if (poisoned)
            continue;
        goodCharts++;
        Box b = uv_box(chart);
        EXPECT_TRUE(chart_uvs_finite(chart));
        EXPECT_GE(b.lo[0], 0.0);
        EXPECT_GE(b.lo[1], 0.0);
        EXPECT_LE(b.hi[0], 1.0);
        EXPECT_LE(b.hi[1], 1.0);
        EXPECT_GT(b.area(), 0.1);
    }
    EXPECT_EQ(goodCharts, 1);
    unwrap_delete(handle);
}

TEST(UnwrapPack, PackedChartsFitTheUnitSquareWithoutOverlapAndPinnedChartsStay) {
    TestMesh mesh;
    float offset = 0.0f;
    append(mesh, hemisphere(6, 16, true), offset += 10.0f);
    append(mesh, cut_cylinder(4, 12, 2.0f), offset += 10.0f);
    for (int i = 0; i < 6; i++) // patches of different sizes, two of them equal
        append(mesh, flat_patch(2 + (i % 3) * 2, unsigned(30 + (i % 3))), offset += 20.0f);
    int pinnedBase = int(mesh.positions.size());
    append(mesh, flat_patch(3, 77), offset += 20.0f);
    for (TestMesh::Face& f : mesh.faces)
        for (int k = 0; k < f.n; k++)
            if (f.v[k] == pinnedBase || f.v[k] == pinnedBase + 15) {
                f.pin[k] = 1;
                f.uv[k][0] = f.v[k] == pinnedBase ? 3.0f : 5.0f;
                f.uv[k][1] = 2.0f;
            }

    PHandle* handle = test_mesh_build(mesh, true);
    ASSERT_EQ(handle->ncharts, 9);
    unwrap_lscm_begin(handle, false, true);
    unwrap_lscm_solve(handle);
    unwrap_lscm_end(handle);

    PChart* pinned = nullptr;
    std::vector<float> pinnedUvs;
    for (int i = 0; i < handle->ncharts; i++) {
        if (handle->charts[i]->flags & PCHART_USER_PINNED) {
            ASSERT_EQ(pinned, nullptr);
            pinned = handle->charts[i];
        }
    }
    ASSERT_NE(pinned, nullptr);
    for (PPoint* p = pinned->points; p; p = p->next)
        pinnedUvs.insert(pinnedUvs.end(), {p->uv[0], p->uv[1]});

    unwrap_pack(handle);

    // Sorted by area, largest first.
    for (int i = 1; i < handle->ncharts; i++)
        EXPECT_GE(handle->charts[i - 1]->u.pack.area, handle->charts[i]->u.pack.area);

    size_t j = 0;
    for (PPoint* p = pinned->points; p; p = p->next, j += 2) {
        EXPECT_EQ(p->uv[0], pinnedUvs[j]);
        EXPECT_EQ(p->uv[1], pinnedUvs[j + 1]);
    }

    std::vector<Box> boxes;
    double used = 0.0, ratio = -1.0;
    for (int i = 0; i < handle->ncharts; i++) {
        PChart* chart = handle->charts[i];
        if (chart == pinned)
            continue;
        Box b = uv_box(chart);
        EXPECT_GE(b.lo[0], 0.0);
        EXPECT_GE(b.lo[1], 0.0);
        EXPECT_LE(b.hi[0], 1.0);
        EXPECT_LE(b.hi[1], 1.0);
        boxes.push_back(b);
        double uvArea = 0.0, area = 0.0;
        for (PTriangle* t = chart->triangles; t; t = t->next) {
            uvArea += std::fabs(uv_signed_area(t));
            const float* a = t->edge->point->co;
            const float* b2 = t->edge->nextInTri->point->co;
            const float* c = t->edge->nextInTri->nextInTri->point->co;
            double u[3], v[3];
            for (int k = 0; k < 3; k++) {
                u[k] = double(b2[k]) - a[k];
                v[k] = double(c[k]) - a[k];
            }
            double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                           u[0] * v[1] - u[1] * v[0]};
            area += 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        }
        used += uvArea;
        // One scale for all charts: UV area over 3D area is the same everywhere.
        if (ratio < 0)
            ratio = uvArea / area;
        EXPECT_NEAR(uvArea / area, ratio, ratio * 1e-3) << "chart " << i;
    }
    for (size_t a = 0; a < boxes.size(); a++)
        for (size_t b = a + 1; b < boxes.size(); b++)
            EXPECT_LE(overlap(boxes[a], boxes[b]), 1e-9) << "charts " << a << " and " << b;
    std::printf("[ pack ] %zu charts packed, utilisation %.1f %%\n", boxes.size(), 100.0 * used);
    EXPECT_GT(used, 0.2);
    unwrap_delete(handle);
}

} // namespace

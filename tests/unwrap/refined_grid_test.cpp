// Flat patches have one right answer: an exact similar copy of the patch, however large.

#include "Lscm/opennl_context.h"
#include "flatten_test_util.h"
#include "unwrap/unwrap_lscm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double corner_angle(const double* a, const double* b, const double* c, int dims) {
    double u[3] = {0, 0, 0}, v[3] = {0, 0, 0};
    for (int k = 0; k < dims; k++) {
        u[k] = b[k] - a[k];
        v[k] = c[k] - a[k];
    }
    double dot = u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
    double cx = u[1] * v[2] - u[2] * v[1], cy = u[2] * v[0] - u[0] * v[2],
           cz = u[0] * v[1] - u[1] * v[0];
    return std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), dot);
}

struct Similarity {
    double maxAngleErrorDegrees = 0;
    double maxStretchError = 0; // max |σ / s − 1| over triangles, s the layout's uniform scale
    int flippedOrDegenerate = 0;
};

// The singular values of the map from a triangle (p3, in 3D) to its layout (p2), in a form that
// stays accurate when they are nearly equal.
void singular_values(const double p3[3][3], const double p2[3][3], double* high, double* low) {
    // An orthonormal frame of the triangle's plane: e1 along the first edge.
    double a[3], b[3];
    for (int k = 0; k < 3; k++) {
        a[k] = p3[1][k] - p3[0][k];
        b[k] = p3[2][k] - p3[0][k];
    }
    const double la = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    const double bx = (a[0] * b[0] + a[1] * b[1] + a[2] * b[2]) / la;
    const double by = std::sqrt(std::max(0.0, b[0] * b[0] + b[1] * b[1] + b[2] * b[2] - bx * bx));
    // J maps the frame's (la, 0) and (bx, by) onto the layout's edge vectors.
    const double u1 = p2[1][0] - p2[0][0], v1 = p2[1][1] - p2[0][1];
    const double u2 = p2[2][0] - p2[0][0], v2 = p2[2][1] - p2[0][1];
    const double j11 = u1 / la, j21 = v1 / la;
    const double j12 = (u2 - j11 * bx) / by, j22 = (v2 - j21 * bx) / by;
    const double conformal = std::hypot(j11 + j22, j21 - j12) / 2;
    const double anti = std::hypot(j11 - j22, j21 + j12) / 2;
    *high = conformal + anti;
    *low = std::fabs(conformal - anti);
}

// Largest difference of a corner's UV angle from its 3D angle, the largest stretch away from
// the uniform scale, and triangles whose UV winding is against the majority or whose UV area is
// zero.
Similarity similarity(const PHandle* handle) {
    Similarity s;
    int positive = 0, negative = 0, zero = 0;
    double area3 = 0, area2 = 0;
    std::vector<double> high, low;
    for (int i = 0; i < handle->ncharts; i++)
        for (const PTriangle* t = handle->charts[i]->triangles; t; t = t->next) {
            const PHalfEdge* e = t->edge;
            double p3[3][3], p2[3][3] = {};
            for (int k = 0; k < 3; k++, e = e->nextInTri)
                for (int a = 0; a < 3; a++) {
                    p3[k][a] = e->point->co[a];
                    if (a < 2)
                        p2[k][a] = e->point->uv[a];
                }
            for (int k = 0; k < 3; k++) {
                int l = (k + 1) % 3, m = (k + 2) % 3;
                double error = std::fabs(corner_angle(p2[k], p2[l], p2[m], 2) -
                                         corner_angle(p3[k], p3[l], p3[m], 3));
                s.maxAngleErrorDegrees = std::max(s.maxAngleErrorDegrees, error * 180.0 / M_PI);
            }
            double area = uv_signed_area(t);
            (area > 0 ? positive : area < 0 ? negative : zero)++;
            double h = 0, l = 0;
            singular_values(p3, p2, &h, &l);
            high.push_back(h);
            low.push_back(l);
            area2 += std::fabs(area);
            const double c3[3] = {(p3[1][1] - p3[0][1]) * (p3[2][2] - p3[0][2]) -
                                      (p3[1][2] - p3[0][2]) * (p3[2][1] - p3[0][1]),
                                  (p3[1][2] - p3[0][2]) * (p3[2][0] - p3[0][0]) -
                                      (p3[1][0] - p3[0][0]) * (p3[2][2] - p3[0][2]),
                                  (p3[1][0] - p3[0][0]) * (p3[2][1] - p3[0][1]) -
                                      (p3[1][1] - p3[0][1]) * (p3[2][0] - p3[0][0])};
            area3 += 0.5 * std::sqrt(c3[0] * c3[0] + c3[1] * c3[1] + c3[2] * c3[2]);
        }
    s.flippedOrDegenerate = std::min(positive, negative) + zero;
    const double scale = std::sqrt(area2 / area3);
    for (size_t i = 0; i < high.size(); i++)
        s.maxStretchError = std::max(
            {s.maxStretchError, std::fabs(high[i] / scale - 1), std::fabs(low[i] / scale - 1)});
    return s;
}

struct GridCase {
    int side;
    bool tilted;
    bool useAbf;
    int rows = -1;          // a long strip of side x rows quads; square when -1
    bool irregular = false; // jittered points, varying diagonals (square only)
};

class RefinedGrid : public ::testing::TestWithParam<GridCase> {};

TEST_P(RefinedGrid, LayoutIsASimilarCopyOfTheGrid) {
    const GridCase& c = GetParam();
    // Jitter that cannot fold a triangle: a folded patch has no similar flat copy.
    TestMesh mesh = c.irregular ? flat_patch(c.side, 7, 0.4f) : test_mesh_grid(c.side, c.rows);
    if (c.tilted)
        rotate_and_tilt(mesh);
    PHandle* handle = test_mesh_build(mesh, true);
    ASSERT_EQ(handle->ncharts, 1);
    unwrap_lscm_begin(handle, false, c.useAbf);
    unwrap_lscm_solve(handle);
    unwrap_lscm_end(handle);
    Similarity s = similarity(handle);
    std::printf("[ grid ] %d x %d%s%s%s: max angle distortion %.2e degrees, max stretch error "
                "%.2e, %d flipped or degenerate\n",
                c.side, c.rows < 0 ? c.side : c.rows, c.irregular ? " irregular" : "",
                c.tilted ? " tilted" : "", c.useAbf ? " ABF" : "", s.maxAngleErrorDegrees,
                s.maxStretchError, s.flippedOrDegenerate);
    EXPECT_LT(s.maxAngleErrorDegrees, 0.01);
    EXPECT_LT(s.maxStretchError, 1e-4);
    EXPECT_EQ(s.flippedOrDegenerate, 0);
    unwrap_delete(handle);
}

INSTANTIATE_TEST_SUITE_P(FlatGrids, RefinedGrid,
                         ::testing::Values(GridCase{300, false, false}, GridCase{200, true, true},
                                           GridCase{40, true, false}, GridCase{40, false, true},
                                           GridCase{4000, false, false, 6},
                                           GridCase{250, true, false, -1, true},
                                           GridCase{120, false, true, -1, true}),
                         [](const auto& info) {
                             const GridCase& c = info.param;
                             std::string rows = c.rows < 0 ? "" : "By" + std::to_string(c.rows);
                             return std::to_string(c.side) + rows +
                                    (c.irregular ? "Irregular" : "") +
                                    (c.tilted ? "Tilted" : "Plain") + (c.useAbf ? "Abf" : "Lscm");
                         });

// Refining ABF's single-precision Newton solves changes small charts' layouts only by rounding.
TEST(RefinedSolve, SmallChartsAreUnchangedToRounding) {
    struct Chart {
        const char* name;
        TestMesh mesh;
    };
    Chart charts[] = {{"patch", flat_patch(12, 7)},
                      {"hemisphere", hemisphere(8, 16, true)},
                      {"sphere", open_sphere(10, 20, -1.0, true)},
                      {"cylinder", cut_cylinder(6, 24, 3.0f)}};
    for (Chart& chart : charts) {
        std::vector<float> uv[2];
        float extent = 0;
        for (bool refine : {false, true}) {
            const NLFactorOptions saved = nl_factor_options();
            nl_factor_options().refine = refine;
            PHandle* handle = test_mesh_build(chart.mesh, true);
            unwrap_lscm_begin(handle, false, true);
            unwrap_lscm_solve(handle);
            unwrap_lscm_end(handle);
            nl_factor_options() = saved;
            float lo = 1e30f, hi = -1e30f;
            ASSERT_EQ(handle->ncharts, 1) << chart.name;
            for (const PPoint* p = handle->charts[0]->points; p; p = p->next) {
                uv[refine].push_back(p->uv[0]);
                uv[refine].push_back(p->uv[1]);
                lo = std::min({lo, p->uv[0], p->uv[1]});
                hi = std::max({hi, p->uv[0], p->uv[1]});
            }
            extent = hi - lo;
            unwrap_delete(handle);
        }
        ASSERT_GT(uv[0].size(), 20u) << chart.name;
        // An unrefined solve of these charts is itself off by some thousand float steps.
        EXPECT_LT(aligned_difference(uv[0], uv[1]), 2e-4 * extent) << chart.name;
    }
}

} // namespace

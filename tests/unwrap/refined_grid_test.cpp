// Flat grids have one right answer: an exact similar copy of the grid. Large ones need solves
// refined beyond what single-precision factors give.

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
    int flippedOrDegenerate = 0;
};

// Largest difference of a corner's UV angle from its 3D angle, and triangles whose UV winding
// is against the majority or whose UV area is zero.
Similarity similarity(const PHandle* handle) {
    Similarity s;
    int positive = 0, negative = 0, zero = 0;
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
        }
    s.flippedOrDegenerate = std::min(positive, negative) + zero;
    return s;
}

struct GridCase {
    int side;
    bool tilted;
    bool useAbf;
    int rows = -1; // a long strip of side x rows quads; square when -1
};

class RefinedGrid : public ::testing::TestWithParam<GridCase> {};

TEST_P(RefinedGrid, LayoutIsASimilarCopyOfTheGrid) {
    const GridCase& c = GetParam();
    TestMesh mesh = test_mesh_grid(c.side, c.rows);
    if (c.tilted)
        rotate_and_tilt(mesh);
    PHandle* handle = test_mesh_build(mesh, true);
    ASSERT_EQ(handle->ncharts, 1);
    unwrap_lscm_begin(handle, false, c.useAbf);
    unwrap_lscm_solve(handle);
    unwrap_lscm_end(handle);
    Similarity s = similarity(handle);
    std::printf("[ grid ] %d x %d%s%s: max angle distortion %.2e degrees, %d flipped or "
                "degenerate\n",
                c.side, c.rows < 0 ? c.side : c.rows, c.tilted ? " tilted" : "",
                c.useAbf ? " ABF" : "", s.maxAngleErrorDegrees, s.flippedOrDegenerate);
    EXPECT_LT(s.maxAngleErrorDegrees, 0.1);
    EXPECT_EQ(s.flippedOrDegenerate, 0);
    unwrap_delete(handle);
}

INSTANTIATE_TEST_SUITE_P(FlatGrids, RefinedGrid,
                         ::testing::Values(GridCase{300, false, false}, GridCase{200, true, true},
                                           GridCase{40, true, false}, GridCase{40, false, true},
                                           GridCase{4000, false, false, 6}),
                         [](const auto& info) {
                             const GridCase& c = info.param;
                             std::string rows = c.rows < 0 ? "" : "By" + std::to_string(c.rows);
                             return std::to_string(c.side) + rows +
                                    (c.tilted ? "Tilted" : "Plain") + (c.useAbf ? "Abf" : "Lscm");
                         });

// Charts small enough for single-precision factors come out as before, to rounding.
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
        for (bool abf : {false, true}) {
            std::vector<float> uv[2];
            float extent = 0;
            for (bool refine : {false, true}) {
                const NLFactorOptions saved = nl_factor_options();
                nl_factor_options().refine = refine;
                PHandle* handle = test_mesh_build(chart.mesh, true);
                unwrap_lscm_begin(handle, false, abf);
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
            EXPECT_LT(aligned_difference(uv[0], uv[1]), 2e-4 * extent)
                << chart.name << (abf ? " with ABF" : "");
        }
    }
}

} // namespace

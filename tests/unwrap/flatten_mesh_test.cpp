#include "flatten_test_util.h"
#include "unwrap/unwrap_lscm.h"
#include "unwrap/unwrap_pack.h"
#include "unwrap/unwrap_validate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace {

struct PieceResult {
    int discs = 0;
    int flipped = 0;
    double error[2] = {0, 0}; // mean angle error over the disc charts: LSCM, ABF + LSCM
};

// Unwraps every chart of the piece with and without ABF; measures the disc-shaped charts (one
// boundary loop, Euler characteristic 1).
PieceResult unwrap_piece(TestMesh& piece) {
    PieceResult r;
    for (bool abf : {false, true}) {
        PHandle* handle = test_mesh_build(piece, false);
        unwrap_lscm_begin(handle, false, abf);
        unwrap_lscm_solve(handle);
        unwrap_lscm_end(handle);
        double sum = 0;
        int discs = 0;
        for (int i = 0; i < handle->ncharts; i++) {
            PChart* chart = handle->charts[i];
            EXPECT_TRUE(chart_uvs_finite(chart));
            UnwrapChartShape shape = unwrap_chart_shape(chart);
            if (shape.nloops != 1 || shape.euler != 1 || chart->ntriangles < 20)
                continue;
            LayoutMeasure m = measure_chart(chart);
            r.flipped += m.flipped;
            sum += m.meanAngleError * m.triangles;
            discs += m.triangles;
        }
        r.discs = discs;
        r.error[abf] = discs ? sum / discs : 0;
        unwrap_delete(handle);
    }
    return r;
}

class FlattenMeshes : public ::testing::TestWithParam<const char*> {};

TEST_P(FlattenMeshes, PiecesFlattenWithoutFlipsAndAbfLowersAngleDistortion) {
    TestMesh mesh = test_mesh_load_obj(mesh_path(GetParam()));
    ASSERT_GT(mesh.faces.size(), 100u);
    int nvertices = int(mesh.positions.size()) - 1;
    int measured = 0;
    for (int i = 0; i < 4; i++) {
        int centre = 1 + int((long(i) * 7919 + 13) % nvertices);
        TestMesh piece = mesh_ball_piece(mesh, centre, 0.12f);
        if (piece.faces.size() < 50)
            continue;
        PieceResult r = unwrap_piece(piece);
        if (r.discs == 0)
            continue;
        measured++;
        std::printf("[ flatten ] %s piece %d: %zu faces, %d triangles in disc charts, mean angle "
                    "error LSCM %.5f, ABF + LSCM %.5f\n",
                    GetParam(), i, piece.faces.size(), r.discs, r.error[0], r.error[1]);
        EXPECT_EQ(r.flipped, 0) << "piece " << i;
        EXPECT_LT(r.error[1], r.error[0]) << "piece " << i;
    }
    EXPECT_GE(measured, 2);
}

TEST_P(FlattenMeshes, WholeMeshPacksIntoTheUnitSquare) {
    TestMesh mesh = test_mesh_load_obj(mesh_path(GetParam()));
    // Seams along a few planes, so that even a closed mesh opens up.
    float lo = 1e30f, hi = -1e30f;
    for (size_t i = 1; i < mesh.positions.size(); i++) {
        lo = std::fmin(lo, mesh.positions[i][1]);
        hi = std::fmax(hi, mesh.positions[i][1]);
    }
    for (const TestMesh::Face& f : mesh.faces) {
        for (int k = 0; k < f.n; k++) {
            int a = f.v[k], b = f.v[(k + 1) % f.n];
            float ya = mesh.positions[size_t(a)][1], yb = mesh.positions[size_t(b)][1];
            for (int s = 1; s < 4; s++) {
                float cut = lo + (hi - lo) * float(s) / 4.0f;
                if ((ya < cut) != (yb < cut))
                    mesh.seams.push_back({a, b});
            }
        }
    }
    PHandle* handle = test_mesh_build(mesh, true);
    ASSERT_GT(handle->ncharts, 0);
    unwrap_lscm_begin(handle, false, true);
    unwrap_lscm_solve(handle);
    unwrap_lscm_end(handle);
    unwrap_pack(handle);
    int outside = 0;
    double used = 0;
    for (int i = 0; i < handle->ncharts; i++) {
        const PChart* chart = handle->charts[i];
        for (const PPoint* p = chart->points; p; p = p->next)
            if (!(p->uv[0] >= 0.0f && p->uv[0] <= 1.0f && p->uv[1] >= 0.0f && p->uv[1] <= 1.0f))
                outside++;
        for (const PTriangle* t = chart->triangles; t; t = t->next)
            used += std::fabs(uv_signed_area(t));
    }
    EXPECT_EQ(outside, 0);
    std::printf("[ flatten ] %s: %d charts, utilisation %.1f %%\n", GetParam(), handle->ncharts,
                100.0 * used);
    unwrap_delete(handle);
}

INSTANTIATE_TEST_SUITE_P(RealMeshes, FlattenMeshes,
                         ::testing::Values("bunny.obj", "dragon_res3.obj", "snowden.obj"));

} // namespace

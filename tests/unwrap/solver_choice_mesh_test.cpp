// Layouts of the real meshes, cut into discs as seamgen cuts them, under the solver layer's
// choices of ordering and refinement: a choice that only changes the rounding must give the
// same charts.

#include "Lscm/opennl_context.h"
#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "flatten_test_util.h"
#include "tools/seamgen/seam_cuts.h"
#include "unwrap/unwrap_lscm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// The mesh with seamgen's cuts: slabs along the longest axis, then every chart cut into a disc.
TestMesh disc_cut_mesh(const char* file, int slabs) {
    TestMesh mesh = test_mesh_load_obj(mesh_path(file));
    MeshDocument doc;
    ObjReader reader;
    EXPECT_TRUE(reader.read(doc, mesh_path(file).c_str())) << reader.error;
    // Seam pairs are 0-based vertex indices; the test mesh's vertex keys are OBJ's 1-based ones.
    for (auto [a, b] : seams_to_discs(doc, seams_along_slabs(doc, slabs)))
        mesh.seams.push_back({a + 1, b + 1});
    return mesh;
}

struct ChartLayout {
    std::vector<float> uv; // point UVs in point-list order
    float extent;          // the larger side of the chart's UV bounding box
    int flipped;
    int triangles;
};

// One-shot flattening (begin, solve with rotation, end) of every chart under the given choices.
std::vector<ChartLayout> flatten(TestMesh& mesh, bool useAbf, NLFactorOptions choice) {
    const NLFactorOptions saved = nl_factor_options();
    nl_factor_options() = choice;
    PHandle* handle = test_mesh_build(mesh, true);
    unwrap_lscm_begin(handle, false, useAbf);
    unwrap_lscm_solve(handle);
    unwrap_lscm_end(handle);
    nl_factor_options() = saved;
    std::vector<ChartLayout> charts;
    for (int i = 0; i < handle->ncharts; i++) {
        const PChart* chart = handle->charts[i];
        ChartLayout c{};
        float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
        for (const PPoint* p = chart->points; p; p = p->next) {
            for (int a = 0; a < 2; a++) {
                c.uv.push_back(p->uv[a]);
                lo[a] = std::min(lo[a], p->uv[a]);
                hi[a] = std::max(hi[a], p->uv[a]);
            }
        }
        c.extent = std::max(hi[0] - lo[0], hi[1] - lo[1]);
        LayoutMeasure m = measure_chart(chart);
        c.flipped = m.flipped;
        c.triangles = m.triangles;
        charts.push_back(c);
    }
    unwrap_delete(handle);
    return charts;
}

struct Comparison {
    double maxRelative = 0; // max over charts of max |Δuv| / chart extent
    int chartsApart = 0;    // charts whose difference exceeds 1e-3 of their extent
    int flippedReference = 0, flippedCandidate = 0;
    int chartsWithMoreFlips = 0;
};

Comparison compare(const std::vector<ChartLayout>& reference,
                   const std::vector<ChartLayout>& candidate) {
    Comparison c;
    EXPECT_EQ(reference.size(), candidate.size());
    for (size_t i = 0; i < std::min(reference.size(), candidate.size()); i++) {
        const ChartLayout &r = reference[i], &k = candidate[i];
        EXPECT_EQ(r.uv.size(), k.uv.size());
        if (r.extent > 0) {
            double d = aligned_difference(r.uv, k.uv) / r.extent;
            c.maxRelative = std::max(c.maxRelative, d);
            c.chartsApart += d > 1e-3 ? 1 : 0;
        }
        c.flippedReference += r.flipped;
        c.flippedCandidate += k.flipped;
        c.chartsWithMoreFlips += k.flipped > r.flipped ? 1 : 0;
    }
    return c;
}

constexpr NLFactorOptions kColumnOrdering = {NL_ORDERING_COLAMD, true, false};

struct MeshCase {
    const char* file;
    bool useAbf;
    // The scans hold a few charts whose normal equations are singular to working precision
    // (folded slivers): their answer depends on the order of elimination under any ordering.
    // The share of charts allowed to differ by more than 1e-3 of their size.
    double apartFraction;
};

class SolverChoices : public ::testing::TestWithParam<MeshCase> {};

TEST_P(SolverChoices, SymmetricOrderingGivesTheColumnOrderingsLayoutsToRounding) {
    TestMesh mesh = disc_cut_mesh(GetParam().file, 8);
    auto reference = flatten(mesh, GetParam().useAbf, kColumnOrdering);
    NLFactorOptions symmetric = kColumnOrdering;
    symmetric.square = NL_ORDERING_SYMMETRIC;
    auto candidate = flatten(mesh, GetParam().useAbf, symmetric);
    Comparison c = compare(reference, candidate);
    std::printf("[ ordering ] %s: %zu charts, max UV difference %.2e of the chart size, %d "
                "charts apart, flipped %d -> %d\n",
                GetParam().file, reference.size(), c.maxRelative, c.chartsApart, c.flippedReference,
                c.flippedCandidate);
    EXPECT_GT(reference.size(), 1u);
    EXPECT_LE(c.chartsApart, GetParam().apartFraction * double(reference.size()));
    EXPECT_LE(c.flippedCandidate, c.flippedReference);
}

INSTANTIATE_TEST_SUITE_P(RealMeshes, SolverChoices,
                         ::testing::Values(MeshCase{"bunny.obj", true, 0.0},
                                           MeshCase{"dragon_res3.obj", true, 0.01},
                                           MeshCase{"snowden.obj", true, 0.1}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             return name.substr(0, name.find('.'));
                         });

} // namespace

// Conformal-map systems of real meshes: the answer must satisfy the normal equations, and a kept
// factorisation must give what a fresh context gives.

#include "Lscm/opennl_context.h"

#include "nl_problem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>

namespace {

// The point farthest from point 0, so the two pins span the mesh.
unsigned farthest_from_first(const TriMesh& m) {
    unsigned best = 0;
    double best_d = -1.0;
    for (unsigned p = 0; p < m.points(); ++p) {
        double d = 0.0;
        for (int k = 0; k < 3; ++k)
            d += (m.xyz[3 * p + k] - m.xyz[k]) * (m.xyz[3 * p + k] - m.xyz[k]);
        if (d > best_d) {
            best_d = d;
            best = p;
        }
    }
    return best;
}

TriMesh edge_connected_patch(const TriMesh& full, unsigned seed, size_t count) {
    std::map<std::pair<unsigned, unsigned>, std::vector<unsigned>> by_edge;
    const unsigned triangles = unsigned(full.tri.size() / 3);
    for (unsigned t = 0; t < triangles; ++t)
        for (int k = 0; k < 3; ++k) {
            unsigned a = full.tri[3 * t + k], b = full.tri[3 * t + (k + 1) % 3];
            by_edge[{std::min(a, b), std::max(a, b)}].push_back(t);
        }
    std::vector<char> taken(triangles, 0);
    std::deque<unsigned> queue{seed};
    taken[seed] = 1;
    TriMesh patch;
    std::vector<int> remap(full.points(), -1);
    while (!queue.empty() && patch.tri.size() < 3 * count) {
        unsigned t = queue.front();
        queue.pop_front();
        for (int k = 0; k < 3; ++k) {
            unsigned p = full.tri[3 * t + k];
            if (remap[p] < 0) {
                remap[p] = int(patch.points());
                patch.xyz.insert(patch.xyz.end(), full.xyz.begin() + 3 * p,
                                 full.xyz.begin() + 3 * p + 3);
            }
            patch.tri.push_back(unsigned(remap[p]));
            unsigned a = p, b = full.tri[3 * t + (k + 1) % 3];
            for (unsigned u : by_edge[{std::min(a, b), std::max(a, b)}])
                if (!taken[u]) {
                    taken[u] = 1;
                    queue.push_back(u);
                }
        }
    }
    return patch;
}

TEST(ConformalMeshSystems, BunnySolutionSatisfiesTheNormalEquations) {
    TriMesh mesh = read_obj_triangles(std::string(MARROWBY_MESH_DIR) + "/bunny.obj");
    ASSERT_EQ(mesh.points(), 1839u);
    ASSERT_EQ(mesh.tri.size(), 3u * 3674u);
    LsProblem p = conformal_problem(mesh, 0, farthest_from_first(mesh));
    bool ok = false;
    NLContext* ctx = nl_run_least_squares(p, true, &ok);
    ASSERT_TRUE(ok);
    std::vector<float> got = nl_read_variables(p.variables);
    for (float v : got)
        ASSERT_TRUE(std::isfinite(v));
    EXPECT_LT(normal_equation_residual(p, got), 1e-3);
    // Starting values (all zero) would leave a large residual: the check has teeth.
    std::vector<float> start(p.variables, 0.0f);
    for (auto [v, value] : p.locked)
        start[v] = value;
    EXPECT_GT(normal_equation_residual(p, start), 1e-2);
    nl_delete_context(ctx);
}

TEST(ConformalMeshSystems, SnowdenPatchResolvedWithMovedPinsMatchesAFreshContext) {
    // 3000 edge-connected triangles of the scan, grown from its first triangle.
    TriMesh full = read_obj_triangles(std::string(MARROWBY_MESH_DIR) + "/snowden.obj");
    ASSERT_EQ(full.points(), 54559u);
    TriMesh mesh = edge_connected_patch(full, 0, 3000);
    ASSERT_EQ(mesh.tri.size(), 3u * 3000u);
    const unsigned a = 0, b = farthest_from_first(mesh);
    LsProblem first = conformal_problem(mesh, a, b);
    LsProblem moved = first;
    moved.locked[2 * b] *= 1.5f;
    moved.locked[2 * b + 1] += 0.1f;

    bool ok = false;
    NLContext* kept = nl_run_least_squares(first, true, &ok);
    ASSERT_TRUE(ok);
    const long factorizations = nl_factorizations();
    nl_state_least_squares(moved);
    ASSERT_TRUE(nl_solve_reusing(true));
    EXPECT_EQ(nl_factorizations(), factorizations);
    std::vector<float> reused = nl_read_variables(moved.variables);
    EXPECT_LT(normal_equation_residual(moved, reused), 1e-3);

    NLContext* fresh = nl_run_least_squares(moved, true, &ok);
    ASSERT_TRUE(ok);
    std::vector<float> direct = nl_read_variables(moved.variables);
    double scale = 0.0, worst = 0.0;
    for (size_t i = 0; i < direct.size(); ++i) {
        scale = std::max(scale, std::fabs(double(direct[i])));
        worst = std::max(worst, std::fabs(double(reused[i]) - double(direct[i])));
    }
    EXPECT_LT(worst, 1e-4 * scale);
    nl_delete_context(fresh);
    nl_delete_context(kept);
}

} // namespace

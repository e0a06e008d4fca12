// Conformal-map systems of real meshes: the answer must satisfy the normal equations, equal an
// independent sparse LU solve of them, and a kept factorisation must give what a fresh context
// gives.

#include "Lscm/opennl_context.h"

#include "nl_problem.h"

#include <Eigen/SparseLU>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
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

// The normal equations assembled from the rows by triplets and solved by Eigen's sparse LU under
// a column ordering: another assembly, ordering and factorisation than the layer's.
std::vector<double> sparse_lu_least_squares(const LsProblem& p) {
    std::vector<int> column(p.variables, -1);
    int n = 0;
    for (unsigned v = 0; v < p.variables; ++v)
        if (!p.locked.count(v))
            column[v] = n++;
    std::vector<Eigen::Triplet<double>> entries;
    Eigen::VectorXd b = Eigen::VectorXd::Zero(n);
    for (const NlRow& row : p.rows) {
        double locked = 0.0;
        for (const NlTerm& t : row)
            if (column[t.variable] < 0)
                locked += double(t.coefficient) * double(p.locked.at(t.variable));
        for (const NlTerm& a : row) {
            if (column[a.variable] < 0)
                continue;
            b[column[a.variable]] -= double(a.coefficient) * locked;
            for (const NlTerm& c : row)
                if (column[c.variable] >= 0)
                    entries.emplace_back(column[a.variable], column[c.variable],
                                         double(a.coefficient) * double(c.coefficient));
        }
    }
    Eigen::SparseMatrix<double> N(n, n);
    N.setFromTriplets(entries.begin(), entries.end());
    Eigen::SparseLU<Eigen::SparseMatrix<double>, Eigen::COLAMDOrdering<int>> lu(N);
    EXPECT_EQ(lu.info(), Eigen::Success);
    Eigen::VectorXd x = lu.solve(b);
    std::vector<double> all(p.variables);
    for (unsigned v = 0; v < p.variables; ++v)
        all[v] = column[v] < 0 ? double(p.locked.at(v)) : x[column[v]];
    return all;
}

// Whole meshes and patches, pinned at two far points: the layer's answer equals the reference to
// a few float steps of the layout's size.
TEST(ConformalMeshSystems, RealMeshLayoutsEqualAnIndependentSparseSolve) {
    struct Case {
        const char* file;
        size_t triangles; // an edge-connected patch of this many, or 0 for the whole mesh
    };
    for (const Case& c :
         {Case{"bunny.obj", 0}, Case{"snowden.obj", 20000}, Case{"dragon_res3.obj", 15000}}) {
        TriMesh full = read_obj_triangles(std::string(MARROWBY_MESH_DIR) + "/" + c.file);
        ASSERT_GT(full.points(), 0u) << c.file;
        TriMesh mesh = c.triangles == 0 ? full : edge_connected_patch(full, 0, c.triangles);
        LsProblem p = conformal_problem(mesh, 0, farthest_from_first(mesh));
        const std::vector<double> want = sparse_lu_least_squares(p);
        bool ok = false;
        NLContext* ctx = nl_run_least_squares(p, true, &ok);
        ASSERT_TRUE(ok) << c.file;
        const std::vector<float> got = nl_read_variables(p.variables);
        double lo = 1e30, hi = -1e30, worst = 0.0;
        for (size_t i = 0; i < want.size(); ++i) {
            lo = std::min(lo, want[i]);
            hi = std::max(hi, want[i]);
            worst = std::max(worst, std::fabs(double(got[i]) - want[i]));
        }
        std::printf("[ reference ] %s, %zu triangles: largest difference %.2e of the size\n",
                    c.file, mesh.tri.size() / 3, worst / (hi - lo));
        EXPECT_LT(worst, 1e-5 * (hi - lo)) << c.file;
        nl_delete_context(ctx);
    }
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

#include "Lscm/opennl.h"
#include "flatten_test_util.h"
#include "support/guarded_alloc.h"
#include "unwrap/unwrap_abf.h"
#include "unwrap/unwrap_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
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

// The same Newton iteration without the elimination: each step solves the full system (angles,
// triangle, planarity and length multipliers together, dense, in double precision) from the same
// clamped and rescaled start, and stops by the same rule (squared gradient norm below the
// tolerance). In exact arithmetic its steps are those of the eliminated form. Uses the chart's ABF
// numbering; returns the angles and counts the steps.
std::vector<double> reference_abf(const PChart* chart, double tolerance, int* steps) {
    int nf = chart->ntriangles, na = 3 * nf, ni = 0;
    for (const PPoint* p = chart->points; p; p = p->next)
        if (p->flags & PPOINT_INTERIOR)
            ni = std::max(ni, p->key + 1);
    std::vector<double> alpha, beta(static_cast<size_t>(na)), w(static_cast<size_t>(na));
    for (const PTriangle* t = chart->triangles; t; t = t->next) {
        float a[3];
        unwrap_triangle_angles(t, &a[0], &a[1], &a[2]);
        const PHalfEdge* e = t->edge;
        for (int k = 0; k < 3; k++, e = e->nextInTri) {
            double x = std::fmin(std::fmax(double(a[k]), double(MIN_ANGLE)), double(MAX_ANGLE));
            beta[size_t(e->key)] = x;
            w[size_t(e->key)] = 2.0 / (x * x);
        }
    }
    std::vector<std::vector<const PHalfEdge*>> fans(static_cast<size_t>(ni));
    for (const PPoint* p = chart->points; p; p = p->next) {
        if (!(p->flags & PPOINT_INTERIOR))
            continue;
        PHalfEdge* e = p->edge;
        do {
            fans[size_t(p->key)].push_back(e);
            e = unwrap_edge_next_around(e);
        } while (e && e != p->edge);
        double sum = 0;
        for (const PHalfEdge* f : fans[size_t(p->key)])
            sum += beta[size_t(f->key)];
        for (const PHalfEdge* f : fans[size_t(p->key)])
            beta[size_t(f->key)] *= 2 * M_PI / sum;
    }
    alpha = beta;
    std::vector<double> lambda(static_cast<size_t>(nf + 2 * ni), 0.0);
    for (int i = 0; i < ni; i++)
        lambda[size_t(nf + ni + i)] = 1.0;

    int n = na + nf + 2 * ni;
    *steps = 0;
    for (int iter = 0; iter < 20; iter++) {
        // Constraint values and their gradients (rows) with respect to the angles.
        std::vector<double> c(static_cast<size_t>(nf + 2 * ni), 0.0);
        std::vector<std::vector<std::pair<int, double>>> J(static_cast<size_t>(nf + 2 * ni));
        for (const PTriangle* t = chart->triangles; t; t = t->next) {
            const PHalfEdge* e = t->edge;
            for (int k = 0; k < 3; k++, e = e->nextInTri) {
                c[size_t(t->key)] += alpha[size_t(e->key)];
                J[size_t(t->key)].push_back({e->key, 1.0});
            }
            c[size_t(t->key)] -= M_PI;
        }
        for (int v = 0; v < ni; v++) {
            double p1 = 1, p2 = 1;
            for (const PHalfEdge* f : fans[size_t(v)]) {
                c[size_t(nf + v)] += alpha[size_t(f->key)];
                J[size_t(nf + v)].push_back({f->key, 1.0});
                p1 *= std::sin(alpha[size_t(f->nextInTri->key)]);
                p2 *= std::sin(alpha[size_t(f->nextInTri->nextInTri->key)]);
            }
            c[size_t(nf + v)] -= 2 * M_PI;
            c[size_t(nf + ni + v)] = p1 - p2;
            for (const PHalfEdge* f : fans[size_t(v)]) {
                int a1 = f->nextInTri->key, a2 = f->nextInTri->nextInTri->key;
                J[size_t(nf + ni + v)].push_back(
                    {a1, p1 / std::sin(alpha[size_t(a1)]) * std::cos(alpha[size_t(a1)])});
                J[size_t(nf + ni + v)].push_back(
                    {a2, -p2 / std::sin(alpha[size_t(a2)]) * std::cos(alpha[size_t(a2)])});
            }
        }
        std::vector<double> K(static_cast<size_t>(n) * static_cast<size_t>(n), 0.0);
        std::vector<double> rhs(static_cast<size_t>(n), 0.0);
        auto at = [&](int r, int col) -> double& { return K[size_t(r) * size_t(n) + size_t(col)]; };
        double norm = 0;
        for (int a = 0; a < na; a++) {
            at(a, a) = w[size_t(a)];
            rhs[size_t(a)] = -w[size_t(a)] * (alpha[size_t(a)] - beta[size_t(a)]);
        }
        for (int r = 0; r < nf + 2 * ni; r++) {
            for (auto [a, d] : J[size_t(r)]) {
                at(a, na + r) += d;
                at(na + r, a) += d;
                rhs[size_t(a)] -= d * lambda[size_t(r)];
            }
            rhs[size_t(na + r)] = -c[size_t(r)];
        }
        for (double x : rhs)
            norm += x * x;
        if (norm < tolerance)
            break;
        ++*steps;
        // Dense Gaussian elimination with partial pivoting.
        for (int col = 0; col < n; col++) {
            int piv = col;
            for (int r = col + 1; r < n; r++)
                if (std::fabs(at(r, col)) > std::fabs(at(piv, col)))
                    piv = r;
            for (int k = 0; k < n; k++)
                std::swap(at(col, k), at(piv, k));
            std::swap(rhs[size_t(col)], rhs[size_t(piv)]);
            for (int r = col + 1; r < n; r++) {
                double f = at(r, col) / at(col, col);
                if (f == 0)
                    continue;
                for (int k = col; k < n; k++)
                    at(r, k) -= f * at(col, k);
                rhs[size_t(r)] -= f * rhs[size_t(col)];
            }
        }
        std::vector<double> x(static_cast<size_t>(n));
        for (int r = n - 1; r >= 0; r--) {
            double sum = rhs[size_t(r)];
            for (int k = r + 1; k < n; k++)
                sum -= at(r, k) * x[size_t(k)];
            x[size_t(r)] = sum / at(r, r);
        }
        for (int a = 0; a < na; a++)
            alpha[size_t(a)] += x[size_t(a)];
        for (int r = 0; r < nf + 2 * ni; r++)
            lambda[size_t(r)] += x[size_t(na + r)];
    }
    return alpha;
}

TEST(UnwrapAbf, EliminatedNewtonStepsReachTheSameAnglesAsTheFullSystem) {
    struct Case {
        const char* name;
        TestMesh mesh;
    };
    Case cases[] = {
        {"small hemisphere", hemisphere(3, 10, false)},
        {"small cut cylinder", cut_cylinder(3, 10, 1.5f)},
        {"crumpled cone", open_sphere(3, 7, -0.6, true)},
    };
    for (Case& c : cases) {
        PHandle* handle = test_mesh_build(c.mesh, false);
        PChart* chart = only_chart(handle);
        ASSERT_LE(chart->ntriangles, 100) << c.name; // the tight tolerance applies
        ASSERT_TRUE(unwrap_abf_chart(chart)) << c.name;
        int steps = 0;
        std::vector<double> expected = reference_abf(chart, 0.001, &steps);
        EXPECT_EQ(unwrap_abf_last_steps(), steps) << c.name;
        double maxDiff = 0;
        for (size_t i = 0; i < expected.size(); i++)
            maxDiff =
                std::max(maxDiff, std::fabs(double(chart->u.lscm.abfAngles[i]) - expected[i]));
        std::printf("[ abf ] %s: %d triangles, %d Newton steps, largest difference to the full "
                    "system %.2g\n",
                    c.name, chart->ntriangles, unwrap_abf_last_steps(), maxDiff);
        EXPECT_LT(maxDiff, 1e-5) << c.name;
        mem_free(chart->u.lscm.abfAngles);
        unwrap_delete(handle);
    }
}

} // namespace

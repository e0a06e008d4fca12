// Solves checked against independent dense double-precision answers.

#include "Lscm/opennl_context.h"

#include "nl_problem.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Answers are kept in single precision: relative agreement to a few float steps at best.
void expect_close(const std::vector<float>& got, const std::vector<double>& want, double tol) {
    ASSERT_EQ(got.size(), want.size());
    double scale = 1.0;
    for (double w : want)
        scale = std::max(scale, std::fabs(w));
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_NEAR(got[i], want[i], tol * scale) << "variable " << i;
}

LsProblem random_problem(uint32_t seed, unsigned variables, unsigned rows, unsigned terms,
                         unsigned locked) {
    TestRandom rng{seed};
    LsProblem p;
    p.variables = variables;
    for (unsigned k = 0; k < locked; ++k)
        p.locked[(k * 7 + seed) % variables] = 3.0f * rng.next();
    // A diagonal-ish part keeps every free column present and the system well posed.
    for (unsigned v = 0; v < variables; ++v)
        p.rows.push_back({{v, 1.0f + 0.25f * rng.next()}, {(v + 1) % variables, rng.next()}});
    for (unsigned r = 0; r < rows; ++r) {
        NlRow row;
        for (unsigned t = 0; t < terms; ++t) {
            unsigned v = unsigned((rng.next() + 1.0f) * 0.5f * float(variables)) % variables;
            row.push_back({v, rng.next()});
        }
        p.rows.push_back(row);
    }
    return p;
}

TEST(LeastSquaresSolve, RandomOverdeterminedSystemsMatchDenseNormalEquations) {
    for (uint32_t seed : {1u, 2u, 3u, 17u, 99u}) {
        LsProblem p = random_problem(seed, 24, 40, 4, 3);
        std::vector<double> want = dense_least_squares(p);
        ASSERT_FALSE(want.empty());
        bool ok = false;
        NLContext* ctx = nl_run_least_squares(p, false, &ok);
        ASSERT_TRUE(ok) << "seed " << seed;
        expect_close(nl_read_variables(p.variables), want, 1e-6);
        nl_delete_context(ctx);
    }
}

TEST(LeastSquaresSolve, ConformalGridMatchesDenseNormalEquations) {
    TriMesh mesh = grid_mesh(6, 5);
    LsProblem p = conformal_problem(mesh, 0, mesh.points() - 1);
    std::vector<double> want = dense_least_squares(p);
    ASSERT_FALSE(want.empty());
    bool ok = false;
    NLContext* ctx = nl_run_least_squares(p, true, &ok);
    ASSERT_TRUE(ok);
    std::vector<float> got = nl_read_variables(p.variables);
    expect_close(got, want, 1e-6);
    // Locked variables come back exactly as set.
    for (auto [v, value] : p.locked)
        EXPECT_EQ(got[v], value);
    nl_delete_context(ctx);
}

// A conformal map's rows pair up into complex rows and are factorised as the complex system of
// half the size; one row off that shape, or a lone locked u, keeps the real factorisation. Both
// must give the dense answer.
TEST(LeastSquaresSolve, ComplexAndRealFactorisationsGiveTheDenseAnswer) {
    TriMesh mesh = grid_mesh(7, 6);
    const unsigned b = mesh.points() - 1;
    struct Case {
        const char* name;
        LsProblem problem;
        bool complex;
    };
    Case cases[] = {{"conformal", conformal_problem(mesh, 0, b), true},
                    {"one row changed", conformal_problem(mesh, 0, b), false},
                    {"lone locked u", conformal_problem(mesh, 0, b), false}};
    cases[1].problem.rows[5][0].coefficient += 0.25f;
    cases[2].problem.locked[2 * 3] = 0.5f;
    for (Case& c : cases) {
        std::vector<double> want = dense_least_squares(c.problem);
        ASSERT_FALSE(want.empty()) << c.name;
        bool ok = false;
        NLContext* ctx = nl_run_least_squares(c.problem, true, &ok);
        ASSERT_TRUE(ok) << c.name;
        EXPECT_EQ(nl_cholesky_is_complex(ctx->cholesky), c.complex) << c.name;
        expect_close(nl_read_variables(c.problem.variables), want, 1e-6);
        nl_delete_context(ctx);
    }
}

TEST(LeastSquaresSolve, ConsistentSystemIsSolvedExactly) {
    // x_i − x_{i+1} + 1 = 0, x_0 locked at 0 and the constant 1 held by locked variable 8: x_i = i.
    LsProblem p;
    p.variables = 9;
    p.locked[0] = 0.0f;
    p.locked[8] = 1.0f;
    for (unsigned i = 0; i + 1 < 8; ++i)
        p.rows.push_back({{i, 1.0f}, {i + 1, -1.0f}, {8, 1.0f}});
    bool ok = false;
    NLContext* ctx = nl_run_least_squares(p, false, &ok);
    ASSERT_TRUE(ok);
    for (unsigned i = 0; i < 8; ++i)
        EXPECT_NEAR(nl_get_variable(i), float(i), 1e-4f);
    nl_delete_context(ctx);
}

TEST(KeptFactorization, ResolveWithNewLockedValuesEqualsAFreshContext) {
    TriMesh mesh = grid_mesh(9, 7);
    const unsigned a = 0, b = mesh.points() - 1;
    LsProblem first = conformal_problem(mesh, a, b);
    LsProblem moved = first;
    moved.locked[2 * b] += 0.75f;
    moved.locked[2 * b + 1] -= 0.4f;
    moved.locked[2 * a] -= 0.2f;

    const long before = nl_factorizations();
    bool ok = false;
    NLContext* kept = nl_run_least_squares(first, true, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(nl_factorizations(), before + 1);
    EXPECT_EQ(kept->state, 7);
    EXPECT_NE(kept->cholesky, nullptr);

    // Live re-solve: same rows, new locked values only.
    nl_make_current(kept);
    nl_begin(NL_BLOCK_SYSTEM);
    for (auto [v, value] : moved.locked)
        nl_set_variable(v, value);
    nl_begin(NL_BLOCK_MATRIX);
    for (const NlRow& row : moved.rows)
        nl_state_row(row);
    nl_end(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_SYSTEM);
    ASSERT_TRUE(nl_solve_reusing(true));
    EXPECT_EQ(nl_factorizations(), before + 1) << "re-solve must not factorise again";
    std::vector<float> reused = nl_read_variables(moved.variables);

    NLContext* fresh = nl_run_least_squares(moved, true, &ok);
    ASSERT_TRUE(ok);
    std::vector<float> direct = nl_read_variables(moved.variables);
    std::vector<double> want = dense_least_squares(moved);
    for (size_t i = 0; i < direct.size(); ++i) {
        EXPECT_NEAR(reused[i], direct[i], 1e-6f) << "variable " << i;
        EXPECT_NEAR(reused[i], want[i], 1e-5) << "variable " << i;
    }
    EXPECT_EQ(reused[2 * b], moved.locked[2 * b]);
    nl_delete_context(fresh);
    nl_delete_context(kept);
}

// A live step restates only the rows with locked terms and passes over the others; that must give
// the same bits as restating every row, step after step (combined answers included).
TEST(KeptFactorization, SkippingRowsWithoutLockedTermsGivesTheSameAnswers) {
    TriMesh mesh = grid_mesh(12, 9);
    const unsigned a = 0, b = mesh.points() - 1;
    LsProblem problem = conformal_problem(mesh, a, b);
    auto has_locked = [&](const NlRow& row) {
        for (const NlTerm& t : row)
            if (problem.locked.count(t.variable))
                return true;
        return false;
    };
    auto restate = [&](bool skip) {
        nl_begin(NL_BLOCK_SYSTEM);
        for (auto [v, value] : problem.locked)
            nl_set_variable(v, value);
        nl_begin(NL_BLOCK_MATRIX);
        EXPECT_TRUE(nl_restating_kept_rows());
        unsigned skipped = 0;
        for (const NlRow& row : problem.rows) {
            if (skip && !has_locked(row)) {
                ++skipped;
                continue;
            }
            nl_skip_free_rows(skipped);
            skipped = 0;
            nl_state_row(row);
        }
        nl_skip_free_rows(skipped);
        nl_end(NL_BLOCK_MATRIX);
        nl_end(NL_BLOCK_SYSTEM);
        EXPECT_TRUE(nl_solve_reusing(true));
        return nl_read_variables(problem.variables);
    };

    bool ok = false;
    NLContext* all = nl_run_least_squares(problem, true, &ok);
    ASSERT_TRUE(ok);
    NLContext* some = nl_run_least_squares(problem, true, &ok);
    ASSERT_TRUE(ok);
    // A drag one way (combined after two steps), then a turn off it (solved directly).
    const float steps[][2] = {{0.1f, 0.0f}, {0.2f, 0.05f}, {0.3f, 0.1f},  {0.4f, 0.15f},
                              {0.4f, 0.9f}, {-0.3f, 0.2f}, {-0.2f, 0.25f}};
    const float bu = problem.locked[2 * b], bv = problem.locked[2 * b + 1];
    for (const auto& step : steps) {
        problem.locked[2 * b] = bu + step[0];
        problem.locked[2 * b + 1] = bv + step[1];
        nl_make_current(all);
        const std::vector<float> want = restate(false);
        nl_make_current(some);
        EXPECT_EQ(restate(true), want) << "step " << step[0] << ", " << step[1];
    }
    nl_delete_context(all);
    nl_delete_context(some);
}

TEST(KeptFactorization, WithoutKeepTheNextSystemIsNotReused) {
    LsProblem p = random_problem(5, 10, 12, 3, 2);
    bool ok = false;
    NLContext* ctx = nl_run_least_squares(p, false, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ctx->state, 7);
    EXPECT_FALSE(ctx->reuse_factorization);
    nl_delete_context(ctx);
}

// A nonsymmetric square matrix tells M from Mᵀ apart: both solve paths must give M x = b.
struct SquareCase {
    std::vector<std::vector<double>> A;
    std::vector<double> b;
};

SquareCase nonsymmetric_case(uint32_t seed, unsigned n) {
    TestRandom rng{seed};
    SquareCase c;
    c.A.assign(n, std::vector<double>(n, 0.0));
    c.b.resize(n);
    for (unsigned i = 0; i < n; ++i) {
        c.A[i][i] = 4.0 + rng.next();
        c.A[i][(i + 1) % n] = 2.0 * rng.next();
        c.A[i][(i * 3 + 2) % n] += rng.next();
        c.b[i] = 5.0 * rng.next();
    }
    return c;
}

void state_square(const SquareCase& c) {
    const unsigned n = unsigned(c.b.size());
    nl_new_context();
    nl_set_parameter(NL_PARAM_VARIABLE_COUNT, int(n));
    nl_begin(NL_BLOCK_SYSTEM);
    nl_begin(NL_BLOCK_MATRIX);
    for (unsigned i = 0; i < n; ++i) {
        nl_right_hand_side_add(i, float(c.b[i]));
        for (unsigned j = 0; j < n; ++j)
            if (c.A[i][j] != 0.0)
                nl_matrix_add(i, j, float(c.A[i][j]));
    }
    nl_end(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_SYSTEM);
}

TEST(SquareSolve, OneShotSolvesTheNonsymmetricSystemNotItsTranspose) {
    SquareCase c = nonsymmetric_case(11, 15);
    std::vector<double> want = dense_solve(c.A, c.b);
    ASSERT_FALSE(want.empty());
    state_square(c);
    NLContext* ctx = nl_current_context();
    ASSERT_TRUE(nl_solve());
    EXPECT_EQ(ctx->state, 6);
    expect_close(nl_read_variables(15), want, 1e-4);
    nl_delete_context(ctx);
}

TEST(SquareSolve, KeptFactorizationSolvesTheNonsymmetricSystemNotItsTranspose) {
    SquareCase c = nonsymmetric_case(12, 15);
    std::vector<double> want = dense_solve(c.A, c.b);
    ASSERT_FALSE(want.empty());
    state_square(c);
    NLContext* ctx = nl_current_context();
    ASSERT_TRUE(nl_solve_reusing(false));
    expect_close(nl_read_variables(15), want, 1e-4);
    nl_delete_context(ctx);
}

// Systems with the same entries share one ordering (ABF's Newton steps): their answers must be
// those of orderings computed afresh, bit for bit, under both orderings, and a kept ordering of
// another size must be left alone.
TEST(SquareSolve, SharedOrderingGivesTheAnswersOfFreshOnes) {
    const NLFactorOptions saved = nl_factor_options();
    for (NLOrdering ordering : {NL_ORDERING_COLAMD, NL_ORDERING_SYMMETRIC}) {
        nl_factor_options().square = ordering;
        NLKeptOrdering kept;
        for (auto [seed, n] : {std::pair{21u, 300u}, {22u, 300u}, {23u, 300u}, {24u, 40u}}) {
            SquareCase c = nonsymmetric_case(seed, n);
            state_square(c);
            ASSERT_TRUE(nl_solve());
            const std::vector<float> fresh = nl_read_variables(n);
            nl_delete_context(nl_current_context());

            state_square(c);
            nl_share_ordering(&kept);
            ASSERT_TRUE(nl_solve());
            EXPECT_EQ(nl_read_variables(n), fresh) << "seed " << seed << ", ordering " << ordering;
            nl_delete_context(nl_current_context());
            EXPECT_EQ(kept.n, 300u);
        }
        nl_release_ordering(&kept);
    }
    nl_factor_options() = saved;
}

TEST(SquareSolve, RowsOfCoefficientsFormTheSquareSystem) {
    // 2a + b = 5, a − 3b + 2×(locked c = 2) = 0  →  a − 3b = −4: a = 11/7, b = 13/7.
    nl_new_context();
    nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 3);
    nl_begin(NL_BLOCK_SYSTEM);
    nl_lock_variable(2);
    nl_set_variable(2, 2.0f);
    nl_begin(NL_BLOCK_MATRIX);
    nl_begin(NL_BLOCK_ROW);
    nl_coefficient(0, 2.0f);
    nl_coefficient(1, 1.0f);
    nl_end(NL_BLOCK_ROW);
    nl_begin(NL_BLOCK_ROW);
    nl_coefficient(0, 1.0f);
    nl_coefficient(1, -3.0f);
    nl_coefficient(2, 2.0f);
    nl_end(NL_BLOCK_ROW);
    nl_end(NL_BLOCK_MATRIX);
    // The first row's constant goes in after the rows: b[0] = −L = 0, so add 5.
    NLContext* ctx = nl_current_context();
    ctx->b[0] += 5.0f;
    nl_end(NL_BLOCK_SYSTEM);
    ASSERT_TRUE(nl_solve());
    EXPECT_NEAR(nl_get_variable(0), 11.0f / 7.0f, 1e-5f);
    EXPECT_NEAR(nl_get_variable(1), 13.0f / 7.0f, 1e-5f);
    EXPECT_EQ(nl_get_variable(2), 2.0f);
    nl_delete_context(ctx);
}

TEST(SingularSystem, OneShotReturnsFalseAndVariablesKeepTheirStartValues) {
    // Column 1 is empty: no pivot can exist.
    nl_new_context();
    nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 3);
    nl_begin(NL_BLOCK_SYSTEM);
    nl_set_variable(0, 1.25f);
    nl_set_variable(1, -3.5f);
    nl_set_variable(2, 8.0f);
    nl_begin(NL_BLOCK_MATRIX);
    nl_matrix_add(0, 0, 1.0f);
    nl_matrix_add(1, 0, 2.0f);
    nl_matrix_add(2, 2, 1.0f);
    nl_right_hand_side_add(0, 1.0f);
    nl_right_hand_side_add(2, 1.0f);
    nl_end(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_SYSTEM);
    NLContext* ctx = nl_current_context();
    EXPECT_FALSE(nl_solve());
    EXPECT_EQ(ctx->state, 6);
    EXPECT_EQ(nl_get_variable(0), 1.25f);
    EXPECT_EQ(nl_get_variable(1), -3.5f);
    EXPECT_EQ(nl_get_variable(2), 8.0f);
    nl_delete_context(ctx);
}

TEST(SingularSystem, KeptFactorizationReturnsFalseAndStaysInSystemClosed) {
    // Variable 1 appears in no row: its row and column of the normal equations are empty.
    NLContext* ctx = nl_new_context();
    nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 4);
    nl_set_parameter(NL_PARAM_LEAST_SQUARES, 1);
    nl_begin(NL_BLOCK_SYSTEM);
    nl_set_variable(0, 0.5f);
    nl_set_variable(1, 6.5f);
    nl_lock_variable(3);
    nl_set_variable(3, 1.0f);
    nl_begin(NL_BLOCK_MATRIX);
    for (NlRow row : std::vector<NlRow>{{{0, 1.0f}, {3, 1.0f}}, {{2, 2.0f}, {0, -1.0f}}}) {
        nl_begin(NL_BLOCK_ROW);
        for (const NlTerm& t : row)
            nl_coefficient(t.variable, t.coefficient);
        nl_end(NL_BLOCK_ROW);
    }
    nl_end(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_SYSTEM);
    EXPECT_FALSE(nl_solve_reusing(true));
    EXPECT_EQ(ctx->state, 5);
    EXPECT_FALSE(ctx->reuse_factorization);
    EXPECT_EQ(nl_get_variable(0), 0.5f);
    EXPECT_EQ(nl_get_variable(1), 6.5f);
    // Trying again cannot succeed either, and must not leak the first attempt's factors.
    EXPECT_FALSE(nl_solve_reusing(true));
    nl_delete_context(ctx);
}

TEST(SingularSystem, NumericallySingularMatrixFailsInBothPaths) {
    // Rows (1, 2) and (1, 2): no empty row or column, the second pivot cancels to exactly zero.
    for (bool reusing : {false, true}) {
        nl_new_context();
        nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 2);
        nl_begin(NL_BLOCK_SYSTEM);
        nl_set_variable(0, 4.0f);
        nl_set_variable(1, 9.0f);
        nl_begin(NL_BLOCK_MATRIX);
        for (unsigned i = 0; i < 2; ++i) {
            nl_matrix_add(i, 0, 1.0f);
            nl_matrix_add(i, 1, 2.0f);
            nl_right_hand_side_add(i, 1.0f);
        }
        nl_end(NL_BLOCK_MATRIX);
        nl_end(NL_BLOCK_SYSTEM);
        NLContext* ctx = nl_current_context();
        EXPECT_FALSE(reusing ? nl_solve_reusing(true) : nl_solve()) << reusing;
        EXPECT_EQ(nl_get_variable(0), 4.0f);
        EXPECT_EQ(nl_get_variable(1), 9.0f);
        nl_delete_context(ctx);
    }
}

TEST(SingularSystem, EmptyMatrixRowFailsInBothPaths) {
    // Row 1 of M is empty; in the kept path it is an empty column of what SuperLU factorises.
    for (bool reusing : {false, true}) {
        nl_new_context();
        nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 2);
        nl_begin(NL_BLOCK_SYSTEM);
        nl_set_variable(1, 2.0f);
        nl_begin(NL_BLOCK_MATRIX);
        nl_matrix_add(0, 0, 1.0f);
        nl_matrix_add(0, 1, 1.0f);
        nl_end(NL_BLOCK_MATRIX);
        nl_end(NL_BLOCK_SYSTEM);
        NLContext* ctx = nl_current_context();
        EXPECT_FALSE(reusing ? nl_solve_reusing(true) : nl_solve()) << reusing;
        EXPECT_EQ(nl_get_variable(1), 2.0f);
        nl_delete_context(ctx);
    }
}

TEST(AllVariablesLocked, SolvesTriviallyAndKeepsTheLockedValues) {
    LsProblem p;
    p.variables = 2;
    p.locked = {{0, 1.5f}, {1, -2.0f}};
    p.rows = {{{0, 1.0f}, {1, 1.0f}}};
    bool ok = false;
    NLContext* ctx = nl_run_least_squares(p, true, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(ctx->n, 0u);
    EXPECT_EQ(nl_get_variable(0), 1.5f);
    // A live re-solve of the same context with new locked values.
    p.locked[1] = 4.0f;
    nl_state_least_squares(p);
    EXPECT_TRUE(nl_solve_reusing(true));
    EXPECT_EQ(nl_get_variable(1), 4.0f);
    nl_delete_context(ctx);

    // The one-shot path.
    ctx = nl_new_context();
    nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 1);
    nl_begin(NL_BLOCK_SYSTEM);
    nl_lock_variable(0);
    nl_set_variable(0, 3.0f);
    nl_begin(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_SYSTEM);
    EXPECT_TRUE(nl_solve());
    EXPECT_EQ(nl_get_variable(0), 3.0f);
    nl_delete_context(ctx);
}

} // namespace

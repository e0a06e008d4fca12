// How rows turn into M and b, read straight from the context before any solve.

#include "Lscm/opennl_context.h"

#include "nl_problem.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Square systems: M as assembled.
float matrix_at(const NLContext* ctx, unsigned i, unsigned j) {
    const SparseRow& row = ctx->M.rows[i];
    float sum = 0.0f;
    for (unsigned k = 0; k < row.size; ++k)
        if (row.coeff[k].index == j)
            sum += row.coeff[k].value;
    return sum;
}

unsigned stored_entries(const NLContext* ctx) {
    unsigned count = 0;
    for (unsigned i = 0; i < ctx->M.m; ++i)
        count += ctx->M.rows[i].size;
    return count;
}

// Least-squares systems: the normal equations formed from the stated rows (either half).
double normal_at(const NLContext* ctx, unsigned i, unsigned j) {
    const NLNormalLower N = nl_normal_equations_lower(ctx->stated, ctx->n);
    const unsigned column = std::min(i, j), row = std::max(i, j);
    for (int e = N.start[column]; e < N.start[column + 1]; ++e)
        if (unsigned(N.row[size_t(e)]) == row)
            return N.value[size_t(e)];
    return 0.0;
}

unsigned normal_entries(const NLContext* ctx) {
    return unsigned(nl_normal_equations_lower(ctx->stated, ctx->n).row.size());
}

class LeastSquaresAssembly : public ::testing::Test {
protected:
    NLContext* ctx = nullptr;
    void TearDown() override { nl_delete_context(ctx); }

    // Variables 0..count-1 with the given locked values, then the rows.
    void state(unsigned count, const std::map<unsigned, float>& locked,
               const std::vector<NlRow>& rows) {
        ctx = nl_new_context();
        nl_set_parameter(NL_PARAM_VARIABLE_COUNT, int(count));
        nl_set_parameter(NL_PARAM_LEAST_SQUARES, 1);
        nl_state_least_squares(LsProblem{count, locked, rows});
    }
};

TEST_F(LeastSquaresAssembly, FreeVariablesGetConsecutiveColumnsAndLockedOnesNone) {
    state(5, {{1, 0.0f}, {3, 0.0f}}, {});
    EXPECT_EQ(ctx->n, 3u);
    EXPECT_EQ(ctx->variable[0].index, 0u);
    EXPECT_EQ(ctx->variable[1].index, NL_NO_INDEX);
    EXPECT_EQ(ctx->variable[2].index, 1u);
    EXPECT_EQ(ctx->variable[3].index, NL_NO_INDEX);
    EXPECT_EQ(ctx->variable[4].index, 2u);
    EXPECT_EQ(ctx->state, 5);
}

TEST_F(LeastSquaresAssembly, RowOfTwoFreeTermsAddsTheirOuterProduct) {
    state(2, {}, {{{0, 2.0f}, {1, 3.0f}}});
    EXPECT_EQ(normal_at(ctx, 0, 0), 4.0);
    EXPECT_EQ(normal_at(ctx, 0, 1), 6.0);
    EXPECT_EQ(normal_at(ctx, 1, 0), 6.0);
    EXPECT_EQ(normal_at(ctx, 1, 1), 9.0);
    EXPECT_EQ(normal_entries(ctx), 3u); // the lower half
    EXPECT_FLOAT_EQ(ctx->b[0], 0.0f);
    EXPECT_FLOAT_EQ(ctx->b[1], 0.0f);
}

TEST_F(LeastSquaresAssembly, RowsAccumulateIntoTheSameEntries) {
    state(2, {}, {{{0, 2.0f}, {1, 3.0f}}, {{0, 1.0f}, {1, -1.0f}}});
    EXPECT_EQ(normal_at(ctx, 0, 0), 5.0);
    EXPECT_EQ(normal_at(ctx, 0, 1), 5.0);
    EXPECT_EQ(normal_at(ctx, 1, 1), 10.0);
    EXPECT_EQ(normal_entries(ctx), 3u); // merged, not appended
}

TEST_F(LeastSquaresAssembly, RowOfOnlyLockedVariablesChangesNothing) {
    state(3, {{0, 4.0f}, {1, -2.0f}}, {{{0, 1.0f}, {1, 5.0f}}});
    EXPECT_EQ(normal_entries(ctx), 0u);
    EXPECT_FLOAT_EQ(ctx->b[0], 0.0f);
}

TEST_F(LeastSquaresAssembly, LockedTermMovesToTheRightHandSide) {
    // Free variable 1 has column 0; locked variable 0 is 5 with coefficient 2: b -= 1 × 10.
    state(2, {{0, 5.0f}}, {{{0, 2.0f}, {1, 1.0f}}});
    EXPECT_FLOAT_EQ(ctx->b[0], -10.0f);
    EXPECT_EQ(normal_at(ctx, 0, 0), 1.0);
    EXPECT_EQ(normal_entries(ctx), 1u);
}

TEST_F(LeastSquaresAssembly, LockedContributionsOfARowAreSummedBeforeScattering) {
    // L = 2×5 + (−1)×3 = 7; free coefficients 1 and 4 → b = −7 and −28.
    state(4, {{0, 5.0f}, {3, 3.0f}}, {{{0, 2.0f}, {1, 1.0f}, {2, 4.0f}, {3, -1.0f}}});
    EXPECT_FLOAT_EQ(ctx->b[0], -7.0f);
    EXPECT_FLOAT_EQ(ctx->b[1], -28.0f);
}

TEST_F(LeastSquaresAssembly, RepeatedVariableInARowKeepsItsCrossTerms) {
    // (1 + 2)² = 9 only when the cross terms 1×2 and 2×1 are counted as well.
    state(1, {}, {{{0, 1.0f}, {0, 2.0f}}});
    EXPECT_EQ(normal_at(ctx, 0, 0), 9.0);
}

TEST_F(LeastSquaresAssembly, StartValuesOfFreeVariablesAreCopiedIntoX) {
    ctx = nl_new_context();
    nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 3);
    nl_set_parameter(NL_PARAM_LEAST_SQUARES, 1);
    nl_begin(NL_BLOCK_SYSTEM);
    nl_set_variable(0, 1.5f);
    nl_set_variable(1, 7.0f);
    nl_lock_variable(1);
    nl_set_variable(2, -2.5f);
    nl_begin(NL_BLOCK_MATRIX);
    EXPECT_FLOAT_EQ(ctx->x[0], 1.5f);
    EXPECT_FLOAT_EQ(ctx->x[1], -2.5f);
    EXPECT_FLOAT_EQ(nl_get_variable(1), 7.0f);
    nl_end(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_SYSTEM);
}

TEST(SparseRowGrowth, FirstAppendGivesFourThenCapacityDoubles) {
    SparseRow row{};
    nl_row_append(&row, 0, 1.0f);
    EXPECT_EQ(row.capacity, 4u);
    for (unsigned k = 1; k < 5; ++k)
        nl_row_append(&row, k, float(k));
    EXPECT_EQ(row.capacity, 8u);
    EXPECT_EQ(row.size, 5u);
    for (unsigned k = 1; k < 5; ++k) {
        EXPECT_EQ(row.coeff[k].index, k);
        EXPECT_FLOAT_EQ(row.coeff[k].value, float(k));
    }
    nl_row_release(&row);
    EXPECT_EQ(row.coeff, nullptr);
}

class SquareAssembly : public ::testing::Test {
protected:
    NLContext* ctx = nullptr;
    void TearDown() override { nl_delete_context(ctx); }
};

TEST_F(SquareAssembly, EntriesAndRightHandSideAccumulate) {
    ctx = nl_new_context();
    nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 2);
    nl_begin(NL_BLOCK_SYSTEM);
    nl_begin(NL_BLOCK_MATRIX);
    nl_matrix_add(0, 1, 2.0f);
    nl_matrix_add(0, 1, 0.5f);
    nl_matrix_add(1, 0, -1.0f);
    nl_right_hand_side_add(1, 3.0f);
    nl_right_hand_side_add(1, 1.0f);
    nl_end(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_SYSTEM);
    EXPECT_FLOAT_EQ(matrix_at(ctx, 0, 1), 2.5f);
    EXPECT_FLOAT_EQ(matrix_at(ctx, 1, 0), -1.0f);
    EXPECT_EQ(stored_entries(ctx), 2u);
    EXPECT_FLOAT_EQ(ctx->b[0], 0.0f);
    EXPECT_FLOAT_EQ(ctx->b[1], 4.0f);
}

TEST_F(SquareAssembly, RowsFillMatrixRowsInOrderWithLockedPartNegatedIntoB) {
    // Three variables, the last locked at 2: rows give M rows 0 and 1, b = −(coefficient × 2).
    ctx = nl_new_context();
    nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 3);
    nl_begin(NL_BLOCK_SYSTEM);
    nl_lock_variable(2);
    nl_set_variable(2, 2.0f);
    nl_begin(NL_BLOCK_MATRIX);
    nl_begin(NL_BLOCK_ROW);
    nl_coefficient(0, 3.0f);
    nl_coefficient(2, 1.0f);
    nl_end(NL_BLOCK_ROW);
    nl_begin(NL_BLOCK_ROW);
    nl_coefficient(1, -4.0f);
    nl_end(NL_BLOCK_ROW);
    nl_end(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_SYSTEM);
    EXPECT_FLOAT_EQ(matrix_at(ctx, 0, 0), 3.0f);
    EXPECT_FLOAT_EQ(matrix_at(ctx, 1, 1), -4.0f);
    EXPECT_EQ(stored_entries(ctx), 2u);
    EXPECT_FLOAT_EQ(ctx->b[0], -2.0f);
    EXPECT_FLOAT_EQ(ctx->b[1], 0.0f);
}

TEST(ContextLifecycle, NewContextIsCurrentAndDeletingItClearsCurrent) {
    NLContext* a = nl_new_context();
    EXPECT_EQ(nl_current_context(), a);
    EXPECT_EQ(a->state, __NL_STATE_INITIAL);
    NLContext* b = nl_new_context();
    EXPECT_EQ(nl_current_context(), b);
    nl_make_current(a);
    EXPECT_EQ(nl_current_context(), a);
    nl_delete_context(b); // not current: current stays
    EXPECT_EQ(nl_current_context(), a);
    nl_delete_context(a);
    EXPECT_EQ(nl_current_context(), nullptr);
}

TEST(ContextLifecycle, ParametersSetCountAndMode) {
    NLContext* ctx = nl_new_context();
    nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 12);
    nl_set_parameter(NL_PARAM_LEAST_SQUARES, 7);
    EXPECT_EQ(ctx->nb_variables, 12u);
    EXPECT_TRUE(ctx->least_squares);
    nl_set_parameter(NL_PARAM_LEAST_SQUARES, 0);
    EXPECT_FALSE(ctx->least_squares);
    nl_delete_context(ctx);
}

TEST(ContextLifecycle, EndMatrixReleasesTheRowListsAndDeleteWorksInEveryState) {
    // Deleting mid-row, after the matrix, and after a solve must free everything (ASan checks).
    for (int stop = 0; stop < 3; ++stop) {
        NLContext* ctx = nl_new_context();
        nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 2);
        nl_set_parameter(NL_PARAM_LEAST_SQUARES, 1);
        nl_begin(NL_BLOCK_SYSTEM);
        nl_begin(NL_BLOCK_MATRIX);
        nl_begin(NL_BLOCK_ROW);
        nl_coefficient(0, 1.0f);
        nl_coefficient(1, 1.0f);
        if (stop > 0) {
            nl_end(NL_BLOCK_ROW);
            nl_end(NL_BLOCK_MATRIX);
            EXPECT_EQ(ctx->row_free.coeff, nullptr);
            EXPECT_EQ(ctx->row_locked.coeff, nullptr);
            nl_end(NL_BLOCK_SYSTEM);
        }
        if (stop > 1)
            nl_solve_reusing(true); // singular or not, it must be released
        nl_delete_context(ctx);
    }
}

} // namespace

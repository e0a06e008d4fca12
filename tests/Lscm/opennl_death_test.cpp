// Every broken precondition prints its line on stderr and aborts.

#include "Lscm/opennl_context.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The messages are matched literally, up to the line number.
std::string literal(const std::string& text) {
    std::string out;
    for (char ch : text) {
        if (std::string("\\.[]()*+?{}|^$").find(ch) != std::string::npos)
            out += '\\';
        out += ch;
    }
    return out;
}

std::string assertion(const std::string& condition) {
    return literal("OpenNL assertion failed: " + condition + ", file:.\\Lscm\\opennl, line:") +
           "[0-9]+";
}

std::string range(const std::string& value, const std::string& low, const std::string& high) {
    return literal("OpenNL range assertion failed: " + value + " in [ " + low + " ... " + high +
                   " ], file:.\\Lscm\\opennl, line:") +
           "[0-9]+";
}

const std::string unreachable =
    literal("OpenNL should not have reached this point: file:.\\Lscm\\opennl, line:") + "[0-9]+";

const std::string wrong_state = assertion("__nlCurrentContext->state == state");

// A context with `count` variables (the first `locked` of them locked), in state 2.
NLContext* open_matrix(unsigned count, bool least_squares, unsigned locked = 0) {
    NLContext* ctx = nl_new_context();
    nl_set_parameter(NL_PARAM_VARIABLE_COUNT, int(count));
    nl_set_parameter(NL_PARAM_LEAST_SQUARES, least_squares ? 1 : 0);
    nl_begin(NL_BLOCK_SYSTEM);
    for (unsigned v = 0; v < locked; ++v)
        nl_lock_variable(v);
    nl_begin(NL_BLOCK_MATRIX);
    return ctx;
}

// A square 2 × 2 identity system in state 5.
NLContext* closed_identity() {
    NLContext* ctx = open_matrix(2, false);
    nl_matrix_add(0, 0, 1.0f);
    nl_matrix_add(1, 1, 1.0f);
    nl_end(NL_BLOCK_MATRIX);
    nl_end(NL_BLOCK_SYSTEM);
    return ctx;
}

using OpenNLDeathTest = ::testing::Test;

TEST_F(OpenNLDeathTest, CallsInTheWrongStateAbort) {
    EXPECT_DEATH(
        {
            nl_new_context();
            nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 2);
            nl_begin(NL_BLOCK_MATRIX);
        },
        wrong_state);
    EXPECT_DEATH(
        {
            open_matrix(2, true);
            nl_end(NL_BLOCK_SYSTEM);
        },
        wrong_state);
    EXPECT_DEATH(
        {
            open_matrix(2, true);
            nl_coefficient(0, 1.0f); // no row open
        },
        wrong_state);
    EXPECT_DEATH(
        {
            open_matrix(2, true);
            nl_set_parameter(NL_PARAM_LEAST_SQUARES, 0);
        },
        wrong_state);
    EXPECT_DEATH(
        {
            open_matrix(2, true);
            nl_set_variable(0, 1.0f);
        },
        wrong_state);
    EXPECT_DEATH(
        {
            closed_identity();
            nl_solve();
            nl_begin(NL_BLOCK_SYSTEM); // state 6 is final
        },
        wrong_state);
    EXPECT_DEATH(
        {
            closed_identity();
            nl_solve_reusing(false);
            nl_begin(NL_BLOCK_SYSTEM); // solved, but nothing kept for reuse
        },
        wrong_state);
    EXPECT_DEATH(
        {
            NLContext* ctx = open_matrix(2, true);
            (void)ctx;
            nl_solve();
        },
        wrong_state);
}

TEST_F(OpenNLDeathTest, ParameterChecks) {
    EXPECT_DEATH(
        {
            nl_new_context();
            nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 0);
        },
        assertion("param > 0"));
    EXPECT_DEATH(
        {
            nl_new_context();
            nl_set_parameter(NL_PARAM_VARIABLE_COUNT, -4);
        },
        assertion("param > 0"));
    EXPECT_DEATH(
        {
            nl_new_context();
            nl_set_parameter(0x103, 1);
        },
        unreachable);
    EXPECT_DEATH(
        {
            nl_new_context();
            nl_begin(NL_BLOCK_SYSTEM);
        },
        assertion("__nlCurrentContext->nb_variables > 0"));
}

TEST_F(OpenNLDeathTest, UnknownBlockKindsAbort) {
    EXPECT_DEATH(
        {
            nl_new_context();
            nl_begin(3);
        },
        unreachable);
    EXPECT_DEATH(
        {
            open_matrix(2, true);
            nl_end(-1);
        },
        unreachable);
}

TEST_F(OpenNLDeathTest, GetVariableBeforeTheSystemAborts) {
    EXPECT_DEATH(
        {
            nl_new_context();
            nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 2);
            nl_get_variable(0);
        },
        assertion("__nlCurrentContext->state != __NL_STATE_INITIAL"));
}

TEST_F(OpenNLDeathTest, SquareEntriesInALeastSquaresSystemAbort) {
    EXPECT_DEATH(
        {
            open_matrix(2, true);
            nl_matrix_add(0, 0, 1.0f);
        },
        assertion("!__nlCurrentContext->least_squares"));
    EXPECT_DEATH(
        {
            open_matrix(2, true);
            nl_right_hand_side_add(0, 1.0f);
        },
        assertion("!__nlCurrentContext->least_squares"));
}

TEST_F(OpenNLDeathTest, IndicesOutOfRangeAbortWithValueAndBounds) {
    EXPECT_DEATH(
        {
            open_matrix(3, true);
            nl_begin(NL_BLOCK_ROW);
            nl_coefficient(5, 1.0f);
        },
        range("5.000000", "0.000000", "2.000000"));
    EXPECT_DEATH(
        {
            open_matrix(3, false);
            nl_matrix_add(3, 0, 1.0f);
        },
        range("3.000000", "0.000000", "2.000000"));
    EXPECT_DEATH(
        {
            open_matrix(3, false);
            nl_matrix_add(0, 4, 1.0f);
        },
        range("4.000000", "0.000000", "2.000000"));
    EXPECT_DEATH(
        {
            open_matrix(3, false);
            nl_right_hand_side_add(7, 1.0f);
        },
        range("7.000000", "0.000000", "2.000000"));
}

TEST_F(OpenNLDeathTest, SquareEntriesPastTheFreeVariablesAbort) {
    // Three variables, one locked: two free columns. Column 2 would lie outside the solver's
    // arrays.
    EXPECT_DEATH(
        {
            open_matrix(3, false, 1);
            nl_matrix_add(0, 2, 1.0f);
        },
        range("2.000000", "0.000000", "1.000000"));
    // A square system given by rows cannot take more rows than free variables.
    EXPECT_DEATH(
        {
            open_matrix(1, false);
            for (int r = 0; r < 2; ++r) {
                nl_begin(NL_BLOCK_ROW);
                nl_coefficient(0, 1.0f);
                nl_end(NL_BLOCK_ROW);
            }
        },
        range("1.000000", "0.000000", "0.000000"));
}

TEST_F(OpenNLDeathTest, MatrixShapeIsCheckedBeforeSolving) {
    for (bool reusing : {false, true}) {
        auto solve = [reusing] { reusing ? nl_solve_reusing(true) : nl_solve(); };
        EXPECT_DEATH(
            {
                NLContext* ctx = closed_identity();
                ctx->M.storage = 0;
                solve();
            },
            assertion("M->storage & __NL_ROWS"));
        EXPECT_DEATH(
            {
                NLContext* ctx = closed_identity();
                ctx->M.storage |= __NL_SYMMETRIC;
                solve();
            },
            assertion("!(M->storage & __NL_SYMMETRIC)"));
        EXPECT_DEATH(
            {
                NLContext* ctx = closed_identity();
                ctx->M.n = 3;
                solve();
            },
            assertion("M->m == M->n"));
    }
}

TEST_F(OpenNLDeathTest, VariableVectorCopiesCheckTheirArrays) {
    EXPECT_DEATH(
        {
            NLContext* ctx = closed_identity();
            ctx->alloc_x = false;
            nl_solve();
        },
        assertion("__nlCurrentContext->alloc_x"));
    EXPECT_DEATH(
        {
            NLContext* ctx = closed_identity();
            ctx->alloc_variable = false;
            nl_solve();
        },
        assertion("__nlCurrentContext->alloc_variable"));
    EXPECT_DEATH(
        {
            NLContext* ctx = closed_identity();
            ctx->variable[1].index = 2;
            nl_solve();
        },
        assertion("v->index < __nlCurrentContext->n"));
}

TEST_F(OpenNLDeathTest, CallsWithoutACurrentContextAbort) {
    EXPECT_DEATH(
        {
            nl_make_current(nullptr);
            nl_set_parameter(NL_PARAM_VARIABLE_COUNT, 1);
        },
        assertion("__nlCurrentContext != NULL"));
}

} // namespace

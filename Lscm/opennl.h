#pragma once

// Sparse linear systems stated variable by variable and row by row, solved by sparse LU
// (SuperLU, single precision) and refined in double precision against the system as stated, so
// that large charts come out as accurately as small ones. Two kinds of system:
//  - least squares: rows of coefficients Σ a_p x_p + L = 0, where L collects the locked
//    variables; the layer accumulates the normal equations AᵀA x = −Aᵀl as rows arrive, and
//    can keep the factorisation so that later solves only rebuild the right-hand side;
//  - square: matrix and right-hand-side entries given directly, solved once.
//
// Every call acts on the calling thread's current context (each thread has its own). A broken
// precondition (wrong state, index out of range, unknown id) prints one line to stderr and aborts;
// a solver failure (singular matrix) is not a broken precondition: the solve returns false.
//
// Least-squares order: nl_new_context; nl_set_parameter(NL_PARAM_VARIABLE_COUNT, count),
// nl_set_parameter(NL_PARAM_LEAST_SQUARES, 1); then per solve: nl_make_current;
// nl_begin(NL_BLOCK_SYSTEM); nl_lock_variable/nl_set_variable for the locked ones;
// nl_begin(NL_BLOCK_MATRIX); per row nl_begin(NL_BLOCK_ROW), nl_coefficient..., nl_end(ROW);
// nl_end(MATRIX); nl_end(SYSTEM); nl_solve_reusing(true); nl_get_variable...;
// nl_delete_context when done.
//
// Square order: nl_new_context; nl_set_parameter(NL_PARAM_VARIABLE_COUNT, n);
// nl_begin(SYSTEM); nl_begin(MATRIX); nl_matrix_add / nl_right_hand_side_add ...;
// nl_end(MATRIX); nl_end(SYSTEM); nl_solve; nl_get_variable...; nl_delete_context.
//
// States: 0 initial, 1 system open, 2 matrix open, 3 row open, 4 matrix closed, 5 system closed,
// 6 solved (final), 7 solved with the factorisation kept (nl_begin system may follow when the
// factorisation is reused).

struct NLContext;

constexpr int NL_PARAM_VARIABLE_COUNT = 0x101;
constexpr int NL_PARAM_LEAST_SQUARES = 0x102;

constexpr int NL_BLOCK_SYSTEM = 0;
constexpr int NL_BLOCK_MATRIX = 1;
constexpr int NL_BLOCK_ROW = 2;

// A zeroed context in state 0; it becomes the current one. Never null.
NLContext* nl_new_context();
// Releases every array the context owns and its kept factorisation, then the context itself.
// Clears the current context when it was this one. Any state; null is ignored.
void nl_delete_context(NLContext* context);
// Any state; the context may be null (then no call but nl_make_current/nl_new_context is valid).
void nl_make_current(NLContext* context);
NLContext* nl_current_context();

// State 0 only. NL_PARAM_VARIABLE_COUNT: value > 0, the number of variables.
// NL_PARAM_LEAST_SQUARES: value != 0 selects the least-squares system.
void nl_set_parameter(int id, int value);

// NL_BLOCK_SYSTEM: 0 → 1 (or 7 → 1 when the kept factorisation is reused); needs a variable
// count. NL_BLOCK_MATRIX: 1 → 2, numbers the free variables and sizes the system (first solve
// only). NL_BLOCK_ROW: 2 → 3.
void nl_begin(int block);
// NL_BLOCK_ROW: 3 → 2, adds the row to the system. NL_BLOCK_MATRIX: 2 → 4. NL_BLOCK_SYSTEM: 4 → 5.
void nl_end(int block);

// State 1. The variable number is not range-checked: it must be below the variable count.
void nl_set_variable(unsigned variable, float value);
// State 1. Locked variables keep their value and move to the right-hand side; there is no unlock,
// and with a reused factorisation the locked set of the first solve must be kept.
void nl_lock_variable(unsigned variable);
// Any state but 0. Not range-checked, as nl_set_variable.
float nl_get_variable(unsigned variable);

// After a solve (state 6 or 7): the variable's value as solved, in double precision (a locked
// variable's value as set). For callers whose layouts span many orders of magnitude.
double nl_get_variable_double(unsigned variable);

// State 3. Adds the term coefficient × variable to the open row; repeated variables are kept as
// separate terms.
void nl_coefficient(unsigned variable, double coefficient);

// State 2. Whether this statement restates a kept least-squares system (a re-solve with the
// factorisation kept): then the rows' free terms are known already and only their locked terms
// matter.
bool nl_restating_kept_rows();
// State 2, while nl_restating_kept_rows(): the next count rows, which the caller states have no
// locked term (a row of free variables only adds nothing to the right-hand side), are passed over
// as if stated; their total may not go past the rows of the kept system.
void nl_skip_free_rows(unsigned count);

// State 2, square systems only: M(row, column) += value, with row and column below the number of
// free variables.
void nl_matrix_add(unsigned row, unsigned column, float value);
// State 2, square systems only: b[row] += value, row below the number of free variables.
void nl_right_hand_side_add(unsigned row, float value);

// A column ordering that a run of square systems with the same entries stated in the same order
// (the Newton steps of one chart) computes once: the first factorisation fills it, the later ones
// take it as it is. The caller owns it and frees it with nl_release_ordering.
struct NLKeptOrdering {
    int* columns = nullptr;
    unsigned n = 0;
};
// State 5: the next factorisation of the current context takes its ordering from kept, or fills
// kept when it is empty. kept must outlive that solve.
void nl_share_ordering(NLKeptOrdering* kept);
void nl_release_ordering(NLKeptOrdering* kept);

// State 5 → 6. One-shot factorise and solve. Returns false when SuperLU fails (e.g. singular);
// either way the free variables receive the solution vector (their start values on failure).
bool nl_solve();
// State 5 → 7. Factorises unless a kept factorisation is being reused, then solves; keep = true
// makes the next nl_begin(NL_BLOCK_SYSTEM) reuse it. A re-solve whose locked values changed along
// directions solved before is answered by combining those solutions (the answer is affine in the
// locked values), checked against the rows in double precision; the answer is the same. On failure
// returns false, the state stays 5 and the variables are left alone.
bool nl_solve_reusing(bool keep);

#pragma once

// The records behind the nl_* calls, shared by the assembly and the SuperLU halves of the layer
// (and readable by tests). Callers of the layer use Lscm/opennl.h only.

#include "Lscm/opennl.h"

#include <slu_sdefs.h>

constexpr int __NL_STATE_INITIAL = 0;
constexpr int NL_STATE_SYSTEM = 1;
constexpr int NL_STATE_MATRIX = 2;
constexpr int NL_STATE_ROW = 3;
constexpr int NL_STATE_MATRIX_CONSTRUCTED = 4;
constexpr int NL_STATE_SYSTEM_CONSTRUCTED = 5;
constexpr int NL_STATE_SOLVED = 6;
constexpr int NL_STATE_SYSTEM_SOLVED = 7;

// Storage flags of SparseMatrix. The layer stores rows only; the symmetric flag exists so the
// solvers can refuse such a matrix.
constexpr unsigned __NL_ROWS = 1;
constexpr unsigned __NL_SYMMETRIC = 2;

// index of a locked variable: it has no column among the free ones.
constexpr unsigned NL_NO_INDEX = ~0u;

struct NLVariable {
    float value;
    bool locked;
    unsigned index; // column among the free variables, NL_NO_INDEX when locked
};

struct NLCoeff {
    unsigned index;
    float value;
};

struct SparseRow {
    unsigned size;
    unsigned capacity;
    NLCoeff* coeff;
};

struct SparseMatrix {
    unsigned m; // rows
    unsigned n; // columns
    unsigned storage;
    SparseRow* rows; // m rows
};

// Compressed rows: row starts (n + 1), then column indices and values. Arrays from malloc.
struct NLCompressed {
    int nnz;
    int* start;
    int* index;
    float* value;
};
// The rows of a least-squares system as stated (free coefficients only), with each row's sum of
// locked contributions, which is restated at every solve. Arrays from the heap.
struct NLRowStore {
    unsigned rows;
    unsigned row_capacity;
    unsigned* start; // rows + 1 entries
    unsigned nnz;
    unsigned capacity;
    NLCoeff* coeff;
    float* locked; // one per row
    // The rows that have locked terms, in order: only their locked sums can change between
    // statements of the same system.
    unsigned* locked_rows;
    unsigned nlocked_rows;
    unsigned locked_rows_capacity;
};

// Live re-solves keep the factorisation and the rows; only the locked values change, and the
// solution is affine in the rows' locked sums. The changes of those sums already solved (against
// the latest direct solve of the context, the base) are kept orthonormal, with the matching changes
// of the solution and of the residual, so that a change that is a combination of them is answered
// by combining solutions, and its residual checked, in time linear in the unknowns and the rows
// with locked terms. Sums are over the stated rows' locked_rows, in that order.
constexpr int NL_RECYCLE_DIRECTIONS = 8;
struct NLRecycle {
    double* locked0;                   // locked rows: the base's sums; null until a second solve
    double* x0;                        // n: the base's solution
    double* r0;                        // n: its residual
    int count;                         // directions kept, oldest first
    double* dl[NL_RECYCLE_DIRECTIONS]; // locked rows each, orthonormal
    double* dx[NL_RECYCLE_DIRECTIONS]; // n each: the solution's change along dl
    double* dr[NL_RECYCLE_DIRECTIONS]; // n each: the residual's change along dl and dx
    double accept;                     // largest |residual|² / |b|² a combined answer may have
    // A statement put locked terms in a row that had none: its change is outside every kept
    // direction, so it is solved directly and not kept.
    bool pattern_changed;
    unsigned next_locked; // statement cursor into the stated rows' locked_rows
};

struct NLContext {
    int state;
    NLVariable* variable;
    unsigned n; // free variables
    SparseMatrix M;
    SparseRow row_free;   // (index, coefficient) of the open row's free variables
    SparseRow row_locked; // (0, coefficient × value) of the open row's locked variables
    float* x;             // n
    float* b;             // n
    unsigned nb_variables;
    unsigned current_row;
    bool least_squares;
    bool reuse_factorization;
    bool alloc_M;
    bool alloc_row_free;
    bool alloc_row_locked;
    bool alloc_variable;
    bool alloc_x;
    bool alloc_b;
    bool alloc_factorization;
    // Kept factorisation of Mᵀ: Pr Mᵀ Pc = L U.
    SuperMatrix L;
    SuperMatrix U;
    int* perm_c;
    int* perm_r;
    NLKeptOrdering* shared_ordering; // not owned; see nl_share_ordering
    SuperLUStat_t stat;
    // The factorised matrix itself, for the residuals of the refinement; only its diagonal and
    // upper half when kept_upper (the normal equations are symmetric). Owned with the factors.
    NLCompressed kept;
    bool kept_upper;
    // Least-squares rows kept for the residuals of the refinement (keep_rows), so that they are
    // taken against the rows as given rather than against their normal equations summed in
    // single precision.
    NLRowStore stated;
    bool keep_rows;
    bool b_pending; // a re-statement's locked sums are still to be taken into b
    NLRecycle recycle;
};

// Failure reports: print the line the layer is known by, then abort.
[[noreturn]] void nl_fail_assert(const char* condition, int line);
[[noreturn]] void nl_fail_range(double value, double low, double high, int line);
[[noreturn]] void nl_fail_unreachable(int line);

#define NL_ASSERT(condition, text)                                                                 \
    do {                                                                                           \
        if (!(condition))                                                                          \
            nl_fail_assert(text, __LINE__);                                                        \
    } while (0)

// The bounds are compared as doubles so that unsigned wrap-around of a negative index still
// reads as out of range.
#define NL_RANGE_ASSERT(value, low, high)                                                          \
    do {                                                                                           \
        double nl_v_ = double(value), nl_lo_ = double(low), nl_hi_ = double(high);                 \
        if (nl_v_ < nl_lo_ || nl_v_ > nl_hi_)                                                      \
            nl_fail_range(nl_v_, nl_lo_, nl_hi_, __LINE__);                                        \
    } while (0)

// The current context, checked to be in the given state.
NLContext* nl_context_in_state(int state, int line);
#define NL_CONTEXT_IN_STATE(state) nl_context_in_state(state, __LINE__)

// Sparse rows.
void nl_row_append(SparseRow* row, unsigned index, float value);
void nl_row_add(SparseRow* row, unsigned index, float value); // merges into an existing index
void nl_row_clear(SparseRow* row);                            // keeps the array
void nl_row_release(SparseRow* row);                          // frees the array

// Compressed copy of M's rows, after which M's rows are emptied and freed; the caller frees the
// copy.
NLCompressed nl_compress_rows(SparseMatrix* M);
void nl_compressed_release(NLCompressed* c);

// Copies between the variables and x, checking the arrays and the numbering.
void nl_variables_to_vector(NLContext* ctx);
void nl_vector_to_variables(NLContext* ctx);

// How a matrix is ordered and pivoted for its factorisation: COLAMD with partial pivoting (for
// unsymmetric matrices), or minimum degree on M + Mᵀ with pivots on the diagonal (symmetric
// positive definite ones).
enum NLOrdering { NL_ORDERING_COLAMD, NL_ORDERING_SYMMETRIC };

// Process-wide choices of the solves: the ordering of least-squares and of square systems, and
// whether solves are refined. Read by every solve on any thread; change them only while no
// solve runs (tests and benchmarks compare the choices).
struct NLFactorOptions {
    NLOrdering least_squares;
    NLOrdering square;
    bool refine;
    bool recycle; // live re-solves combine earlier solutions when they can (needs refine)
};
NLFactorOptions& nl_factor_options();
// Refinement steps (corrections through the factors) taken by solves on this thread so far.
long nl_refinement_steps();
// Re-solves of kept factorisations on this thread so far: answered by combining earlier
// solutions, and solved through the factors.
long nl_recycled_solves();
long nl_direct_resolves();

// Called when a kept factorisation is about to be reused: the previous statement of the rows
// and its solution become the base of recycling, if there is none yet.
void nl_recycle_start(NLContext* ctx);
void nl_recycle_release(NLRecycle* recycle);

// Appends a least-squares row (its free coefficients) to the stated rows, with its locked sum and
// whether it has locked terms.
void nl_rows_append(NLRowStore* store, const SparseRow* row, float locked, bool has_locked);
void nl_rows_release(NLRowStore* store);

// Releases the kept factorisation, if the context owns one.
void nl_release_factorization(NLContext* ctx);

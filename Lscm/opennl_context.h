#pragma once

// The records behind the nl_* calls, shared by the assembly, the least-squares (Cholesky) and the
// square (SuperLU) parts of the layer, and readable by tests. Callers use Lscm/opennl.h only.

#include "Lscm/opennl.h"

#include <slu_sdefs.h>

#include <vector>

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

// A coefficient of a row. Least-squares rows keep it in double precision as given; square
// systems sum their entries in single precision (see nl_row_add).
struct NLCoeff {
    unsigned index;
    double value;
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
// locked contributions in double precision, which is restated at every solve. The normal
// equations are formed from them at the factorisation. Arrays from the heap.
struct NLRowStore {
    unsigned rows;
    unsigned row_capacity;
    unsigned* start; // rows + 1 entries
    unsigned nnz;
    unsigned capacity;
    NLCoeff* coeff;
    double* locked; // one per row
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

struct NLCholesky;

struct NLContext {
    int state;
    NLVariable* variable;
    unsigned n; // free variables
    SparseMatrix M;
    SparseRow row_free;   // (index, coefficient) of the open row's free variables
    SparseRow row_locked; // (0, coefficient × value) of the open row's locked variables
    double* x;            // n
    double* b;            // n
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
    // Least squares: the kept Cholesky factorisation of the normal equations AᵀA (see
    // opennl_cholesky.cpp); null until factorised.
    NLCholesky* cholesky;
    // Square systems: the kept factorisation of Mᵀ, Pr Mᵀ Pc = L U.
    SuperMatrix L;
    SuperMatrix U;
    int* perm_c;
    int* perm_r;
    NLKeptOrdering* shared_ordering; // not owned; see nl_share_ordering
    SuperLUStat_t stat;
    // The factorised square matrix itself, for the residuals of the refinement. Owned with the
    // factors.
    NLCompressed kept;
    // The stated rows of a least-squares system (keep_rows is set for every least-squares
    // system): the normal equations are formed from them, and live re-solves restate only
    // their locked sums.
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
void nl_row_append(SparseRow* row, unsigned index, double value);
// Merges into an existing index, summing in single precision as the square systems' solve is.
void nl_row_add(SparseRow* row, unsigned index, float value);
void nl_row_clear(SparseRow* row);   // keeps the array
void nl_row_release(SparseRow* row); // frees the array

// Compressed copy of M's rows, after which M's rows are emptied and freed; the caller frees the
// copy.
NLCompressed nl_compress_rows(SparseMatrix* M);
void nl_compressed_release(NLCompressed* c);

// Copies between the variables and x, checking the arrays and the numbering.
void nl_variables_to_vector(NLContext* ctx);
void nl_vector_to_variables(NLContext* ctx);

// How a square matrix is ordered and pivoted for its SuperLU factorisation: COLAMD with partial
// pivoting (for unsymmetric matrices), or minimum degree on M + Mᵀ with pivots on the diagonal
// (matrices symmetric in structure, as ABF's Newton systems are).
enum NLOrdering { NL_ORDERING_COLAMD, NL_ORDERING_SYMMETRIC };

// Process-wide choices of the solves. Read by every solve on any thread; change them only while
// no solve runs (tests and benchmarks compare the choices).
struct NLFactorOptions {
    NLOrdering square;
    bool refine;  // square solves are refined against the matrix in double precision
    bool recycle; // live least-squares re-solves combine earlier solutions when they can
};
NLFactorOptions& nl_factor_options();
// Refinement steps (corrections through the single-precision factors of square systems) taken by
// solves on this thread so far.
long nl_refinement_steps();
// Corrections of least-squares solves against their stated rows on this thread so far.
long nl_least_squares_refinement_steps();
// Factorisations (least-squares and square) made on this thread so far; the layer counts
// through nl_factorization_count.
long nl_factorizations();
long& nl_factorization_count();
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
void nl_rows_append(NLRowStore* store, const SparseRow* row, double locked, bool has_locked);
void nl_rows_release(NLRowStore* store);

// Releases the kept factorisation, if the context owns one (either kind).
void nl_release_factorization(NLContext* ctx);

// ---- least squares (opennl_least_squares.cpp, over opennl_cholesky.cpp) -------------------------

// Factorises the normal equations of the stated rows unless a kept factorisation is reused, then
// solves into ctx->x: directly, or by combining kept solutions on a live re-solve. False when the
// normal equations are not positive definite or the answer is not finite; x is then unchanged.
bool nl_least_squares_solve(NLContext* ctx);

// The normal equations AᵀA of the stated rows in double precision, factorised by sparse
// Cholesky under a fill-reducing ordering. paired: the free variables come in (u, v) pairs of
// points (columns 2q, 2q + 1), so that rows of a conformal map's shape may be factorised as one
// complex system. Null when the matrix is not positive definite to working precision.
NLCholesky* nl_cholesky_factorize(const NLRowStore& rows, unsigned n, bool paired);
// x = (AᵀA)⁻¹ rhs: two triangular solves. x and rhs may be the same array.
void nl_cholesky_solve(const NLCholesky* factor, const double* rhs, double* x, unsigned n);
void nl_cholesky_release(NLCholesky* factor);
// Entries of the factor (complex ones when it is complex), for benchmarks and tests.
long long nl_cholesky_entries(const NLCholesky* factor);
bool nl_cholesky_is_complex(const NLCholesky* factor);
// The lower half of the normal equations that nl_cholesky_factorize forms, by columns: entry
// (row[e], j) for e in [start[j], start[j + 1]), rows ascending. For tests.
struct NLNormalLower {
    std::vector<int> start;
    std::vector<int> row;
    std::vector<double> value;
};
NLNormalLower nl_normal_equations_lower(const NLRowStore& rows, unsigned n);

// Square systems (ABF's Newton steps): SuperLU's single-precision LU, kept in the context (sgstrf
// once, sgstrs per solve) or made for a single solve and released after it. Every solve is refined
// against the assembled matrix in double precision. Least-squares systems are solved in
// opennl_least_squares.cpp; nl_solve and nl_solve_reusing hand them over.

#include "Lscm/opennl_context.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

thread_local long g_refinement_steps = 0;
thread_local long g_factorizations = 0;
NLFactorOptions g_factor_options = {NL_ORDERING_SYMMETRIC, true, true};

// Refinement stops when a correction no longer shrinks the residual; this bounds a run whose
// residual keeps creeping down without converging.
constexpr int kMaxRefinementSteps = 30;
// A correction this small against the largest value (2^-28) is below a sixteenth of a float's
// last bit.
constexpr double kNegligibleStep = 1.0 / 268435456.0;

void check_matrix_shape(const SparseMatrix* M) {
    NL_ASSERT(M->storage & __NL_ROWS, "M->storage & __NL_ROWS");
    NL_ASSERT(!(M->storage & __NL_SYMMETRIC), "!(M->storage & __NL_SYMMETRIC)");
    NL_ASSERT(M->m == M->n, "M->m == M->n");
}

// sgstrf leaves L and U unset when it gives up for lack of memory; only built ones are destroyed.
void destroy_factors(SuperMatrix* L, SuperMatrix* U) {
    if (L->Store != nullptr)
        Destroy_SuperNode_Matrix(L);
    if (U->Store != nullptr)
        Destroy_CompCol_Matrix(U);
    L->Store = nullptr;
    U->Store = nullptr;
}

// SuperLU 5.3 crashes in its pivot search on a column with no entry at all, and an empty row
// becomes such a column in the transposed view. Either makes the matrix singular, so it is turned
// into the failure SuperLU would have reported.
bool has_empty_line(const NLCompressed& c, unsigned n) {
    auto* column_used = static_cast<unsigned char*>(calloc(n == 0 ? 1 : n, 1));
    if (column_used == nullptr)
        abort();
    bool empty = false;
    for (unsigned i = 0; i < n && !empty; ++i) {
        empty = c.start[i] == c.start[i + 1];
        for (int k = c.start[i]; k < c.start[i + 1]; ++k)
            column_used[unsigned(c.index[k])] = 1;
    }
    for (unsigned j = 0; j < n && !empty; ++j)
        empty = column_used[j] == 0;
    free(column_used);
    return empty;
}

template <typename T> T* new_array(size_t n) {
    T* p = static_cast<T*>(malloc((n == 0 ? 1 : n) * sizeof(T)));
    if (p == nullptr)
        abort();
    return p;
}

// The column ordering into ctx->perm_c: the shared one when there is one of this size, else
// SuperLU's, which then fills an empty shared one. The copy is taken before sp_preorder, which
// may post-order perm_c in place.
void take_ordering(NLContext* ctx, NLOrdering ordering, SuperMatrix* A) {
    NLKeptOrdering* kept = ctx->shared_ordering;
    ctx->shared_ordering = nullptr; // good for this factorisation only
    const unsigned n = ctx->M.n;
    if (kept != nullptr && kept->columns != nullptr && kept->n == n) {
        std::copy(kept->columns, kept->columns + n, ctx->perm_c);
        return;
    }
    get_perm_c(ordering == NL_ORDERING_SYMMETRIC ? 2 : 3, A, ctx->perm_c);
    if (kept != nullptr && kept->columns == nullptr) {
        kept->columns = new_array<int>(n);
        kept->n = n;
        std::copy(ctx->perm_c, ctx->perm_c + n, kept->columns);
    }
}

// Factorises Mᵀ into the context. M's rows are handed to SuperLU as compressed columns, which is
// Mᵀ without a copy; the solves then ask for the transposed system. The matrix itself is kept for
// the refinement's residuals.
bool factorize(NLContext* ctx, NLOrdering ordering) {
    SparseMatrix* M = &ctx->M;
    check_matrix_shape(M);
    nl_release_factorization(ctx); // a failed earlier attempt may have left factors behind

    const int n = static_cast<int>(M->n);
    NLCompressed c = nl_compress_rows(M);
    if (n == 0) {
        // Every variable locked: nothing to factorise (SuperLU leaks on an empty matrix).
        nl_compressed_release(&c);
        return true;
    }
    if (has_empty_line(c, M->n)) {
        nl_compressed_release(&c);
        return false;
    }
    SuperMatrix A{};
    sCreate_CompCol_Matrix(&A, n, n, c.nnz, c.value, c.index, c.start, SLU_NC, SLU_S, SLU_GE);

    superlu_options_t options;
    set_default_options(&options);
    options.Fact = DOFACT;
    options.ColPerm = MY_PERMC;
    if (ordering == NL_ORDERING_SYMMETRIC) {
        // Minimum degree on the pattern of M + Mᵀ, pivots taken on the diagonal: for the
        // symmetric positive definite normal equations this fills in about half as much as the
        // column ordering for unsymmetric matrices, and ABF's Newton systems, symmetric in
        // structure, fill in less than half as much.
        options.SymmetricMode = YES;
        options.DiagPivotThresh = 0.0;
    }
    StatInit(&ctx->stat);

    ctx->perm_c = new_array<int>(M->n);
    ctx->perm_r = new_array<int>(M->n);
    ctx->L = SuperMatrix{};
    ctx->U = SuperMatrix{};
    ctx->alloc_factorization = true;
    take_ordering(ctx, ordering, &A);

    int* etree = new_array<int>(M->n);
    SuperMatrix AC{};
    sp_preorder(&options, &A, ctx->perm_c, etree, &AC);

    // SuperLU's working arrays grow with the panel width w: about 2 w + 7 integers and w + 1
    // floats per column. At its default of 20 they are a seventh of a large factorisation's
    // peak; at 8 they are less than half of that, and factorisations are no slower.
    constexpr int kPanelSize = 8;
    GlobalLU_t glu{};
    int info = 0;
    sgstrf(&options, &AC, sp_ienv(2), kPanelSize, etree, nullptr, 0, ctx->perm_c, ctx->perm_r,
           &ctx->L, &ctx->U, &glu, &ctx->stat, &info);

    Destroy_SuperMatrix_Store(&A);
    Destroy_CompCol_Permuted(&AC);
    free(etree);
    ++nl_factorization_count();
    if (info == 0 && g_factor_options.refine) {
        ctx->kept = c; // for the refinement's residuals
        c = NLCompressed{};
    }
    nl_compressed_release(&c);
    return info == 0;
}

// r = b - M x in double precision against the kept matrix; returns |r|².
double residual(const NLContext* ctx, const double* x, double* r) {
    const NLCompressed& k = ctx->kept;
    const unsigned n = ctx->n;
    double norm = 0.0;
    for (unsigned i = 0; i < n; ++i) {
        double row = 0.0;
        for (int e = k.start[i]; e < k.start[i + 1]; ++e)
            row += double(k.value[e]) * x[unsigned(k.index[e])];
        r[i] = ctx->b[i] - row;
        norm += r[i] * r[i];
    }
    return norm;
}

// Solves M y = rhs in place through the kept factors (SuperLU holds Mᵀ, so the transposed solve).
bool factor_solve(NLContext* ctx, float* rhs) {
    const int n = static_cast<int>(ctx->n);
    SuperMatrix B{};
    sCreate_Dense_Matrix(&B, n, 1, rhs, n, SLU_DN, SLU_S, SLU_GE);
    int info = 0;
    sgstrs(TRANS, &ctx->L, &ctx->U, ctx->perm_c, ctx->perm_r, &B, &ctx->stat, &info);
    Destroy_SuperMatrix_Store(&B);
    return info == 0;
}

// Solves M x = b into ctx->x. Single-precision factors alone lose digits on large systems, so
// the answer is refined: the residual is taken in double precision against the assembled matrix,
// its correction solved through the same factors, for as long as that shrinks the residual.
bool refined_solve(NLContext* ctx) {
    const unsigned n = ctx->n;
    if (n == 0)
        return true;
    float* work = new_array<float>(n);
    double* x = new_array<double>(n);
    double* r = new_array<double>(n);
    double* trial = new_array<double>(n);
    double* trial_r = new_array<double>(n);

    for (unsigned i = 0; i < n; ++i)
        work[i] = float(ctx->b[i]);
    bool ok = factor_solve(ctx, work);
    if (ok) {
        for (unsigned i = 0; i < n; ++i)
            x[i] = double(work[i]);
        const bool refine = ctx->kept.start != nullptr;
        double norm = refine ? residual(ctx, x, r) : 0.0;
        for (int step = 0; refine && step < kMaxRefinementSteps && norm > 0.0; ++step) {
            // Scaled to its largest entry so that a tiny residual keeps its digits in floats.
            double largest = 0.0;
            for (unsigned i = 0; i < n; ++i)
                largest = std::fmax(largest, std::fabs(r[i]));
            if (!(largest > 0.0) || !std::isfinite(largest))
                break;
            for (unsigned i = 0; i < n; ++i)
                work[i] = float(r[i] / largest);
            if (!factor_solve(ctx, work))
                break;
            double step_size = 0.0, size = 0.0;
            for (unsigned i = 0; i < n; ++i) {
                trial[i] = x[i] + double(work[i]) * largest;
                step_size = std::fmax(step_size, std::fabs(double(work[i]) * largest));
                size = std::fmax(size, std::fabs(trial[i]));
            }
            g_refinement_steps++;
            const double trial_norm = residual(ctx, trial, trial_r);
            if (!(trial_norm < norm))
                break;
            double* t = x;
            x = trial;
            trial = t;
            t = r;
            r = trial_r;
            trial_r = t;
            norm = trial_norm;
            if (step_size <= size * kNegligibleStep)
                break;
        }
        // Rounded to floats as the single-precision factors would give it.
        for (unsigned i = 0; i < n; ++i)
            ctx->x[i] = double(float(x[i]));
    }
    free(work);
    free(x);
    free(r);
    free(trial);
    free(trial_r);
    return ok;
}

} // namespace

long nl_refinement_steps() {
    return g_refinement_steps;
}

long nl_factorizations() {
    return g_factorizations;
}

long& nl_factorization_count() {
    return g_factorizations;
}

NLFactorOptions& nl_factor_options() {
    return g_factor_options;
}

void nl_release_factorization(NLContext* ctx) {
    nl_cholesky_release(ctx->cholesky);
    ctx->cholesky = nullptr;
    if (!ctx->alloc_factorization)
        return;
    destroy_factors(&ctx->L, &ctx->U);
    StatFree(&ctx->stat);
    free(ctx->perm_c);
    free(ctx->perm_r);
    ctx->perm_c = ctx->perm_r = nullptr;
    nl_compressed_release(&ctx->kept);
    ctx->alloc_factorization = false;
}

void nl_share_ordering(NLKeptOrdering* kept) {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_SYSTEM_CONSTRUCTED);
    ctx->shared_ordering = kept;
}

void nl_release_ordering(NLKeptOrdering* kept) {
    free(kept->columns);
    *kept = NLKeptOrdering{};
}

bool nl_solve() {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_SYSTEM_CONSTRUCTED);
    // The same factorisation as a kept one, released once the system is solved.
    bool ok = ctx->least_squares
                  ? nl_least_squares_solve(ctx)
                  : factorize(ctx, g_factor_options.square) && refined_solve(ctx) && ctx->n > 0;
    nl_release_factorization(ctx);
    nl_vector_to_variables(ctx);
    ctx->state = NL_STATE_SOLVED;
    return ok || ctx->n == 0;
}

bool nl_solve_reusing(bool keep) {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_SYSTEM_CONSTRUCTED);
    if (ctx->least_squares) {
        if (!nl_least_squares_solve(ctx))
            return false;
    } else {
        if (!ctx->reuse_factorization && !factorize(ctx, g_factor_options.square))
            return false;
        if (!refined_solve(ctx))
            return false;
    }
    nl_vector_to_variables(ctx);
    if (keep)
        ctx->reuse_factorization = true;
    ctx->state = NL_STATE_SYSTEM_SOLVED;
    return true;
}

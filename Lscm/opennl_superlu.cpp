// The solves: a factorisation kept in the context (sgstrf once, sgstrs per solve), or one made
// for a single solve and released after it. Every solve is refined against the assembled matrix.

#include "Lscm/opennl_context.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

thread_local long g_refinement_steps = 0;
thread_local long g_recycled_solves = 0;
thread_local long g_direct_resolves = 0;
NLFactorOptions g_factor_options = {NL_ORDERING_SYMMETRIC, NL_ORDERING_SYMMETRIC, true, true};

// A change of the locked sums whose part outside the kept directions is larger than this share
// of it (in squared norm) is not tried as a combination.
constexpr double kOutsideSpan = 1e-6;
// A combined answer may leave this many times the residual that rounding the first solution to
// floats leaves (squared norms, relative to the right-hand side's).
constexpr double kAcceptFactor = 64.0;

// Refinement stops when a correction no longer shrinks the residual; this bounds a run whose
// residual keeps creeping down without converging.
constexpr int kMaxRefinementSteps = 30;
constexpr int kMaxConjugateGradientSteps = 500;
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

// The normal equations of a least-squares system are symmetric bit for bit (both halves are the
// same products summed in the same order), so the residuals need only the diagonal and the upper
// half of them. A square system is kept whole. Either way the compressed arrays become the
// context's.
void keep_matrix(NLContext* ctx, NLCompressed* c) {
    if (!ctx->least_squares) {
        ctx->kept = *c;
        ctx->kept_upper = false;
        *c = NLCompressed{};
        return;
    }
    const unsigned n = ctx->n;
    int upper = 0;
    for (unsigned i = 0; i < n; ++i)
        for (int e = c->start[i]; e < c->start[i + 1]; ++e)
            upper += unsigned(c->index[e]) >= i ? 1 : 0;
    NLCompressed k{};
    k.nnz = upper;
    k.start = new_array<int>(size_t(n) + 1);
    k.index = new_array<int>(size_t(upper));
    k.value = new_array<float>(size_t(upper));
    int at = 0;
    for (unsigned i = 0; i < n; ++i) {
        k.start[i] = at;
        for (int e = c->start[i]; e < c->start[i + 1]; ++e) {
            if (unsigned(c->index[e]) >= i) {
                k.index[at] = c->index[e];
                k.value[at] = c->value[e];
                ++at;
            }
        }
    }
    k.start[n] = at;
    ctx->kept = k;
    ctx->kept_upper = true;
    nl_compressed_release(c);
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
    if (info == 0 && g_factor_options.refine && !ctx->least_squares)
        keep_matrix(ctx, &c);
    nl_compressed_release(&c);
    return info == 0;
}

// r = -Aᵀ(A x + l) in double precision over the stated rows, where l is each row's locked sum
// (or the given sums): the residual of the normal equations as the rows state them. Returns |r|².
double stated_residual(const NLContext* ctx, const double* x, double* r,
                       const double* locked = nullptr) {
    const NLRowStore& s = ctx->stated;
    for (unsigned i = 0; i < ctx->n; ++i)
        r[i] = 0.0;
    for (unsigned k = 0; k < s.rows; ++k) {
        double rho = locked ? locked[k] : double(s.locked[k]);
        for (unsigned e = s.start[k]; e < s.start[k + 1]; ++e)
            rho += double(s.coeff[e].value) * x[s.coeff[e].index];
        for (unsigned e = s.start[k]; e < s.start[k + 1]; ++e)
            r[s.coeff[e].index] -= double(s.coeff[e].value) * rho;
    }
    double norm = 0.0;
    for (unsigned i = 0; i < ctx->n; ++i)
        norm += r[i] * r[i];
    return norm;
}

// r = b - M x in double precision against the kept matrix; returns |r|².
double residual(const NLContext* ctx, const double* x, double* r) {
    if (ctx->keep_rows)
        return stated_residual(ctx, x, r);
    const NLCompressed& k = ctx->kept;
    const unsigned n = ctx->n;
    for (unsigned i = 0; i < n; ++i)
        r[i] = double(ctx->b[i]);
    for (unsigned i = 0; i < n; ++i) {
        double row = 0.0;
        for (int e = k.start[i]; e < k.start[i + 1]; ++e) {
            const unsigned j = unsigned(k.index[e]);
            const double value = double(k.value[e]);
            row += value * x[j];
            if (ctx->kept_upper && j != i)
                r[j] -= value * x[i];
        }
        r[i] -= row;
    }
    double norm = 0.0;
    for (unsigned i = 0; i < n; ++i)
        norm += r[i] * r[i];
    return norm;
}

// q = AᵀA p in double precision over the stated rows (the normal equations without l).
void stated_product(const NLContext* ctx, const double* p, double* q) {
    const NLRowStore& s = ctx->stated;
    for (unsigned i = 0; i < ctx->n; ++i)
        q[i] = 0.0;
    for (unsigned k = 0; k < s.rows; ++k) {
        double rho = 0.0;
        for (unsigned e = s.start[k]; e < s.start[k + 1]; ++e)
            rho += double(s.coeff[e].value) * p[s.coeff[e].index];
        for (unsigned e = s.start[k]; e < s.start[k + 1]; ++e)
            q[s.coeff[e].index] += double(s.coeff[e].value) * rho;
    }
}

double dot(const double* a, const double* b, unsigned n) {
    double sum = 0.0;
    for (unsigned i = 0; i < n; ++i)
        sum += a[i] * b[i];
    return sum;
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

// z = (LU)⁻¹ r through the single-precision factors, r scaled to its largest entry so that a
// tiny residual keeps its digits in floats.
bool apply_factors(NLContext* ctx, const double* r, float* work, double* z) {
    const unsigned n = ctx->n;
    double largest = 0.0;
    for (unsigned i = 0; i < n; ++i)
        largest = std::fmax(largest, std::fabs(r[i]));
    if (!(largest > 0.0) || !std::isfinite(largest))
        return false;
    for (unsigned i = 0; i < n; ++i)
        work[i] = float(r[i] / largest);
    if (!factor_solve(ctx, work))
        return false;
    for (unsigned i = 0; i < n; ++i)
        z[i] = double(work[i]) * largest;
    return true;
}

// The normal equations of a large chart are too ill-conditioned for plain refinement with
// single-precision factors to converge in reasonable time (it creeps at a rate near one), so the
// corrections through the factors are combined by conjugate gradients, which the symmetric
// positive definite system allows. Iterates are judged by the least-squares energy ½|Ax + l|²,
// which each step of exact conjugate gradients lowers, followed step by step in double
// precision: the lowest is kept, and the run ends when a few steps have not lowered it. The
// residual's norm is no such judge: it may grow for many steps while the error shrinks, and
// judged by it a large chart stopped with a few triangles still folded. The rows' locked sums are
// the stated ones, or the given ones.
void conjugate_gradients(NLContext* ctx, double* x, float* work, const double* locked = nullptr) {
    constexpr int kStall = 8;
    const unsigned n = ctx->n;
    double* r = new_array<double>(n);
    double* z = new_array<double>(n);
    double* p = new_array<double>(n);
    double* q = new_array<double>(n);
    double* r_old = new_array<double>(n);
    double* best = new_array<double>(n);
    double norm = stated_residual(ctx, x, r, locked);
    double energy = 0.0, best_energy = 0.0; // against the first iterate's
    for (unsigned i = 0; i < n; ++i)
        best[i] = x[i];
    if (norm > 0.0 && apply_factors(ctx, r, work, z)) {
        for (unsigned i = 0; i < n; ++i)
            p[i] = z[i];
        double rz = dot(r, z, n);
        int stalled = 0;
        for (int step = 0; step < kMaxConjugateGradientSteps && stalled < kStall; ++step) {
            stated_product(ctx, p, q);
            const double pq = dot(p, q, n);
            if (!(pq > 0.0) || !(rz > 0.0))
                break;
            const double alpha = rz / pq;
            energy += alpha * (0.5 * alpha * pq - dot(p, r, n));
            double step_size = 0.0, size = 0.0;
            for (unsigned i = 0; i < n; ++i) {
                x[i] += alpha * p[i];
                r_old[i] = r[i];
                r[i] -= alpha * q[i];
                step_size = std::fmax(step_size, std::fabs(alpha * p[i]));
                size = std::fmax(size, std::fabs(x[i]));
            }
            g_refinement_steps++;
            norm = dot(r, r, n);
            if (energy < best_energy) {
                best_energy = energy;
                for (unsigned i = 0; i < n; ++i)
                    best[i] = x[i];
                stalled = 0;
            } else {
                ++stalled;
            }
            // The answer is kept in single precision: a step below a fraction of its last bit
            // changes nothing that is kept.
            if (step_size <= size * kNegligibleStep)
                break;
            if (!(norm > 0.0) || !apply_factors(ctx, r, work, z))
                break;
            // Polak-Ribière form: the single-precision solves are not exactly linear.
            double rz_new = dot(r, z, n), rz_mixed = dot(r_old, z, n);
            const double beta = std::fmax(0.0, (rz_new - rz_mixed) / rz);
            rz = rz_new;
            for (unsigned i = 0; i < n; ++i)
                p[i] = z[i] + beta * p[i];
        }
    }
    for (unsigned i = 0; i < n; ++i)
        x[i] = best[i];
    free(r);
    free(z);
    free(p);
    free(q);
    free(r_old);
    free(best);
}

// Solves M x = b into ctx->x. Single-precision factors alone lose too much on large charts, so
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
        work[i] = ctx->b[i];
    bool ok = factor_solve(ctx, work);
    if (ok) {
        for (unsigned i = 0; i < n; ++i)
            x[i] = double(work[i]);
        if (ctx->keep_rows && ctx->stated.rows > 0) {
            conjugate_gradients(ctx, x, work);
            for (unsigned i = 0; i < n; ++i)
                ctx->x[i] = float(x[i]);
            free(work);
            free(x);
            free(r);
            free(trial);
            free(trial_r);
            return true;
        }
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
        for (unsigned i = 0; i < n; ++i)
            ctx->x[i] = float(x[i]);
    }
    free(work);
    free(x);
    free(r);
    free(trial);
    free(trial_r);
    return ok;
}

bool recycling(const NLContext* ctx) {
    return g_factor_options.recycle && ctx->keep_rows && ctx->stated.rows > 0 && ctx->n > 0;
}

double rhs_norm(const NLContext* ctx) {
    double norm = 0.0;
    for (unsigned i = 0; i < ctx->n; ++i)
        norm += double(ctx->b[i]) * double(ctx->b[i]);
    return norm;
}

// Residual of the current float solution, relative to the right-hand side: what rounding the
// answer to floats leaves; a combined answer is held to a multiple of it.
void raise_accept(NLContext* ctx, double* scratch) {
    const unsigned n = ctx->n;
    double* x = new_array<double>(n);
    for (unsigned i = 0; i < n; ++i)
        x[i] = double(ctx->x[i]);
    const double b = rhs_norm(ctx);
    if (b > 0.0)
        ctx->recycle.accept =
            std::fmax(ctx->recycle.accept, kAcceptFactor * stated_residual(ctx, x, scratch) / b);
    free(x);
}

// The change of the locked rows' sums against the first solve.
void locked_change(const NLContext* ctx, double* change) {
    const NLRowStore& s = ctx->stated;
    for (unsigned j = 0; j < s.nlocked_rows; ++j)
        change[j] = double(s.locked[s.locked_rows[j]]) - ctx->recycle.locked0[j];
}

// Tries to answer the stated system by combining kept solutions; false when the change of the
// locked sums lies outside their span or the combination's residual is too large. The residual
// of the combination is the first one's plus the kept directions' changes of it, less Aᵀ of the
// part of the change outside them: all in double precision, without a pass over every row.
bool recycled_solve(NLContext* ctx) {
    NLRecycle& rc = ctx->recycle;
    const NLRowStore& s = ctx->stated;
    const unsigned m = s.nlocked_rows, n = ctx->n;
    double* outside = new_array<double>(m == 0 ? 1 : m);
    locked_change(ctx, outside);
    double total = 0.0;
    for (unsigned j = 0; j < m; ++j)
        total += outside[j] * outside[j];
    double c[NL_RECYCLE_DIRECTIONS] = {};
    for (int d = 0; d < rc.count; ++d) {
        for (unsigned j = 0; j < m; ++j)
            c[d] += outside[j] * rc.dl[d][j];
    }
    double left = 0.0;
    for (unsigned j = 0; j < m; ++j) {
        for (int d = 0; d < rc.count; ++d)
            outside[j] -= c[d] * rc.dl[d][j];
        left += outside[j] * outside[j];
    }
    if (total > 0.0 && left > kOutsideSpan * total) {
        free(outside);
        return false;
    }

    double* x = new_array<double>(n);
    double* r = new_array<double>(n);
    for (unsigned i = 0; i < n; ++i) {
        double value = rc.x0[i], rest = rc.r0[i];
        for (int d = 0; d < rc.count; ++d) {
            value += c[d] * rc.dx[d][i];
            rest += c[d] * rc.dr[d][i];
        }
        x[i] = value;
        r[i] = rest;
    }
    for (unsigned j = 0; j < m; ++j) {
        const unsigned k = s.locked_rows[j];
        for (unsigned e = s.start[k]; e < s.start[k + 1]; ++e)
            r[s.coeff[e].index] -= double(s.coeff[e].value) * outside[j];
    }
    free(outside);
    const double b = rhs_norm(ctx);
    const bool ok = dot(r, r, n) <= rc.accept * b;
    if (ok) {
        for (unsigned i = 0; i < n; ++i)
            ctx->x[i] = float(x[i]);
    }
    free(x);
    free(r);
    return ok;
}

// After a direct re-solve: its change against the base, made orthogonal to the kept ones,
// becomes a new direction (the oldest gives way when all are taken).
void remember(NLContext* ctx) {
    NLRecycle& rc = ctx->recycle;
    const NLRowStore& s = ctx->stated;
    const unsigned m = s.nlocked_rows, n = ctx->n;
    if (rc.count == NL_RECYCLE_DIRECTIONS) {
        // Kept in order of age: the first is the oldest.
        free(rc.dl[0]);
        free(rc.dx[0]);
        free(rc.dr[0]);
        for (int d = 0; d + 1 < rc.count; ++d) {
            rc.dl[d] = rc.dl[d + 1];
            rc.dx[d] = rc.dx[d + 1];
            rc.dr[d] = rc.dr[d + 1];
        }
        --rc.count;
    }
    double* dl = new_array<double>(m == 0 ? 1 : m);
    locked_change(ctx, dl);
    double total = 0.0;
    for (unsigned j = 0; j < m; ++j)
        total += dl[j] * dl[j];
    // Twice, as rounding leaves the first pass slightly off orthogonal.
    for (int pass = 0; pass < 2; ++pass) {
        for (int d = 0; d < rc.count; ++d) {
            double c = 0.0;
            for (unsigned j = 0; j < m; ++j)
                c += dl[j] * rc.dl[d][j];
            for (unsigned j = 0; j < m; ++j)
                dl[j] -= c * rc.dl[d][j];
        }
    }
    double left = 0.0;
    for (unsigned j = 0; j < m; ++j)
        left += dl[j] * dl[j];
    if (total > 0.0 && left > kOutsideSpan * total) {
        const double scale = 1.0 / std::sqrt(left);
        for (unsigned j = 0; j < m; ++j)
            dl[j] *= scale;
        // The direction's own solution, refined against its own size: the difference of two
        // float answers would carry their rounding, which a large multiple of it magnifies.
        double* sums = new_array<double>(s.rows == 0 ? 1 : s.rows);
        for (unsigned k = 0; k < s.rows; ++k)
            sums[k] = 0.0;
        for (unsigned j = 0; j < m; ++j)
            sums[s.locked_rows[j]] = dl[j];
        double* dx = new_array<double>(n);
        double* dr = new_array<double>(n);
        float* work = new_array<float>(n);
        for (unsigned i = 0; i < n; ++i)
            dx[i] = 0.0;
        conjugate_gradients(ctx, dx, work, sums);
        stated_residual(ctx, dx, dr, sums);
        free(work);
        free(sums);
        rc.dl[rc.count] = dl;
        rc.dx[rc.count] = dx;
        rc.dr[rc.count] = dr;
        ++rc.count;
    } else {
        free(dl);
    }
    double* scratch = new_array<double>(n);
    raise_accept(ctx, scratch);
    free(scratch);
}

// The statement just solved directly becomes the base that later changes are measured from.
// Changes near the base need small multiples of the kept directions, and a multiple magnifies
// the rounding each direction's sums carry.
void rebase(NLContext* ctx) {
    NLRecycle& rc = ctx->recycle;
    const NLRowStore& s = ctx->stated;
    for (unsigned j = 0; j < s.nlocked_rows; ++j)
        rc.locked0[j] = double(s.locked[s.locked_rows[j]]);
    for (unsigned i = 0; i < ctx->n; ++i)
        rc.x0[i] = double(ctx->x[i]);
    stated_residual(ctx, rc.x0, rc.r0);
}

} // namespace

void nl_recycle_start(NLContext* ctx) {
    NLRecycle& rc = ctx->recycle;
    if (rc.locked0 != nullptr || !recycling(ctx))
        return;
    const unsigned m = ctx->stated.nlocked_rows, n = ctx->n;
    rc.locked0 = new_array<double>(m == 0 ? 1 : m);
    rc.x0 = new_array<double>(n);
    rc.r0 = new_array<double>(n);
    rebase(ctx);
    double* scratch = new_array<double>(n);
    raise_accept(ctx, scratch);
    free(scratch);
}

void nl_recycle_release(NLRecycle* rc) {
    free(rc->locked0);
    free(rc->x0);
    free(rc->r0);
    for (int d = 0; d < rc->count; ++d) {
        free(rc->dl[d]);
        free(rc->dx[d]);
        free(rc->dr[d]);
    }
    *rc = NLRecycle{};
}

long nl_recycled_solves() {
    return g_recycled_solves;
}

long nl_direct_resolves() {
    return g_direct_resolves;
}

long nl_refinement_steps() {
    return g_refinement_steps;
}

NLFactorOptions& nl_factor_options() {
    return g_factor_options;
}

void nl_release_factorization(NLContext* ctx) {
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
    bool ok = factorize(ctx, g_factor_options.square) && refined_solve(ctx) && ctx->n > 0;
    nl_release_factorization(ctx);
    nl_vector_to_variables(ctx);
    ctx->state = NL_STATE_SOLVED;
    return ok || ctx->n == 0;
}

bool nl_solve_reusing(bool keep) {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_SYSTEM_CONSTRUCTED);
    if (!ctx->reuse_factorization &&
        !factorize(ctx,
                   ctx->least_squares ? g_factor_options.least_squares : g_factor_options.square))
        return false;
    const bool base = ctx->reuse_factorization && ctx->recycle.locked0 != nullptr &&
                      !ctx->recycle.pattern_changed;
    if (base && recycling(ctx) && recycled_solve(ctx)) {
        ++g_recycled_solves;
    } else {
        if (!refined_solve(ctx))
            return false;
        if (ctx->reuse_factorization)
            ++g_direct_resolves;
        if (base && recycling(ctx)) {
            remember(ctx);
            rebase(ctx);
        }
    }

    nl_vector_to_variables(ctx);
    if (keep)
        ctx->reuse_factorization = true;
    ctx->state = NL_STATE_SYSTEM_SOLVED;
    return true;
}

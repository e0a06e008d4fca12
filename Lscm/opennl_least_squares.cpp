// Least-squares solves: the normal equations factorised once by sparse Cholesky in double
// precision (opennl_cholesky.cpp), then solved directly, or, on live re-solves whose locked sums
// move along directions solved before, answered by combining those solutions.

#include "Lscm/opennl_context.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

thread_local long g_recycled_solves = 0;
thread_local long g_direct_resolves = 0;
thread_local long g_refinement_steps = 0;

// Corrections of a solve: a few suffice, as each gains the digits the squared condition costs.
constexpr int kMaxRefinementSteps = 4;
// A correction this small against the largest value (2^-32) changes nothing of a float answer.
constexpr double kNegligibleStep = 1.0 / 4294967296.0;

// A change of the locked sums whose part outside the kept directions is larger than this share
// of it (in squared norm) is not tried as a combination.
constexpr double kOutsideSpan = 1e-6;
// A combined answer may leave this many times the residual that rounding the direct solution to
// floats leaves (squared norms, relative to the right-hand side's).
constexpr double kAcceptFactor = 64.0;

template <typename T> T* new_array(size_t n) {
    T* p = static_cast<T*>(malloc((n == 0 ? 1 : n) * sizeof(T)));
    if (p == nullptr)
        abort();
    return p;
}

double dot(const double* a, const double* b, unsigned n) {
    double sum = 0.0;
    for (unsigned i = 0; i < n; ++i)
        sum += a[i] * b[i];
    return sum;
}

// r = -Aᵀ(A x + l) over the stated rows, where l is each row's locked sum (or the given sums): the
// residual of the normal equations as the rows state them. Returns |r|².
double stated_residual(const NLContext* ctx, const double* x, double* r,
                       const double* locked = nullptr) {
    const NLRowStore& s = ctx->stated;
    for (unsigned i = 0; i < ctx->n; ++i)
        r[i] = 0.0;
    for (unsigned k = 0; k < s.rows; ++k) {
        double rho = locked ? locked[k] : s.locked[k];
        for (unsigned e = s.start[k]; e < s.start[k + 1]; ++e)
            rho += double(s.coeff[e].value) * x[s.coeff[e].index];
        for (unsigned e = s.start[k]; e < s.start[k + 1]; ++e)
            r[s.coeff[e].index] -= double(s.coeff[e].value) * rho;
    }
    return dot(r, r, ctx->n);
}

// x = N⁻¹ rhs through the kept factors, refined against the stated rows (with the given locked
// sums, or the stated ones). The normal equations square the condition of the rows: on a long
// chart a plain solve in double precision loses most of its digits, while the residual taken
// from the rows themselves loses only as many as the rows' own condition costs, so a few
// corrections through the same factors bring the answer back to that accuracy.
void refined_solve(const NLContext* ctx, const double* rhs, double* x,
                   const double* locked = nullptr) {
    const unsigned n = ctx->n;
    nl_cholesky_solve(ctx->cholesky, rhs, x, n);
    double* r = new_array<double>(n);
    double* d = new_array<double>(n);
    double norm = stated_residual(ctx, x, r, locked);
    for (int step = 0; step < kMaxRefinementSteps && norm > 0.0; ++step) {
        nl_cholesky_solve(ctx->cholesky, r, d, n);
        double largest_step = 0.0, largest = 0.0;
        for (unsigned i = 0; i < n; ++i) {
            x[i] += d[i];
            largest_step = std::fmax(largest_step, std::fabs(d[i]));
            largest = std::fmax(largest, std::fabs(x[i]));
        }
        ++g_refinement_steps;
        if (!(largest_step > kNegligibleStep * largest))
            break;
        const double next = stated_residual(ctx, x, r, locked);
        if (!(next < norm))
            break;
        norm = next;
    }
    free(r);
    free(d);
}

// Whether the free variables are whole (u, v) pairs: 2p and 2p + 1 both free or both locked.
bool free_in_pairs(const NLContext* ctx) {
    if (ctx->nb_variables % 2 != 0)
        return false;
    for (unsigned v = 0; v < ctx->nb_variables; v += 2)
        if (ctx->variable[v].locked != ctx->variable[v + 1].locked)
            return false;
    return true;
}

// x = N⁻¹ b; false when the answer is not finite.
bool direct_solve(NLContext* ctx) {
    const unsigned n = ctx->n;
    if (n == 0)
        return true;
    double* x = new_array<double>(n);
    refined_solve(ctx, ctx->b, x);
    bool finite = true;
    for (unsigned i = 0; i < n && finite; ++i)
        finite = std::isfinite(x[i]);
    if (finite)
        std::copy(x, x + n, ctx->x);
    free(x);
    return finite;
}

bool recycling(const NLContext* ctx) {
    return nl_factor_options().recycle && ctx->keep_rows && ctx->stated.rows > 0 && ctx->n > 0;
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
        x[i] = double(float(ctx->x[i]));
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
            ctx->x[i] = x[i];
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
        // The direction's own solution, N dx = −Aᵀ dl, rather than the difference of two answers,
        // which would carry their rounding into every multiple of it.
        double* sums = new_array<double>(s.rows == 0 ? 1 : s.rows);
        for (unsigned k = 0; k < s.rows; ++k)
            sums[k] = 0.0;
        double* dx = new_array<double>(n);
        double* dr = new_array<double>(n);
        for (unsigned i = 0; i < n; ++i)
            dr[i] = 0.0;
        for (unsigned j = 0; j < m; ++j) {
            const unsigned k = s.locked_rows[j];
            sums[k] = dl[j];
            for (unsigned e = s.start[k]; e < s.start[k + 1]; ++e)
                dr[s.coeff[e].index] -= double(s.coeff[e].value) * dl[j];
        }
        refined_solve(ctx, dr, dx, sums);
        stated_residual(ctx, dx, dr, sums);
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

long nl_least_squares_refinement_steps() {
    return g_refinement_steps;
}

long nl_recycled_solves() {
    return g_recycled_solves;
}

long nl_direct_resolves() {
    return g_direct_resolves;
}

bool nl_least_squares_solve(NLContext* ctx) {
    if (!ctx->reuse_factorization) {
        nl_release_factorization(ctx); // a failed earlier attempt leaves nothing behind
        if (ctx->n == 0)
            return true; // every variable locked: nothing to factorise
        ctx->cholesky = nl_cholesky_factorize(ctx->stated, ctx->n, free_in_pairs(ctx));
        if (ctx->cholesky == nullptr)
            return false;
    }
    const bool base = ctx->reuse_factorization && ctx->recycle.locked0 != nullptr &&
                      !ctx->recycle.pattern_changed;
    if (base && recycling(ctx) && recycled_solve(ctx)) {
        ++g_recycled_solves;
        return true;
    }
    if (!direct_solve(ctx))
        return false;
    if (ctx->reuse_factorization)
        ++g_direct_resolves;
    if (base && recycling(ctx)) {
        remember(ctx);
        rebase(ctx);
    }
    return true;
}

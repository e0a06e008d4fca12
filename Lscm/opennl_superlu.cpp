// The solves: one-shot through sgssv, or a factorisation kept in the context (sgstrf once,
// sgstrs per solve).

#include "Lscm/opennl_context.h"

#include <cstdlib>

namespace {

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

int* new_permutation(unsigned n) {
    int* p = static_cast<int*>(malloc((n == 0 ? 1 : n) * sizeof(int)));
    if (p == nullptr)
        abort();
    return p;
}

// Factorises Mᵀ into the context. M's rows are handed to SuperLU as compressed columns, which is
// Mᵀ without a copy; the solve then asks for the transposed system.
bool factorize(NLContext* ctx) {
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
    StatInit(&ctx->stat);

    ctx->perm_c = new_permutation(M->n);
    ctx->perm_r = new_permutation(M->n);
    ctx->L = SuperMatrix{};
    ctx->U = SuperMatrix{};
    ctx->alloc_factorization = true;
    get_perm_c(3, &A, ctx->perm_c); // COLAMD

    int* etree = new_permutation(M->n);
    SuperMatrix AC{};
    sp_preorder(&options, &A, ctx->perm_c, etree, &AC);

    GlobalLU_t glu{};
    int info = 0;
    sgstrf(&options, &AC, sp_ienv(2), sp_ienv(1), etree, nullptr, 0, ctx->perm_c, ctx->perm_r,
           &ctx->L, &ctx->U, &glu, &ctx->stat, &info);

    Destroy_SuperMatrix_Store(&A);
    Destroy_CompCol_Permuted(&AC);
    free(etree);
    nl_compressed_release(&c);
    return info == 0;
}

} // namespace

void nl_release_factorization(NLContext* ctx) {
    if (!ctx->alloc_factorization)
        return;
    destroy_factors(&ctx->L, &ctx->U);
    StatFree(&ctx->stat);
    free(ctx->perm_c);
    free(ctx->perm_r);
    ctx->perm_c = ctx->perm_r = nullptr;
    ctx->alloc_factorization = false;
}

bool nl_solve() {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_SYSTEM_CONSTRUCTED);
    SparseMatrix* M = &ctx->M;
    check_matrix_shape(M);

    const int n = static_cast<int>(M->n);
    NLCompressed c = nl_compress_rows(M);
    if (n == 0 || has_empty_line(c, M->n)) {
        nl_compressed_release(&c);
        nl_vector_to_variables(ctx);
        ctx->state = NL_STATE_SOLVED;
        return n == 0;
    }
    SuperMatrix A{}, B{}, L{}, U{};
    sCreate_CompCol_Matrix(&A, n, n, c.nnz, c.value, c.index, c.start, SLU_NR, SLU_S, SLU_GE);
    sCreate_Dense_Matrix(&B, n, 1, ctx->b, n, SLU_DN, SLU_S, SLU_GE);

    int* perm_c = new_permutation(M->n);
    int* perm_r = new_permutation(M->n);
    get_perm_c(3, &A, perm_c); // COLAMD
    superlu_options_t options;
    set_default_options(&options);
    options.ColPerm = MY_PERMC;
    SuperLUStat_t stat;
    StatInit(&stat);

    int info = 0;
    sgssv(&options, &A, perm_c, perm_r, &L, &U, &B, &stat, &info);
    const bool ok = info == 0;
    if (ok) {
        for (unsigned i = 0; i < M->n; ++i)
            ctx->x[i] = ctx->b[i];
    }

    Destroy_SuperMatrix_Store(&A);
    Destroy_SuperMatrix_Store(&B);
    destroy_factors(&L, &U);
    StatFree(&stat);
    free(perm_c);
    free(perm_r);
    nl_compressed_release(&c);

    nl_vector_to_variables(ctx);
    ctx->state = NL_STATE_SOLVED;
    return ok;
}

bool nl_solve_reusing(bool keep) {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_SYSTEM_CONSTRUCTED);
    if (!ctx->reuse_factorization && !factorize(ctx))
        return false;

    const int n = static_cast<int>(ctx->n);
    if (n > 0) {
        SuperMatrix B{};
        sCreate_Dense_Matrix(&B, n, 1, ctx->b, n, SLU_DN, SLU_S, SLU_GE);
        int info = 0;
        // SuperLU holds Mᵀ, so the transposed solve is M x = b.
        sgstrs(TRANS, &ctx->L, &ctx->U, ctx->perm_c, ctx->perm_r, &B, &ctx->stat, &info);
        Destroy_SuperMatrix_Store(&B);
        if (info != 0)
            return false;
    }
    for (unsigned i = 0; i < ctx->n; ++i)
        ctx->x[i] = ctx->b[i];

    nl_vector_to_variables(ctx);
    if (keep)
        ctx->reuse_factorization = true;
    ctx->state = NL_STATE_SYSTEM_SOLVED;
    return true;
}

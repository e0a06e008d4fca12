// Context, state machine and assembly of the solver layer. Least-squares systems are solved in
// opennl_least_squares.cpp, square ones in opennl_superlu.cpp.

#include "Lscm/blas_threads.h"
#include "Lscm/opennl_context.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// Each thread has its own current context, so that charts can be solved on several threads at
// once, each through contexts of its own.
thread_local NLContext* current_context = nullptr;

// The name the layer reports itself by in its failure lines.
constexpr const char* NL_SOURCE = ".\\Lscm\\opennl";

NLContext* checked_current(int line) {
    if (current_context == nullptr)
        nl_fail_assert("__nlCurrentContext != NULL", line);
    return current_context;
}

void sparse_matrix_construct(SparseMatrix* M, unsigned m, unsigned n) {
    M->m = m;
    M->n = n;
    M->storage = __NL_ROWS;
    M->rows = static_cast<SparseRow*>(calloc(m == 0 ? 1 : m, sizeof(SparseRow)));
    if (M->rows == nullptr)
        abort();
}

void sparse_matrix_destroy(SparseMatrix* M) {
    if (M->rows != nullptr) {
        for (unsigned i = 0; i < M->m; ++i)
            nl_row_release(&M->rows[i]);
        free(M->rows);
    }
    M->rows = nullptr;
    M->m = M->n = 0;
}

void sparse_matrix_add(SparseMatrix* M, unsigned i, unsigned j, float value) {
    nl_row_add(&M->rows[i], j, value);
}

double* new_vector(unsigned n) {
    double* v = static_cast<double*>(calloc(n == 0 ? 1 : n, sizeof(double)));
    if (v == nullptr)
        abort();
    return v;
}

void begin_system() {
    NLContext* ctx = checked_current(__LINE__);
    NL_ASSERT(ctx->nb_variables > 0, "__nlCurrentContext->nb_variables > 0");
    if (ctx->reuse_factorization) {
        NL_CONTEXT_IN_STATE(NL_STATE_SYSTEM_SOLVED);
    } else {
        NL_CONTEXT_IN_STATE(__NL_STATE_INITIAL);
        ctx->variable = static_cast<NLVariable*>(calloc(ctx->nb_variables, sizeof(NLVariable)));
        if (ctx->variable == nullptr)
            abort();
        ctx->alloc_variable = true;
    }
    ctx->state = NL_STATE_SYSTEM;
}

// A re-statement of a kept least-squares system: the rows already stated keep their free terms,
// so only their locked sums are taken.
inline bool restating_kept_row(const NLContext* ctx) {
    return ctx->least_squares && ctx->reuse_factorization && ctx->keep_rows &&
           ctx->current_row < ctx->stated.rows;
}

// Follows the re-statement along the rows that had locked terms when the system was built.
void note_locked_terms(NLContext* ctx, bool has_locked) {
    NLRecycle& rc = ctx->recycle;
    const NLRowStore& s = ctx->stated;
    if (rc.next_locked < s.nlocked_rows && s.locked_rows[rc.next_locked] == ctx->current_row)
        ++rc.next_locked;
    else if (has_locked)
        rc.pattern_changed = true;
}

// b -= Aᵀ l over the kept rows, row by row in order as their statement would have done it; a row
// whose sum is zero leaves b as it is. Once per statement.
void add_locked_sums_to_b(NLContext* ctx) {
    if (!ctx->b_pending)
        return;
    ctx->b_pending = false;
    const NLRowStore& s = ctx->stated;
    auto add_row = [&](unsigned k) {
        const double L = s.locked[k];
        if (L == 0.0)
            return;
        for (unsigned e = s.start[k]; e < s.start[k + 1]; ++e)
            ctx->b[s.coeff[e].index] -= double(s.coeff[e].value) * L;
    };
    if (ctx->recycle.pattern_changed) {
        for (unsigned k = 0; k < s.rows; ++k)
            add_row(k);
    } else {
        for (unsigned j = 0; j < s.nlocked_rows; ++j)
            add_row(s.locked_rows[j]);
    }
}

void begin_matrix() {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_SYSTEM);
    if (!ctx->reuse_factorization) {
        unsigned n = 0;
        for (unsigned i = 0; i < ctx->nb_variables; ++i) {
            NLVariable* v = &ctx->variable[i];
            v->index = v->locked ? NL_NO_INDEX : n++;
        }
        ctx->n = n;
        // Least-squares rows are kept as stated; their normal equations are formed at the
        // factorisation, in double precision.
        if (!ctx->least_squares) {
            sparse_matrix_construct(&ctx->M, n, n);
            ctx->alloc_M = true;
        }
        ctx->x = new_vector(n);
        ctx->alloc_x = true;
        ctx->b = new_vector(n);
        ctx->alloc_b = true;
        ctx->keep_rows = ctx->least_squares;
    } else {
        nl_recycle_start(ctx);
        for (unsigned i = 0; i < ctx->n; ++i)
            ctx->b[i] = 0.0;
        ctx->recycle.pattern_changed = false;
        ctx->recycle.next_locked = 0;
        ctx->b_pending = ctx->least_squares && ctx->keep_rows;
    }
    nl_variables_to_vector(ctx);
    nl_row_clear(&ctx->row_free);
    nl_row_clear(&ctx->row_locked);
    ctx->alloc_row_free = true;
    ctx->alloc_row_locked = true;
    ctx->current_row = 0;
    ctx->state = NL_STATE_MATRIX;
}

void begin_row() {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_MATRIX);
    nl_row_clear(&ctx->row_free);
    nl_row_clear(&ctx->row_locked);
    ctx->state = NL_STATE_ROW;
}

void end_row() {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_ROW);
    const SparseRow& af = ctx->row_free;
    const SparseRow& al = ctx->row_locked;
    // The locked terms hold (variable, coefficient); their sum is taken in double precision.
    double L = 0.0;
    for (unsigned k = 0; k < al.size; ++k)
        L += double(al.coeff[k].value) * double(ctx->variable[al.coeff[k].index].value);

    if (ctx->least_squares) {
        // The row Σ a_p x_p + L = 0: its free terms are kept as stated (the normal equations are
        // formed from them at the factorisation); the locked part goes to b = −Aᵀl.
        if (restating_kept_row(ctx)) {
            // The free terms are those of the kept row: b takes the row's sum at the end.
            ctx->stated.locked[ctx->current_row] = L;
            note_locked_terms(ctx, al.size > 0);
        } else {
            if (ctx->reuse_factorization && ctx->keep_rows)
                add_locked_sums_to_b(ctx);
            for (unsigned p = 0; p < af.size; ++p)
                ctx->b[af.coeff[p].index] -= double(af.coeff[p].value) * L;
            if (ctx->keep_rows && !ctx->reuse_factorization)
                nl_rows_append(&ctx->stated, &af, L, al.size > 0);
        }
    } else {
        // A square system has one row per free variable; more rows would land outside M and b.
        NL_RANGE_ASSERT(ctx->current_row, 0, double(ctx->n) - 1.0);
        if (!ctx->reuse_factorization) {
            for (unsigned p = 0; p < af.size; ++p)
                sparse_matrix_add(&ctx->M, ctx->current_row, af.coeff[p].index,
                                  float(af.coeff[p].value));
        }
        ctx->b[ctx->current_row] = double(float(-L));
    }
    ++ctx->current_row;
    ctx->state = NL_STATE_MATRIX;
}

void end_matrix() {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_MATRIX);
    if (ctx->least_squares && ctx->reuse_factorization && ctx->keep_rows)
        add_locked_sums_to_b(ctx);
    nl_row_release(&ctx->row_free);
    nl_row_release(&ctx->row_locked);
    ctx->alloc_row_free = false;
    ctx->alloc_row_locked = false;
    ctx->state = NL_STATE_MATRIX_CONSTRUCTED;
}

void end_system() {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_MATRIX_CONSTRUCTED);
    ctx->state = NL_STATE_SYSTEM_CONSTRUCTED;
}

} // namespace

// ---- failure reports ---------------------------------------------------------------------------

void nl_fail_assert(const char* condition, int line) {
    fprintf(stderr, "OpenNL assertion failed: %s, file:%s, line:%d\n", condition, NL_SOURCE, line);
    abort();
}

void nl_fail_range(double value, double low, double high, int line) {
    fprintf(stderr, "OpenNL range assertion failed: %f in [ %f ... %f ], file:%s, line:%d\n", value,
            low, high, NL_SOURCE, line);
    abort();
}

void nl_fail_unreachable(int line) {
    fprintf(stderr, "OpenNL should not have reached this point: file:%s, line:%d\n", NL_SOURCE,
            line);
    abort();
}

NLContext* nl_context_in_state(int state, int line) {
    NLContext* ctx = checked_current(line);
    if (ctx->state != state)
        nl_fail_assert("__nlCurrentContext->state == state", line);
    return ctx;
}

// ---- sparse rows -------------------------------------------------------------------------------

void nl_row_append(SparseRow* row, unsigned index, double value) {
    if (row->size == row->capacity) {
        unsigned capacity = row->capacity == 0 ? 4 : row->capacity * 2;
        auto* grown = static_cast<NLCoeff*>(realloc(row->coeff, capacity * sizeof(NLCoeff)));
        if (grown == nullptr)
            abort();
        row->coeff = grown;
        row->capacity = capacity;
    }
    row->coeff[row->size++] = NLCoeff{index, value};
}

void nl_row_add(SparseRow* row, unsigned index, float value) {
    for (unsigned k = 0; k < row->size; ++k) {
        if (row->coeff[k].index == index) {
            row->coeff[k].value = double(float(row->coeff[k].value) + value);
            return;
        }
    }
    nl_row_append(row, index, value);
}

void nl_row_clear(SparseRow* row) {
    row->size = 0;
}

void nl_row_release(SparseRow* row) {
    free(row->coeff);
    row->coeff = nullptr;
    row->size = row->capacity = 0;
}

// ---- stated rows ----------------------------------------------------------------------------

template <typename T> T* grow(T* array, unsigned* capacity, unsigned needed) {
    if (needed <= *capacity)
        return array;
    unsigned next = *capacity == 0 ? 64 : *capacity;
    while (next < needed)
        next *= 2;
    auto* grown = static_cast<T*>(realloc(array, size_t(next) * sizeof(T)));
    if (grown == nullptr)
        abort();
    *capacity = next;
    return grown;
}

void nl_rows_append(NLRowStore* store, const SparseRow* row, double locked, bool has_locked) {
    if (has_locked) {
        store->locked_rows =
            grow(store->locked_rows, &store->locked_rows_capacity, store->nlocked_rows + 1);
        store->locked_rows[store->nlocked_rows++] = store->rows;
    }
    unsigned row_capacity = store->row_capacity;
    store->start = grow(store->start, &row_capacity, store->rows + 2);
    unsigned locked_capacity = store->row_capacity;
    store->locked = grow(store->locked, &locked_capacity, store->rows + 2);
    store->row_capacity = row_capacity;
    store->coeff = grow(store->coeff, &store->capacity, store->nnz + row->size);
    if (store->rows == 0)
        store->start[0] = 0;
    for (unsigned k = 0; k < row->size; ++k)
        store->coeff[store->nnz++] = row->coeff[k];
    store->locked[store->rows] = locked;
    store->start[++store->rows] = store->nnz;
}

void nl_rows_release(NLRowStore* store) {
    free(store->start);
    free(store->coeff);
    free(store->locked);
    free(store->locked_rows);
    *store = NLRowStore{};
}

// ---- variables and x ---------------------------------------------------------------------------

void nl_variables_to_vector(NLContext* ctx) {
    NL_ASSERT(ctx->alloc_x, "__nlCurrentContext->alloc_x");
    NL_ASSERT(ctx->alloc_variable, "__nlCurrentContext->alloc_variable");
    for (unsigned i = 0; i < ctx->nb_variables; ++i) {
        const NLVariable* v = &ctx->variable[i];
        if (!v->locked) {
            NL_ASSERT(v->index < ctx->n, "v->index < __nlCurrentContext->n");
            ctx->x[v->index] = v->value;
        }
    }
}

void nl_vector_to_variables(NLContext* ctx) {
    NL_ASSERT(ctx->alloc_x, "__nlCurrentContext->alloc_x");
    NL_ASSERT(ctx->alloc_variable, "__nlCurrentContext->alloc_variable");
    for (unsigned i = 0; i < ctx->nb_variables; ++i) {
        NLVariable* v = &ctx->variable[i];
        if (!v->locked) {
            NL_ASSERT(v->index < ctx->n, "v->index < __nlCurrentContext->n");
            v->value = ctx->x[v->index];
        }
    }
}

// ---- compressed rows ---------------------------------------------------------------------------

NLCompressed nl_compress_rows(SparseMatrix* M) {
    NLCompressed c{};
    size_t nnz = 0;
    for (unsigned i = 0; i < M->m; ++i)
        nnz += M->rows[i].size;
    c.nnz = static_cast<int>(nnz);
    c.start = static_cast<int*>(malloc((size_t(M->m) + 1) * sizeof(int)));
    c.index = static_cast<int*>(malloc((nnz == 0 ? 1 : nnz) * sizeof(int)));
    c.value = static_cast<float*>(malloc((nnz == 0 ? 1 : nnz) * sizeof(float)));
    if (c.start == nullptr || c.index == nullptr || c.value == nullptr)
        abort();
    int at = 0;
    for (unsigned i = 0; i < M->m; ++i) {
        c.start[i] = at;
        SparseRow* row = &M->rows[i];
        for (unsigned k = 0; k < row->size; ++k) {
            c.index[at] = static_cast<int>(row->coeff[k].index);
            c.value[at] = float(row->coeff[k].value);
            ++at;
        }
        // Once copied, the row is not needed again: free it now to keep the peak low.
        nl_row_release(row);
    }
    c.start[M->m] = at;
    return c;
}

void nl_compressed_release(NLCompressed* c) {
    free(c->start);
    free(c->index);
    free(c->value);
    *c = NLCompressed{};
}

// ---- public calls ------------------------------------------------------------------------------

NLContext* nl_new_context() {
    nl_use_single_threaded_blas();
    auto* ctx = static_cast<NLContext*>(calloc(1, sizeof(NLContext)));
    if (ctx == nullptr)
        abort();
    ctx->state = __NL_STATE_INITIAL;
    current_context = ctx;
    return ctx;
}

void nl_delete_context(NLContext* ctx) {
    if (ctx == nullptr)
        return;
    if (ctx->alloc_M)
        sparse_matrix_destroy(&ctx->M);
    if (ctx->alloc_row_free)
        nl_row_release(&ctx->row_free);
    if (ctx->alloc_row_locked)
        nl_row_release(&ctx->row_locked);
    if (ctx->alloc_variable)
        free(ctx->variable);
    if (ctx->alloc_x)
        free(ctx->x);
    if (ctx->alloc_b)
        free(ctx->b);
    nl_release_factorization(ctx);
    nl_rows_release(&ctx->stated);
    nl_recycle_release(&ctx->recycle);
    if (current_context == ctx)
        current_context = nullptr;
    free(ctx);
}

void nl_make_current(NLContext* ctx) {
    current_context = ctx;
}

NLContext* nl_current_context() {
    return current_context;
}

void nl_set_parameter(int id, int value) {
    NLContext* ctx = NL_CONTEXT_IN_STATE(__NL_STATE_INITIAL);
    switch (id) {
    case NL_PARAM_VARIABLE_COUNT:
        NL_ASSERT(value > 0, "param > 0");
        ctx->nb_variables = static_cast<unsigned>(value);
        break;
    case NL_PARAM_LEAST_SQUARES:
        ctx->least_squares = value != 0;
        break;
    default:
        nl_fail_unreachable(__LINE__);
    }
}

void nl_begin(int block) {
    switch (block) {
    case NL_BLOCK_SYSTEM:
        begin_system();
        break;
    case NL_BLOCK_MATRIX:
        begin_matrix();
        break;
    case NL_BLOCK_ROW:
        begin_row();
        break;
    default:
        nl_fail_unreachable(__LINE__);
    }
}

void nl_end(int block) {
    switch (block) {
    case NL_BLOCK_SYSTEM:
        end_system();
        break;
    case NL_BLOCK_MATRIX:
        end_matrix();
        break;
    case NL_BLOCK_ROW:
        end_row();
        break;
    default:
        nl_fail_unreachable(__LINE__);
    }
}

void nl_set_variable(unsigned variable, float value) {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_SYSTEM);
    ctx->variable[variable].value = value;
}

void nl_lock_variable(unsigned variable) {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_SYSTEM);
    ctx->variable[variable].locked = true;
}

float nl_get_variable(unsigned variable) {
    NLContext* ctx = checked_current(__LINE__);
    NL_ASSERT(ctx->state != __NL_STATE_INITIAL, "__nlCurrentContext->state != __NL_STATE_INITIAL");
    return ctx->variable[variable].value;
}

double nl_get_variable_double(unsigned variable) {
    NLContext* ctx = checked_current(__LINE__);
    NL_ASSERT(ctx->state == NL_STATE_SOLVED || ctx->state == NL_STATE_SYSTEM_SOLVED,
              "__nlCurrentContext->state is solved");
    const NLVariable& v = ctx->variable[variable];
    return v.locked ? double(v.value) : ctx->x[v.index];
}

void nl_coefficient(unsigned variable, double coefficient) {
    // Called once per coefficient of every row: the usual case is checked inline.
    NLContext* ctx = current_context;
    if (ctx == nullptr || ctx->state != NL_STATE_ROW) [[unlikely]]
        ctx = NL_CONTEXT_IN_STATE(NL_STATE_ROW);
    if (variable >= ctx->nb_variables) [[unlikely]]
        nl_fail_range(double(variable), 0.0, double(ctx->nb_variables) - 1.0, __LINE__);
    const NLVariable* v = &ctx->variable[variable];
    if (v->locked)
        nl_row_append(&ctx->row_locked, variable, coefficient);
    else if (!restating_kept_row(ctx))
        nl_row_append(&ctx->row_free, v->index, coefficient);
}

bool nl_restating_kept_rows() {
    const NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_MATRIX);
    return ctx->least_squares && ctx->reuse_factorization && ctx->keep_rows;
}

void nl_skip_free_rows(unsigned count) {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_MATRIX);
    NL_ASSERT(ctx->least_squares && ctx->reuse_factorization && ctx->keep_rows,
              "restating a kept least-squares system");
    NLRowStore& s = ctx->stated;
    NL_RANGE_ASSERT(double(ctx->current_row) + count, 0, double(s.rows));
    const unsigned end = ctx->current_row + count;
    // A skipped row's sum is zero, whether or not it had locked terms when the system was built.
    std::fill(s.locked + ctx->current_row, s.locked + end, 0.0);
    NLRecycle& rc = ctx->recycle;
    while (rc.next_locked < s.nlocked_rows && s.locked_rows[rc.next_locked] < end)
        ++rc.next_locked;
    ctx->current_row = end;
}

void nl_matrix_add(unsigned row, unsigned column, float value) {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_MATRIX);
    NL_ASSERT(!ctx->least_squares, "!__nlCurrentContext->least_squares");
    NL_RANGE_ASSERT(row, 0, double(ctx->n) - 1.0);
    // Columns are checked against the free count, not the variable count: with a locked variable
    // a column past n would index outside the solver's arrays.
    NL_RANGE_ASSERT(column, 0, double(ctx->n) - 1.0);
    sparse_matrix_add(&ctx->M, row, column, value);
}

void nl_right_hand_side_add(unsigned row, float value) {
    NLContext* ctx = NL_CONTEXT_IN_STATE(NL_STATE_MATRIX);
    NL_ASSERT(!ctx->least_squares, "!__nlCurrentContext->least_squares");
    NL_RANGE_ASSERT(row, 0, double(ctx->n) - 1.0);
    // Summed in single precision, as the square system's solve is.
    ctx->b[row] = double(float(ctx->b[row]) + value);
}

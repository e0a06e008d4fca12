// The normal equations of a least-squares system, formed in double precision from its stated
// rows and factorised by sparse Cholesky (Eigen's simplicial LDLᵀ) under a fill-reducing
// symmetric ordering. A conformal map's normal equations are symmetric positive definite once
// two points are locked, so no pivoting is needed, and double precision makes the answer of a
// chart of a million points as exact as that of a small one.

#include "Lscm/opennl_context.h"

#include <Eigen/OrderingMethods>
#include <Eigen/SparseCholesky>

#include <algorithm>
#include <cmath>
#include <vector>

using NLNormalMatrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;

struct NLCholesky {
    Eigen::SimplicialLDLT<NLNormalMatrix, Eigen::Lower, Eigen::AMDOrdering<int>> ldlt;
};

namespace {

// A pivot this small against its diagonal entry means the matrix is singular to working
// precision: a chart part that no locked point holds, or a variable that no row names. Sound
// charts of a million points stay many orders of magnitude above it.
constexpr double kSingularPivot = 1e-13;

// The lower half of AᵀA, column by column: N(i, j) = Σ_rows a_ri a_rj for i ≥ j, the terms of a
// row taken one by one so that a repeated variable keeps its cross terms. Each column gathers
// the rows that name its variable, then scatters their products into a dense accumulator.
NLNormalMatrix normal_equations(const NLRowStore& rows, unsigned n) {
    // The stated rows by column: for each variable, the (row, coefficient) of its terms.
    std::vector<int> column_start(size_t(n) + 1, 0);
    for (unsigned e = 0; e < rows.nnz; ++e)
        ++column_start[rows.coeff[e].index + 1];
    for (unsigned j = 0; j < n; ++j)
        column_start[j + 1] += column_start[j];
    std::vector<unsigned> term_row(rows.nnz);
    std::vector<double> term_value(rows.nnz);
    {
        std::vector<int> at(column_start.begin(), column_start.end() - 1);
        for (unsigned k = 0; k < rows.rows; ++k)
            for (unsigned e = rows.start[k]; e < rows.start[k + 1]; ++e) {
                const int slot = at[rows.coeff[e].index]++;
                term_row[size_t(slot)] = k;
                term_value[size_t(slot)] = double(rows.coeff[e].value);
            }
    }

    NLNormalMatrix N(static_cast<Eigen::Index>(n), static_cast<Eigen::Index>(n));
    N.data().reserve(size_t(rows.nnz));
    int* outer = N.outerIndexPtr();
    outer[0] = 0;
    std::vector<double> sum(n, 0.0);
    std::vector<int> seen(n, -1);
    std::vector<int> pattern;
    for (unsigned j = 0; j < n; ++j) {
        pattern.clear();
        for (int t = column_start[j]; t < column_start[j + 1]; ++t) {
            const unsigned k = term_row[size_t(t)];
            const double a = term_value[size_t(t)];
            for (unsigned e = rows.start[k]; e < rows.start[k + 1]; ++e) {
                const unsigned i = rows.coeff[e].index;
                if (i < j)
                    continue;
                if (seen[i] != int(j)) {
                    seen[i] = int(j);
                    sum[i] = 0.0;
                    pattern.push_back(int(i));
                }
                sum[i] += a * double(rows.coeff[e].value);
            }
        }
        std::sort(pattern.begin(), pattern.end());
        for (int i : pattern)
            N.data().append(sum[size_t(i)], i);
        outer[j + 1] = int(N.data().size());
    }
    return N;
}

// Whether every pivot of the factor stands clear of rounding against its diagonal entry.
bool pivots_sound(const NLCholesky& factor, const NLNormalMatrix& N) {
    const Eigen::VectorXd& d = factor.ldlt.vectorD();
    const Eigen::VectorXd diagonal = N.diagonal();
    // The factor is of P N Pᵀ: pivot k belongs to the variable P maps to k.
    const auto& P = factor.ldlt.permutationP();
    for (Eigen::Index v = 0; v < diagonal.size(); ++v) {
        const double pivot = d[P.size() == 0 ? v : P.indices()[v]];
        if (!(pivot > kSingularPivot * diagonal[v]) || !std::isfinite(pivot))
            return false;
    }
    return true;
}

} // namespace

NLCholesky* nl_cholesky_factorize(const NLRowStore& rows, unsigned n) {
    ++nl_factorization_count();
    NLNormalMatrix N = normal_equations(rows, n);
    auto* factor = new NLCholesky;
    factor->ldlt.compute(N);
    if (factor->ldlt.info() != Eigen::Success || !pivots_sound(*factor, N)) {
        delete factor;
        return nullptr;
    }
    return factor;
}

void nl_cholesky_solve(const NLCholesky* factor, const double* rhs, double* x, unsigned n) {
    Eigen::Map<const Eigen::VectorXd> b(rhs, n);
    Eigen::VectorXd answer = factor->ldlt.solve(b);
    std::copy(answer.data(), answer.data() + n, x);
}

void nl_cholesky_release(NLCholesky* factor) {
    delete factor;
}

NLNormalLower nl_normal_equations_lower(const NLRowStore& rows, unsigned n) {
    const NLNormalMatrix N = normal_equations(rows, n);
    NLNormalLower lower;
    lower.start.assign(N.outerIndexPtr(), N.outerIndexPtr() + n + 1);
    lower.row.assign(N.innerIndexPtr(), N.innerIndexPtr() + N.nonZeros());
    lower.value.assign(N.valuePtr(), N.valuePtr() + N.nonZeros());
    return lower;
}

long long nl_cholesky_entries(const NLCholesky* factor) {
    return factor == nullptr ? 0 : (long long)factor->ldlt.matrixL().nestedExpression().nonZeros();
}

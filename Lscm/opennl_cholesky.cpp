// The normal equations of a least-squares system, formed in double precision from its stated
// rows and factorised by sparse Cholesky (Eigen's simplicial LDLᵀ) under a fill-reducing
// symmetric ordering (approximate minimum degree). A conformal map's normal equations are
// symmetric positive definite once two points are locked, so no pivoting is needed, and double
// precision makes the answer of a chart of a million points as exact as that of a small one.
//
// A conformal map's rows come in pairs that are the real and imaginary parts of one complex row
// over the points' complex UVs z = u + iv: the pair Re(w z), Im(w z) has the coefficients
// (x, −y) on (u, v) in its first row and (y, x) in its second, for w = x + iy. Such a system is
// the complex Hermitian system WᴴW z = −Wᴴl of half the size: factorised as such it takes about
// half the arithmetic and less than half the memory, for the same answer. Systems of any other
// shape are factorised as they are.

#include "Lscm/opennl_context.h"

#include <Eigen/OrderingMethods>
#include <Eigen/SparseCholesky>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

using NLComplex = std::complex<double>;
using NLNormalMatrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;
using NLComplexMatrix = Eigen::SparseMatrix<NLComplex, Eigen::ColMajor, int>;

struct NLCholesky {
    bool complex; // factorised as the complex system of half the size
    Eigen::SimplicialLDLT<NLNormalMatrix, Eigen::Lower, Eigen::AMDOrdering<int>> real_ldlt;
    Eigen::SimplicialLDLT<NLComplexMatrix, Eigen::Lower, Eigen::AMDOrdering<int>> complex_ldlt;
};

namespace {

// A pivot this small against its diagonal entry means the matrix is singular to working
// precision: a chart part that no locked point holds, or a variable that no row names. Sound
// charts of a million points stay many orders of magnitude above it.
constexpr double kSingularPivot = 1e-13;

// Rows as compressed arrays of (column, coefficient) terms: the stated rows themselves, or their
// complex pairs.
template <typename Scalar> struct TermRows {
    std::vector<unsigned> start; // rows + 1
    std::vector<unsigned> column;
    std::vector<Scalar> value;
    unsigned rows() const { return unsigned(start.size()) - 1; }
};

double conjugate(double a) {
    return a;
}
NLComplex conjugate(const NLComplex& a) {
    return std::conj(a);
}

// The lower half of AᴴA, column by column: N(i, j) = Σ_rows conj(a_ri) a_rj for i ≥ j, the
// terms of a row taken one by one so that a repeated column keeps its cross terms. Each column
// gathers the rows that name it, then scatters their products into a dense accumulator.
template <typename Scalar>
Eigen::SparseMatrix<Scalar, Eigen::ColMajor, int> normal_equations(const TermRows<Scalar>& rows,
                                                                   unsigned n) {
    const size_t nnz = rows.column.size();
    // The rows by column: for each column, the (row, coefficient) of its terms.
    std::vector<unsigned> column_start(size_t(n) + 1, 0);
    for (size_t e = 0; e < nnz; ++e)
        ++column_start[rows.column[e] + 1];
    for (unsigned j = 0; j < n; ++j)
        column_start[j + 1] += column_start[j];
    std::vector<unsigned> term_row(nnz);
    std::vector<Scalar> term_value(nnz);
    {
        std::vector<unsigned> at(column_start.begin(), column_start.end() - 1);
        for (unsigned k = 0; k < rows.rows(); ++k)
            for (unsigned e = rows.start[k]; e < rows.start[k + 1]; ++e) {
                const unsigned slot = at[rows.column[e]]++;
                term_row[slot] = k;
                term_value[slot] = rows.value[e];
            }
    }

    Eigen::SparseMatrix<Scalar, Eigen::ColMajor, int> N(static_cast<Eigen::Index>(n),
                                                        static_cast<Eigen::Index>(n));
    N.data().reserve(nnz);
    int* outer = N.outerIndexPtr();
    outer[0] = 0;
    std::vector<Scalar> sum(n, Scalar(0));
    std::vector<int> seen(n, -1);
    std::vector<int> pattern;
    for (unsigned j = 0; j < n; ++j) {
        pattern.clear();
        for (unsigned t = column_start[j]; t < column_start[j + 1]; ++t) {
            const unsigned k = term_row[t];
            const Scalar a = term_value[t];
            for (unsigned e = rows.start[k]; e < rows.start[k + 1]; ++e) {
                const unsigned i = rows.column[e];
                if (i < j)
                    continue;
                if (seen[i] != int(j)) {
                    seen[i] = int(j);
                    sum[i] = Scalar(0);
                    pattern.push_back(int(i));
                }
                sum[i] += conjugate(rows.value[e]) * a;
            }
        }
        std::sort(pattern.begin(), pattern.end());
        for (int i : pattern)
            N.data().append(sum[size_t(i)], i);
        outer[j + 1] = int(N.data().size());
    }
    return N;
}

TermRows<double> real_rows(const NLRowStore& rows) {
    TermRows<double> t;
    t.start.assign(rows.start, rows.start + rows.rows + 1);
    if (rows.rows == 0)
        t.start.assign(1, 0);
    t.column.resize(rows.nnz);
    t.value.resize(rows.nnz);
    for (unsigned e = 0; e < rows.nnz; ++e) {
        t.column[e] = rows.coeff[e].index;
        t.value[e] = rows.coeff[e].value;
    }
    return t;
}

// The stated rows as complex rows over the points (columns 2q, 2q + 1 are the u and v of point
// q), when every pair of rows has the shape of one complex row; false otherwise.
bool complex_rows(const NLRowStore& rows, TermRows<NLComplex>* out) {
    if (rows.rows % 2 != 0)
        return false;
    out->start.assign(1, 0);
    // Per point of the pair: the first row's u and v coefficients, the second row's.
    struct Point {
        unsigned q;
        double first_u, first_v, second_u, second_v;
    };
    std::vector<Point> points;
    auto at = [&](unsigned q) -> Point& {
        for (Point& p : points)
            if (p.q == q)
                return p;
        points.push_back(Point{q, 0.0, 0.0, 0.0, 0.0});
        return points.back();
    };
    for (unsigned k = 0; k < rows.rows; k += 2) {
        points.clear();
        for (unsigned e = rows.start[k]; e < rows.start[k + 1]; ++e) {
            Point& p = at(rows.coeff[e].index / 2);
            (rows.coeff[e].index % 2 == 0 ? p.first_u : p.first_v) += rows.coeff[e].value;
        }
        for (unsigned e = rows.start[k + 1]; e < rows.start[k + 2]; ++e) {
            Point& p = at(rows.coeff[e].index / 2);
            (rows.coeff[e].index % 2 == 0 ? p.second_u : p.second_v) += rows.coeff[e].value;
        }
        for (const Point& p : points) {
            // (x, −y) and (y, x): w = x + iy.
            if (p.second_u != -p.first_v || p.second_v != p.first_u)
                return false;
            out->column.push_back(p.q);
            out->value.push_back(NLComplex(p.first_u, p.second_u));
        }
        out->start.push_back(unsigned(out->column.size()));
    }
    return true;
}

// Whether every pivot of the factor stands clear of rounding against its diagonal entry.
template <typename Factor, typename Matrix>
bool pivots_sound(const Factor& factor, const Matrix& N) {
    const auto& d = factor.vectorD();
    const auto diagonal = N.diagonal();
    // The factor is of P N Pᵀ: pivot k belongs to the variable P maps to k.
    const auto& P = factor.permutationP();
    for (Eigen::Index v = 0; v < diagonal.size(); ++v) {
        const double pivot = std::real(d[P.size() == 0 ? v : P.indices()[v]]);
        if (!(pivot > kSingularPivot * std::real(diagonal[v])) || !std::isfinite(pivot))
            return false;
    }
    return true;
}

} // namespace

NLCholesky* nl_cholesky_factorize(const NLRowStore& rows, unsigned n, bool paired) {
    ++nl_factorization_count();
    auto* factor = new NLCholesky;
    TermRows<NLComplex> complex;
    factor->complex = paired && n % 2 == 0 && complex_rows(rows, &complex);
    bool sound = false;
    if (factor->complex) {
        const NLComplexMatrix N = normal_equations(complex, n / 2);
        complex = TermRows<NLComplex>{};
        factor->complex_ldlt.compute(N);
        sound =
            factor->complex_ldlt.info() == Eigen::Success && pivots_sound(factor->complex_ldlt, N);
    } else {
        const NLNormalMatrix N = normal_equations(real_rows(rows), n);
        factor->real_ldlt.compute(N);
        sound = factor->real_ldlt.info() == Eigen::Success && pivots_sound(factor->real_ldlt, N);
    }
    if (!sound) {
        delete factor;
        return nullptr;
    }
    return factor;
}

void nl_cholesky_solve(const NLCholesky* factor, const double* rhs, double* x, unsigned n) {
    if (factor->complex) {
        // (u, v) pairs are the real and imaginary parts of the points' complex unknowns.
        Eigen::Map<const Eigen::VectorXcd> b(reinterpret_cast<const NLComplex*>(rhs), n / 2);
        Eigen::VectorXcd answer = factor->complex_ldlt.solve(b);
        const double* parts = reinterpret_cast<const double*>(answer.data());
        std::copy(parts, parts + n, x);
        return;
    }
    Eigen::Map<const Eigen::VectorXd> b(rhs, n);
    Eigen::VectorXd answer = factor->real_ldlt.solve(b);
    std::copy(answer.data(), answer.data() + n, x);
}

void nl_cholesky_release(NLCholesky* factor) {
    delete factor;
}

NLNormalLower nl_normal_equations_lower(const NLRowStore& rows, unsigned n) {
    const NLNormalMatrix N = normal_equations(real_rows(rows), n);
    NLNormalLower lower;
    lower.start.assign(N.outerIndexPtr(), N.outerIndexPtr() + n + 1);
    lower.row.assign(N.innerIndexPtr(), N.innerIndexPtr() + N.nonZeros());
    lower.value.assign(N.valuePtr(), N.valuePtr() + N.nonZeros());
    return lower;
}

long long nl_cholesky_entries(const NLCholesky* factor) {
    if (factor == nullptr)
        return 0;
    return factor->complex ? factor->complex_ldlt.matrixL().nestedExpression().nonZeros()
                           : factor->real_ldlt.matrixL().nestedExpression().nonZeros();
}

bool nl_cholesky_is_complex(const NLCholesky* factor) {
    return factor != nullptr && factor->complex;
}

// Our strsv_ is the one the process binds (so SuperLU calls it), and it solves every form of the
// triangular system that BLAS defines, as the BLAS library's own does.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <random>
#include <vector>

extern "C" void strsv_(const char* uplo, const char* trans, const char* diag, const int* n,
                       const float* a, const int* lda, float* x, const int* incx);

namespace {

using Strsv = void (*)(const char*, const char*, const char*, const int*, const float*, const int*,
                       float*, const int*);

// op(A) times the vector held at x's strided positions, in double precision.
std::vector<double> apply(bool upper, bool plain, bool unit, int n, const std::vector<float>& a,
                          int lda, const std::vector<double>& v) {
    std::vector<double> out(size_t(n), 0.0);
    for (int r = 0; r < n; r++)
        for (int c = 0; c < n; c++) {
            int i = plain ? r : c, j = plain ? c : r; // the entry A(i, j) of op(A)(r, c)
            bool stored = upper ? i <= j : i >= j;
            if (!stored)
                continue;
            double value = (i == j && unit) ? 1.0 : double(a[size_t(j) * size_t(lda) + size_t(i)]);
            out[size_t(r)] += value * v[size_t(c)];
        }
    return out;
}

TEST(TriangularSolve, OursIsTheOneTheProcessBinds) {
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "strsv_"), reinterpret_cast<void*>(&strsv_));
}

TEST(TriangularSolve, SolvesEveryFormAsTheLibraryDoes) {
    auto library = reinterpret_cast<Strsv>(dlsym(RTLD_NEXT, "strsv_"));
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    int cases = 0;
    for (const char* uplo : {"U", "L", "u"})
        for (const char* trans : {"N", "T", "C"})
            for (const char* diag : {"U", "N"})
                for (int incx : {1, -1, 2, -3})
                    for (int n : {0, 1, 5, 37}) {
                        const bool upper = uplo[0] != 'L', plain = trans[0] == 'N';
                        const bool unit = diag[0] == 'U';
                        const int lda = n + 3;
                        std::vector<float> a(size_t(lda) * size_t(n > 0 ? n : 1));
                        for (float& e : a)
                            e = 0.3f * value(rng);
                        for (int i = 0; i < n; i++) // dominant diagonal: well conditioned
                            a[size_t(i) * size_t(lda) + size_t(i)] = 2.0f + value(rng);
                        const int stride = std::abs(incx);
                        std::vector<float> x(size_t(n * stride + 1));
                        for (float& e : x)
                            e = value(rng);
                        const std::vector<float> b = x;
                        strsv_(uplo, trans, diag, &n, a.data(), &lda, x.data(), &incx);

                        // Element k of the vector sits at position first + k * incx.
                        const int first = incx > 0 ? 0 : (n - 1) * stride;
                        std::vector<double> solved(static_cast<size_t>(n));
                        std::vector<double> given(static_cast<size_t>(n));
                        for (int k = 0; k < n; k++) {
                            solved[size_t(k)] = x[size_t(first + k * incx)];
                            given[size_t(k)] = b[size_t(first + k * incx)];
                        }
                        std::vector<double> back = apply(upper, plain, unit, n, a, lda, solved);
                        for (int k = 0; k < n; k++) {
                            ASSERT_NEAR(back[size_t(k)], given[size_t(k)], 1e-4)
                                << uplo << trans << diag << " incx " << incx << " n " << n;
                        }
                        for (size_t p = 0; p < x.size(); p++) {
                            const bool outside =
                                n == 0 || p % size_t(stride) != 0 || p > size_t((n - 1) * stride);
                            ASSERT_TRUE(!outside || x[p] == b[p]) << "touched outside the vector";
                        }
                        if (library) {
                            std::vector<float> theirs = b;
                            library(uplo, trans, diag, &n, a.data(), &lda, theirs.data(), &incx);
                            for (size_t p = 0; p < x.size(); p++) {
                                ASSERT_NEAR(x[p], theirs[p], 1e-4f * (1.0f + std::fabs(theirs[p])))
                                    << uplo << trans << diag << " incx " << incx << " n " << n;
                            }
                        }
                        cases++;
                    }
    EXPECT_EQ(cases, 3 * 3 * 2 * 4 * 4);
}

TEST(TriangularSolve, InvalidArgumentsLeaveTheVectorAlone) {
    const std::vector<float> a = {2, 0, 0, 1, 3, 0, 4, 5, 6};
    const std::vector<float> b = {1, 2, 3};
    struct Case {
        const char *uplo, *trans, *diag;
        int n, lda, incx;
    } cases[] = {{"X", "N", "N", 3, 3, 1},  {"U", "Q", "N", 3, 3, 1}, {"U", "N", "Z", 3, 3, 1},
                 {"U", "N", "N", -1, 3, 1}, {"U", "N", "N", 3, 2, 1}, {"U", "N", "N", 3, 3, 0}};
    for (const Case& c : cases) {
        std::vector<float> x = b;
        strsv_(c.uplo, c.trans, c.diag, &c.n, a.data(), &c.lda, x.data(), &c.incx);
        EXPECT_EQ(x, b) << c.uplo << c.trans << c.diag << " n " << c.n << " lda " << c.lda
                        << " incx " << c.incx;
    }
}

} // namespace

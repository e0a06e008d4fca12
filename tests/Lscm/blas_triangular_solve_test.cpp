// Our strsv_ is the one the process binds (so SuperLU calls it), and it solves every form of the
// triangular system that BLAS defines as the BLAS library's own does, touching nothing else.

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

TEST(TriangularSolve, OursIsBoundAndSolvesEveryFormAsTheLibraryDoes) {
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "strsv_"), reinterpret_cast<void*>(&strsv_));
    auto library = reinterpret_cast<Strsv>(dlsym(RTLD_NEXT, "strsv_"));
    ASSERT_NE(library, nullptr);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (const char* uplo : {"U", "L", "u"})
        for (const char* trans : {"N", "T", "C"})
            for (const char* diag : {"U", "N"})
                for (int incx : {1, -1, 2, -3})
                    for (int n : {0, 1, 5, 37}) {
                        const int lda = n + 3;
                        std::vector<float> a(size_t(lda) * size_t(n > 0 ? n : 1));
                        for (float& e : a)
                            e = 0.3f * value(rng);
                        for (int i = 0; i < n; i++) // a dominant diagonal: well conditioned
                            a[size_t(i) * size_t(lda) + size_t(i)] = 2.0f + value(rng);
                        // Room for the strided vector and one entry past it, which stays as is.
                        std::vector<float> ours(size_t(n * std::abs(incx) + 1));
                        for (float& e : ours)
                            e = value(rng);
                        std::vector<float> theirs = ours;
                        strsv_(uplo, trans, diag, &n, a.data(), &lda, ours.data(), &incx);
                        library(uplo, trans, diag, &n, a.data(), &lda, theirs.data(), &incx);
                        for (size_t p = 0; p < ours.size(); p++) {
                            ASSERT_NEAR(ours[p], theirs[p], 1e-4f * (1.0f + std::fabs(theirs[p])))
                                << uplo << trans << diag << " incx " << incx << " n " << n;
                        }
                    }
}

} // namespace

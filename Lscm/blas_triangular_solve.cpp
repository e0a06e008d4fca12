// BLAS's strsv, the triangular solve that SuperLU's factorisation calls for every supernode it
// updates, defined here so that it takes the place of the BLAS library's: OpenBLAS's takes a
// process-wide lock for a work buffer on every call, and with charts factorised on two threads
// that lock cost about a tenth of the flattening. The sizes are small, so plain loops lose
// nothing. The arithmetic is the reference BLAS's, step for step.

#include <cctype>

namespace {

inline bool is(const char* option, char letter) {
    return std::toupper(static_cast<unsigned char>(*option)) == letter;
}

// The four solves, with x reached through xi (a unit stride, which the loops can vectorise, or
// any other).
template <typename X>
void solve(bool upper, bool plain, bool nonUnit, int size, const float* a, int leading, X xi) {
    auto at = [&](int i, int j) { return a[long(j) * leading + i]; };
    if (plain && upper) {
        for (int j = size - 1; j >= 0; j--) {
            if (xi(j) == 0.0f)
                continue;
            if (nonUnit)
                xi(j) /= at(j, j);
            const float t = xi(j);
            for (int i = j - 1; i >= 0; i--)
                xi(i) -= t * at(i, j);
        }
    } else if (plain) {
        for (int j = 0; j < size; j++) {
            if (xi(j) == 0.0f)
                continue;
            if (nonUnit)
                xi(j) /= at(j, j);
            const float t = xi(j);
            for (int i = j + 1; i < size; i++)
                xi(i) -= t * at(i, j);
        }
    } else if (upper) {
        for (int j = 0; j < size; j++) {
            float t = xi(j);
            for (int i = 0; i < j; i++)
                t -= at(i, j) * xi(i);
            if (nonUnit)
                t /= at(j, j);
            xi(j) = t;
        }
    } else {
        for (int j = size - 1; j >= 0; j--) {
            float t = xi(j);
            for (int i = size - 1; i > j; i--)
                t -= at(i, j) * xi(i);
            if (nonUnit)
                t /= at(j, j);
            xi(j) = t;
        }
    }
}

} // namespace

// Solves op(A) x = b in place of b (x), with A n x n upper or lower triangular, column-major
// with leading dimension lda, its diagonal taken as ones when diag is 'U'; op is A for trans
// 'N', Aᵀ for 'T' or 'C'. Invalid arguments leave x unchanged.
extern "C" void strsv_(const char* uplo, const char* trans, const char* diag, const int* n,
                       const float* a, const int* lda, float* x, const int* incx) {
    const bool upper = is(uplo, 'U'), lower = is(uplo, 'L');
    const bool plain = is(trans, 'N'), transposed = is(trans, 'T') || is(trans, 'C');
    const bool unit = is(diag, 'U'), nonUnit = is(diag, 'N');
    const int size = *n, leading = *lda, step = *incx;
    if (!(upper || lower) || !(plain || transposed) || !(unit || nonUnit) || size < 0 ||
        leading < (size > 1 ? size : 1) || step == 0 || size == 0)
        return;
    if (step == 1) {
        solve(upper, plain, nonUnit, size, a, leading, [x](int i) -> float& { return x[i]; });
        return;
    }
    const long first = step > 0 ? 0 : -long(size - 1) * step;
    solve(upper, plain, nonUnit, size, a, leading,
          [x, first, step](int i) -> float& { return x[first + long(i) * step]; });
}

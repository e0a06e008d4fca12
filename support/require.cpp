#include "support/require.h"

#include <cstdio>
#include <cstdlib>

void support_fail(const char* file, int line, const char* message) {
    std::fprintf(stderr, "%s:%d: %s\n", file, line, message);
    std::fflush(stderr);
    std::abort();
}

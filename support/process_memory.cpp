#include "support/process_memory.h"

#include <cstdlib> // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void keep_freed_memory_in_process() {
#if defined(__GLIBC__)
    // Blocks up to the largest threshold glibc accepts come from the heap, where freed ones are
    // reused; the top of the heap is not given back while the process runs.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}

#include "support/process_memory.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib> // defines __GLIBC__ where the C library is glibc
#include <limits>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#endif

namespace {

#if defined(__GLIBC__)
// Under strict overcommit, heap set aside counts against the system's limit whether or not it
// is touched: there nothing is set aside.
bool overcommit_is_strict() {
    std::FILE* f = std::fopen("/proc/sys/vm/overcommit_memory", "r");
    if (!f)
        return false;
    int mode = 0;
    bool read = std::fscanf(f, "%d", &mode) == 1;
    std::fclose(f);
    return read && mode == 2;
}

// Takes a block of the given size from the heap, asks for huge pages in it and frees it again:
// under the trim threshold it stays the top of the heap, from which later blocks are cut.
void set_aside_for_huge_pages(size_t bytes) {
    mallopt(M_MMAP_MAX, 0); // from the heap, not mapped on its own
    void* block = std::malloc(bytes);
    mallopt(M_MMAP_MAX, 65536); // glibc's default
    if (!block)
        return;
    constexpr uintptr_t huge = uintptr_t(2) << 20;
    uintptr_t begin = (reinterpret_cast<uintptr_t>(block) + huge - 1) & ~(huge - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    std::free(block);
}

// A worker thread's heap is one of glibc's thread arenas, which grow in 64 MB heaps.
constexpr size_t kLargestThreadSetAside = size_t(48) << 20;

std::atomic<size_t> g_thread_set_aside{0};
#endif

constexpr size_t kLargestSetAside = size_t(1) << 30;

} // namespace

void keep_freed_memory_in_process(size_t expectedBytes) {
#if defined(__GLIBC__)
    // Blocks up to the largest threshold glibc accepts come from the heap, where freed ones are
    // reused; the top of the heap is not given back while the process runs.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
    if (expectedBytes > 0 && !overcommit_is_strict()) {
        set_aside_for_huge_pages(std::min(expectedBytes, kLargestSetAside));
        g_thread_set_aside = std::min(expectedBytes / 4, kLargestThreadSetAside);
    }
#else
    (void)expectedBytes;
#endif
}

void keep_freed_memory_in_thread() {
#if defined(__GLIBC__)
    if (size_t bytes = g_thread_set_aside)
        set_aside_for_huge_pages(bytes);
#endif
}

size_t batch_heap_estimate(uintmax_t objFileBytes) {
    return size_t(std::min<uintmax_t>(objFileBytes, kLargestSetAside / 40) * 40);
}

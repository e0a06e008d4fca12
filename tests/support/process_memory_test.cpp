// Heap set aside for a batch run: later blocks, in the main thread and in a worker, are cut from
// it and get huge pages on their first touch. Process-wide settings, so this suite has its own
// process.

#include "support/process_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

// A sanitizer's allocator takes the place of glibc's (GCC and Clang say so differently).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SANITIZED_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SANITIZED_ALLOCATOR 1
#endif
#endif

namespace {

std::string first_line(const char* path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The kB of huge pages in the mapping that holds a block of the given size, touched throughout.
long touched_block_huge_kb(size_t bytes) {
    char* block = static_cast<char*>(std::malloc(bytes));
    std::memset(block, 1, bytes);
    const auto at = reinterpret_cast<uintptr_t>(block + bytes / 2);
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    long kb = -1;
    while (kb < 0 && std::getline(smaps, line)) {
        uintptr_t begin = 0, end = 0;
        char dash = 0;
        if (std::istringstream(line) >> std::hex >> begin >> dash >> end && dash == '-')
            inside = begin <= at && at < end;
        else if (inside && line.rfind("AnonHugePages:", 0) == 0)
            kb = std::strtol(line.c_str() + 14, nullptr, 10);
    }
    std::free(block);
    return kb;
}

TEST(ProcessMemory, BlocksCutFromTheSetAsideHeapGetHugePages) {
#if !defined(__GLIBC__) || defined(SANITIZED_ALLOCATOR)
    GTEST_SKIP() << "glibc's own allocator only";
#endif
    if (first_line("/sys/kernel/mm/transparent_hugepage/enabled").find("[never]") !=
            std::string::npos ||
        first_line("/proc/sys/vm/overcommit_memory") == "2")
        GTEST_SKIP() << "no huge pages, or no heap set aside, on this machine";

    keep_freed_memory_in_process(size_t(256) << 20);
    // 24 MB: below the size that glibc would map on its own.
    EXPECT_GT(touched_block_huge_kb(size_t(24) << 20), 0) << "main thread";
    long workerKb = -1;
    std::thread worker([&] {
        keep_freed_memory_in_thread();
        workerKb = touched_block_huge_kb(size_t(24) << 20);
    });
    worker.join();
    EXPECT_GT(workerKb, 0) << "worker thread";
}

} // namespace

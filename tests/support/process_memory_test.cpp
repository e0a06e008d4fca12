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

namespace {

bool sanitized() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#endif
#endif
    return false;
}

std::string first_line(const char* path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The kB of huge pages in the mapping that holds address, from /proc/self/smaps; -1 if none.
long huge_kb_at(const void* address) {
    const auto at = reinterpret_cast<uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        uintptr_t begin = 0, end = 0;
        char dash = 0;
        std::istringstream range(line);
        if (range >> std::hex >> begin >> dash >> end && dash == '-') {
            inside = begin <= at && at < end;
            continue;
        }
        if (inside && line.rfind("AnonHugePages:", 0) == 0)
            return std::strtol(line.c_str() + 14, nullptr, 10);
    }
    return -1;
}

// A block of the given size, touched throughout; the kB of huge pages where it lies.
long touched_block_huge_kb(size_t bytes) {
    char* block = static_cast<char*>(std::malloc(bytes));
    if (!block)
        return -1;
    std::memset(block, 1, bytes);
    long kb = huge_kb_at(block + bytes / 2);
    std::free(block);
    return kb;
}

TEST(ProcessMemory, BlocksCutFromTheSetAsideHeapGetHugePages) {
#if !defined(__GLIBC__) || !defined(__linux__)
    GTEST_SKIP() << "glibc on Linux only";
#endif
    if (sanitized())
        GTEST_SKIP() << "the sanitizer's allocator takes the place of glibc's";
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

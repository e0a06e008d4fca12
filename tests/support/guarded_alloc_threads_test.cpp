#include "support/guarded_alloc.h"
#include "support/mem_arena.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// The UI thread and the unwrap worker allocate at the same time; the live list must stay whole.
TEST(GuardedAllocThreads, TwoThreadsAllocatingAndFreeingKeepTheListConsistent) {
    auto churn = [](int seed) {
        std::vector<void*> blocks;
        for (int i = 0; i < 20000; i++) {
            blocks.push_back(mem_alloc(8 + (i + seed) % 64, "churn"));
            if (i % 3 == 2) {
                EXPECT_EQ(mem_free(blocks[blocks.size() / 2]), 0);
                blocks.erase(blocks.begin() + long(blocks.size() / 2));
            }
            if (i % 1000 == 999) {
                MemArena* arena = arena_new(4096);
                for (int k = 0; k < 100; k++)
                    arena_alloc(arena, 24);
                arena_free(arena);
            }
        }
        for (void* p : blocks)
            EXPECT_EQ(mem_free(p), 0);
    };
    std::thread worker(churn, 1);
    churn(2);
    worker.join();

    // Every block was released: the list is empty, and each link is consistent.
    MemBlockList list = mem_live_list();
    EXPECT_EQ(list.first, nullptr);
    EXPECT_EQ(list.last, nullptr);
}

} // namespace

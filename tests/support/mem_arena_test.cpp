#include "support/guarded_alloc.h"
#include "support/mem_arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

int chunk_count(const MemArena* arena) {
    int n = 0;
    for (NLink* l = arena->chunks; l; l = l->next)
        n++;
    return n;
}

TEST(MemArena, StartsWithoutAChunkAndHandsOutEightByteSteps) {
    MemArena* arena = arena_new(64);
    EXPECT_STREQ(mem_header_of(arena)->name, "memarena");
    EXPECT_EQ(arena->bytesLeft, 0);
    EXPECT_EQ(arena->chunks, nullptr);

    char* a = static_cast<char*>(arena_alloc(arena, 1));
    char* b = static_cast<char*>(arena_alloc(arena, 1));
    EXPECT_EQ(b - a, 8);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 8, 0u);
    EXPECT_EQ(arena->bytesLeft, 48);
    EXPECT_EQ(chunk_count(arena), 1);
    EXPECT_STREQ(mem_header_of(arena->chunks)->name, "nlink");
    arena_free(arena);
}

TEST(MemArena, BigRequestGetsAChunkOfItsOwnAndTheNextSmallOneANewChunk) {
    MemArena* arena = arena_new(64);
    arena_alloc(arena, 8);
    void* big = arena_alloc(arena, 100); // rounded to 104, more than the 56 left
    EXPECT_EQ(chunk_count(arena), 2);
    EXPECT_EQ(arena->chunks->data, big);
    EXPECT_EQ(arena->bytesLeft, 0);
    void* small = arena_alloc(arena, 8);
    EXPECT_EQ(chunk_count(arena), 3);
    EXPECT_EQ(arena->chunks->data, small);
    EXPECT_EQ(arena->bytesLeft, 56);
    arena_free(arena);
}

TEST(MemArena, RequestThatExactlyFillsTheChunkStaysInIt) {
    MemArena* arena = arena_new(64);
    arena_alloc(arena, 32);
    arena_alloc(arena, 32);
    EXPECT_EQ(chunk_count(arena), 1);
    EXPECT_EQ(arena->bytesLeft, 0);
    arena_free(arena);
}

void count_release(void* data) {
    ++*static_cast<int*>(data);
}

TEST(NLinkList, PrependsNewestFirstAndReleasesEveryNode) {
    NLink* head = nullptr;
    int counters[3] = {};
    for (int& c : counters)
        nlink_prepend(&head, &c);
    EXPECT_EQ(head->data, &counters[2]);
    EXPECT_EQ(head->next->next->data, &counters[0]);
    nlink_free_list(head, count_release);
    for (int c : counters)
        EXPECT_EQ(c, 1);
}

struct Record {
    DLink link;
    int value;
};

TEST(DListAppend, LinksBothWaysAndIgnoresNull) {
    DList list = {};
    Record r[3] = {{{}, 0}, {{}, 1}, {{}, 2}};
    for (Record& x : r)
        dlist_append(&list, &x);
    dlist_append(&list, nullptr);
    dlist_append(nullptr, &r[0]);
    EXPECT_EQ(list.first, &r[0].link);
    EXPECT_EQ(list.last, &r[2].link);
    EXPECT_EQ(r[0].link.next, &r[1].link);
    EXPECT_EQ(r[2].link.prev, &r[1].link);
    EXPECT_EQ(r[2].link.next, nullptr);
    EXPECT_EQ(r[0].link.prev, nullptr);
}

} // namespace

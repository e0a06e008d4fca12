#include "support/guarded_alloc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_messages;
void collect(const char* text) {
    g_messages.emplace_back(text);
}

// Routes allocator messages into g_messages for the duration of a test.
class GuardedAlloc : public ::testing::Test {
protected:
    void SetUp() override {
        g_messages.clear();
        mem_set_sink(collect);
    }
    void TearDown() override { mem_set_sink(nullptr); }
};

// The blocks currently on the live list, first to last.
std::vector<BlockHeader*> live_blocks() {
    std::vector<BlockHeader*> blocks;
    for (BlockLink* l = mem_live_list().first; l; l = l->next)
        blocks.push_back(mem_header_of_link(l));
    return blocks;
}

uint32_t tail_word(void* p) {
    uint32_t word;
    std::memcpy(&word, static_cast<char*>(p) + mem_header_of(p)->len, 4);
    return word;
}

TEST_F(GuardedAlloc, HeaderAndTailCarryTheMagicWords) {
    void* p = mem_alloc(5, "five");
    BlockHeader* h = mem_header_of(p);
    EXPECT_EQ(h->tag1, 0x4F4D454Du);
    EXPECT_EQ(std::memcmp(&h->tag1, "MEMO", 4), 0);
    EXPECT_EQ(std::memcmp(&h->tag2, "RYBL", 4), 0);
    EXPECT_EQ(h->len, 8u);
    EXPECT_STREQ(h->name, "five");
    EXPECT_EQ(h->nextname, nullptr);
    uint32_t tail = tail_word(p);
    EXPECT_EQ(std::memcmp(&tail, "OCK!", 4), 0);
    EXPECT_EQ(live_blocks().back(), h);
    EXPECT_EQ(mem_free(p), 0);
}

TEST_F(GuardedAlloc, ZeroLengthBlockHasItsTailRightBehindTheHeader) {
    void* p = mem_alloc(0, "empty");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(mem_header_of(p)->len, 0u);
    EXPECT_EQ(tail_word(p), MEM_TAG3);
    EXPECT_EQ(mem_free(p), 0);
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(GuardedAlloc, CallocZeroesPayloadAndReservedWord) {
    auto* p = static_cast<unsigned char*>(mem_calloc(37, "zeroed"));
    EXPECT_EQ(mem_header_of(p)->len, 40u);
    EXPECT_EQ(mem_header_of(p)->reserved, 0u);
    for (int i = 0; i < 40; i++)
        EXPECT_EQ(p[i], 0) << i;
    mem_free(p);
}

TEST_F(GuardedAlloc, DupCopiesTheRoundedLengthUnderItsOwnTag) {
    auto* p = static_cast<char*>(mem_alloc(5, "source"));
    std::memcpy(p, "abcdefgh", 8);
    auto* copy = static_cast<char*>(mem_dup(p));
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(mem_header_of(copy)->name, "dupli_alloc");
    EXPECT_EQ(mem_header_of(copy)->len, 8u);
    EXPECT_EQ(std::memcmp(copy, "abcdefgh", 8), 0);
    EXPECT_EQ(mem_dup(nullptr), nullptr);
    mem_free(copy);
    mem_free(p);
}

TEST_F(GuardedAlloc, RefusesNullAndMisalignedPointers) {
    EXPECT_EQ(mem_free(nullptr), -1);
    void* p = mem_alloc(16, "aligned");
    EXPECT_EQ(mem_free(static_cast<char*>(p) + 2), -1);
    ASSERT_EQ(g_messages.size(), 2u);
    EXPECT_EQ(g_messages[0], "Memoryblock free: attempt to free NULL pointer\n");
    EXPECT_EQ(g_messages[1], "Memoryblock free: attempt to free illegal pointer\n");
    EXPECT_EQ(mem_free(p), 0);
}

TEST_F(GuardedAlloc, DoubleFreeIsRefusedAndLeavesTheListAlone) {
    void* keep = mem_alloc(8, "keep");
    void* p = mem_alloc(8, "twice");
    EXPECT_EQ(mem_free(p), 0);
    std::vector<BlockHeader*> before = live_blocks();
    EXPECT_EQ(mem_free(p), -1);
    EXPECT_EQ(live_blocks(), before);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], "Memoryblock twice: double free\n");
    mem_free(keep);
}

TEST_F(GuardedAlloc, WriteIntoTheTailIsReportedAndTheBlockKept) {
    void* before = mem_alloc(4, "before");
    auto* p = static_cast<char*>(mem_alloc(5, "overrun"));
    p[8] = 'x'; // one byte past the rounded length: the tail word
    EXPECT_EQ(mem_free(p), 2);
    ASSERT_GE(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], "Memoryblock overrun: end corrupt\n");
    // Kept allocated (the magic words are not replaced by the released marker), and cut out of
    // the live list so that the list stays walkable.
    EXPECT_EQ(mem_header_of(p)->tag1, MEM_TAG1);
    std::vector<BlockHeader*> blocks = live_blocks();
    EXPECT_EQ(std::find(blocks.begin(), blocks.end(), mem_header_of(p)), blocks.end());
    EXPECT_EQ(mem_live_list().last, &mem_header_of(before)->link);
    EXPECT_EQ(mem_free(before), 0);
    std::free(mem_header_of(p));
}

TEST_F(GuardedAlloc, ReleasingFromTheMiddleJoinsNeighboursAndRecordsNextName) {
    void* a = mem_alloc(4, "a");
    void* b = mem_alloc(4, "b");
    void* c = mem_alloc(4, "c");
    MemBlockList before = mem_live_list();
    EXPECT_EQ(mem_free(b), 0);
    MemBlockList after = mem_live_list();
    EXPECT_EQ(before.first, after.first);
    EXPECT_EQ(before.last, after.last);
    EXPECT_EQ(mem_header_of(a)->link.next, &mem_header_of(c)->link);
    EXPECT_EQ(mem_header_of(c)->link.prev, &mem_header_of(a)->link);
    EXPECT_STREQ(mem_header_of(a)->nextname, "c");

    EXPECT_EQ(mem_free(c), 0); // the last block: last moves to its predecessor
    EXPECT_EQ(mem_live_list().last, &mem_header_of(a)->link);
    EXPECT_EQ(mem_header_of(a)->nextname, nullptr);
    mem_free(a);
}

TEST_F(GuardedAlloc, DamagedHeaderIsCutOutOfTheListAndNamedByItsPredecessor) {
    void* a = mem_alloc(4, "alpha");
    void* x = mem_alloc(4, "gone");
    void* b = mem_alloc(4, "beta");
    void* d = mem_alloc(4, "delta");
    mem_free(x); // alpha remembers its new follower's tag: "beta"
    EXPECT_STREQ(mem_header_of(a)->nextname, "beta");
    mem_header_of(b)->tag2 = 0xDEADBEEF; // damage beta's header
    EXPECT_EQ(mem_free(b), -1);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], "Memoryblock beta: error in header\n");
    // beta is no longer on the list: alpha now links straight to delta.
    std::vector<BlockHeader*> blocks = live_blocks();
    EXPECT_EQ(std::find(blocks.begin(), blocks.end(), mem_header_of(b)), blocks.end());
    EXPECT_EQ(mem_header_of(a)->link.next, &mem_header_of(d)->link);
    EXPECT_EQ(mem_header_of(d)->link.prev, &mem_header_of(a)->link);
    EXPECT_STREQ(mem_header_of(a)->nextname, "delta");
    mem_free(a);
    mem_free(d);
    // beta stays allocated for the rest of the run; give its memory back here.
    std::free(mem_header_of(b));
}

TEST_F(GuardedAlloc, DamagedFirstBlockHasNoNameToReport) {
    void* a = mem_alloc(4, "first");
    void* b = mem_alloc(4, "second");
    mem_header_of(a)->tag1 = 0;
    EXPECT_EQ(mem_free(a), -1);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], "Memoryblock No name found: error in header\n");
    EXPECT_EQ(mem_live_list().first, &mem_header_of(b)->link);
    EXPECT_EQ(mem_header_of(b)->link.prev, nullptr);
    mem_free(b);
    std::free(mem_header_of(a));
}

TEST_F(GuardedAlloc, DamagedHeaderOfABlockNotInTheListIsReportedAsSuch) {
    // A fake block with broken magic words that was never on the list.
    alignas(16) unsigned char fake[sizeof(BlockHeader) + 16] = {};
    void* p = fake + sizeof(BlockHeader);
    EXPECT_EQ(mem_free(p), -1);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], "Memoryblock free: pointer not in memlist\n");
}

TEST_F(GuardedAlloc, TwoBrokenBlocksAreReportedAsMoreThanOne) {
    void* a = mem_alloc(4, "one");
    void* b = mem_alloc(4, "two");
    void* c = mem_alloc(4, "three");
    mem_header_of(a)->tag1 = 0; // broken near the front
    mem_header_of(c)->tag1 = 0; // and near the back
    mem_header_of(b)->tag2 = 0; // and the block being released
    EXPECT_EQ(mem_free(b), -1);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], "Memoryblock MORE THAN 1 MEMORYBLOCK CORRUPT: error in header\n");
    mem_header_of(a)->tag1 = MEM_TAG1;
    mem_header_of(c)->tag1 = MEM_TAG1;
    mem_header_of(b)->tag2 = MEM_TAG2;
    mem_free(a);
    mem_free(b);
    mem_free(c);
}

TEST_F(GuardedAlloc, FailedAllocationReportsLengthAndTag) {
    EXPECT_EQ(mem_alloc(-8, "negative"), nullptr);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], "Malloc returns nill: len=-8 in negative\n");
}

} // namespace

#include "support/edge_hash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace {

void* value(intptr_t n) {
    return reinterpret_cast<void*>(n);
}
intptr_t untag(void* p) {
    return reinterpret_cast<intptr_t>(p);
}

TEST(EdgeHash, PairOrderDoesNotMatter) {
    EdgeHash* hash = edgehash_new();
    edgehash_insert(hash, 5, 2, value(52));
    void** slot = edgehash_lookup(hash, 2, 5);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(*slot, value(52));
    EXPECT_TRUE(edgehash_has_key(hash, 5, 2));
    EXPECT_FALSE(edgehash_has_key(hash, 2, 6));
    edgehash_free(hash, nullptr);
}

TEST(EdgeHash, GrowsOneStepWhenEntriesExceedThreeTimesTheBuckets) {
    EdgeHash* hash = edgehash_new();
    EXPECT_EQ(hash->bucketCount, 1);
    std::vector<int> bucketsAfter;
    for (int i = 0; i < 10; i++) {
        edgehash_insert(hash, i, i + 1, value(i));
        bucketsAfter.push_back(hash->bucketCount);
    }
    // 4 > 3 x 1 grows to 3; 10 > 3 x 3 grows to 5.
    EXPECT_EQ(bucketsAfter, (std::vector<int>{1, 1, 1, 3, 3, 3, 3, 3, 3, 5}));
    EXPECT_EQ(hash->sizeStep, 2);
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(*edgehash_lookup(hash, i + 1, i), value(i));
    edgehash_free(hash, nullptr);
}

int g_released = 0;
void count_release(void*) {
    g_released++;
}

TEST(EdgeHash, DuplicatePairsAreKeptAndTheNewestIsFoundFirst) {
    EdgeHash* hash = edgehash_new();
    edgehash_insert(hash, 1, 2, value(1));
    edgehash_insert(hash, 2, 1, value(2));
    EXPECT_EQ(hash->entryCount, 2);
    EXPECT_EQ(*edgehash_lookup(hash, 1, 2), value(2));
    g_released = 0;
    edgehash_clear(hash, count_release);
    EXPECT_EQ(g_released, 2);
    EXPECT_EQ(hash->entryCount, 0);
    EXPECT_FALSE(edgehash_has_key(hash, 1, 2));
    edgehash_free(hash, nullptr);
}

TEST(EdgeHash, ClearKeepsTheBucketCount) {
    EdgeHash* hash = edgehash_new();
    for (int i = 0; i < 100; i++)
        edgehash_insert(hash, i, 2 * i, nullptr);
    int buckets = hash->bucketCount;
    edgehash_clear(hash, nullptr);
    EXPECT_EQ(hash->bucketCount, buckets);
    edgehash_insert(hash, 3, 4, value(34));
    EXPECT_EQ(*edgehash_lookup(hash, 4, 3), value(34));
    edgehash_free(hash, nullptr);
}

TEST(EdgeHash, ManyRandomPairsAgreeWithAMap) {
    std::mt19937 rng(7);
    EdgeHash* hash = edgehash_new();
    std::map<std::pair<int, int>, std::vector<intptr_t>> reference;
    for (intptr_t i = 0; i < 50000; i++) {
        int a = int(rng() % 20000), b = int(rng() % 20000);
        edgehash_insert(hash, a, b, value(i));
        reference[{std::min(a, b), std::max(a, b)}].push_back(i);
    }
    EXPECT_GT(hash->bucketCount, 50000 / 3);
    // Growing moves each chain from its head, so duplicates may change order: a duplicated
    // pair finds one of its values, a single pair exactly its own.
    for (auto& [pair, values] : reference) {
        void** slot = edgehash_lookup(hash, pair.second, pair.first);
        ASSERT_NE(slot, nullptr);
        if (values.size() == 1)
            ASSERT_EQ(*slot, value(values[0]));
        else
            ASSERT_NE(std::find(values.begin(), values.end(), untag(*slot)), values.end());
    }
    for (int i = 0; i < 1000; i++) {
        int a = int(rng() % 20000), b = int(rng() % 20000);
        bool expected = reference.count({std::min(a, b), std::max(a, b)}) > 0;
        ASSERT_EQ(edgehash_has_key(hash, a, b), expected);
    }
    edgehash_free(hash, nullptr);
}

TEST(EdgeHash, IndicesTooLargeForTheSignedProductsStillLandInABucket) {
    EdgeHash* hash = edgehash_new();
    edgehash_insert(hash, 2000000000, 2100000000, value(1));
    EXPECT_TRUE(edgehash_has_key(hash, 2100000000, 2000000000));
    edgehash_free(hash, nullptr);
}

} // namespace

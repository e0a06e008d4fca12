#include "support/guarded_alloc.h"
#include "unwrap/unwrap_hash.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

struct HashFixture {
    PHalfEdge* list = nullptr;
    PHash* hash = phash_new(reinterpret_cast<void**>(&list), 1);
    std::vector<PHalfEdge> records;
    explicit HashFixture(size_t n) : records(n) {}
    ~HashFixture() { phash_delete(hash); }
};

TEST(UnwrapHash, NewHashWithHintOneHasOneBucket) {
    PPoint* list = nullptr;
    PHash* hash = phash_new(reinterpret_cast<void**>(&list), 1);
    EXPECT_EQ(hash->cursize, 1);
    EXPECT_EQ(hash->size, 0);
    phash_delete(hash);
}

TEST(UnwrapHash, SizeHintPicksFirstTableValueNotBelowIt) {
    PPoint* list = nullptr;
    PHash* hash = phash_new(reinterpret_cast<void**>(&list), 100);
    EXPECT_EQ(hash->cursize, 131);
    phash_delete(hash);
}

TEST(UnwrapHash, GrowsOnceLoadExceedsThreePerBucket) {
    HashFixture f(40);
    const int expected[] = {1, 1, 1, 3, 3, 3, 3, 3, 3, 5};
    for (int i = 0; i < 10; i++) {
        f.records[size_t(i)].key = i;
        phash_insert(f.hash, &f.records[size_t(i)]);
        EXPECT_EQ(f.hash->cursize, expected[i]) << "after " << i + 1 << " records";
    }
    EXPECT_EQ(f.hash->size, 10);
}

TEST(UnwrapHash, EveryRecordIsFoundAndTheListHoldsEachOnce) {
    const size_t n = 5000;
    HashFixture f(n);
    for (size_t i = 0; i < n; i++) {
        f.records[i].key = int(i % 1777) * 31; // three records share most keys
        phash_insert(f.hash, &f.records[i]);
    }
    std::set<const PHalfEdge*> inList;
    for (PHalfEdge* e = f.list; e; e = e->next)
        EXPECT_TRUE(inList.insert(e).second);
    EXPECT_EQ(inList.size(), n);

    for (size_t i = 0; i < n; i++) {
        int key = f.records[i].key;
        bool found = false;
        for (PHalfEdge* e = phash_lookup_edge(f.hash, key); e;
             e = phash_next_edge(f.hash, key, e)) {
            EXPECT_EQ(e->key, key);
            found = found || e == &f.records[i];
        }
        EXPECT_TRUE(found) << "record " << i;
    }
}

TEST(UnwrapHash, MissingKeyIsNotFound) {
    HashFixture f(50);
    for (size_t i = 0; i < 50; i++) {
        f.records[i].key = int(i) * 2;
        phash_insert(f.hash, &f.records[i]);
    }
    EXPECT_EQ(phash_lookup_edge(f.hash, 7), nullptr);
    EXPECT_EQ(phash_lookup_edge(f.hash, 1000001), nullptr);
}

TEST(UnwrapHash, NegativeKeysMapAsUnsigned) {
    HashFixture f(20);
    for (size_t i = 0; i < 20; i++) {
        f.records[i].key = -int(i) - 1;
        phash_insert(f.hash, &f.records[i]);
    }
    for (size_t i = 0; i < 20; i++)
        EXPECT_EQ(phash_lookup_edge(f.hash, -int(i) - 1), &f.records[i]);
}

TEST(UnwrapHash, BucketsComeFromTheGuardedAllocatorUnderTheirTag) {
    PPoint* list = nullptr;
    PHash* hash = phash_new(reinterpret_cast<void**>(&list), 1);
    EXPECT_STREQ(mem_header_of(hash)->name, "PHash");
    EXPECT_STREQ(mem_header_of(hash->buckets)->name, "PHashBuckets");
    phash_delete(hash);
}

} // namespace

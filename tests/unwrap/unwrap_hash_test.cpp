#include "support/guarded_alloc.h"
#include "unwrap/unwrap_hash.h"
#include "unwrap_test_mesh.h"

#include <gtest/gtest.h>

#include <random>
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

// The replayed order equals the hash's own for counts on either side of its growths (the last
// record setting one off included), keys shared, scattered or negative.
TEST(UnwrapHash, OrderAsInsertedIsTheHashsListOrder) {
    std::mt19937 rng(11);
    for (size_t n : {size_t(0), size_t(1), size_t(3), size_t(4), size_t(9), size_t(10), size_t(52),
                     size_t(1000), size_t(20000)}) {
        for (int spread : {7, 1 << 30}) {
            std::vector<PTriangle> hashed(n), replayed(n);
            PTriangle* hashList = nullptr;
            PTriangle* replayList = nullptr;
            PHash* hash = phash_new(reinterpret_cast<void**>(&hashList), 1);
            for (size_t i = 0; i < n; i++) {
                int key = int(rng() % unsigned(spread)) - (spread > 7 ? (1 << 29) : 0);
                hashed[i].key = replayed[i].key = key;
                phash_insert(hash, &hashed[i]);
                replayed[i].next = replayList;
                replayList = &replayed[i];
            }
            phash_order_as_inserted(&replayList);
            std::vector<size_t> hashOrder, replayOrder;
            for (PTriangle* t = hashList; t; t = t->next)
                hashOrder.push_back(size_t(t - hashed.data()));
            for (PTriangle* t = replayList; t; t = t->next)
                replayOrder.push_back(size_t(t - replayed.data()));
            EXPECT_EQ(replayOrder, hashOrder) << n << " records, keys below " << spread;
            EXPECT_EQ(replayOrder.size(), n);
            phash_delete(hash);
        }
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

namespace {

// The half-edges joining a and b the slow way: every half-edge of the construction filtered by
// its end keys.
std::set<PHalfEdge*> joining_by_scan(PHandle* handle, int a, int b) {
    std::set<PHalfEdge*> result;
    for (PHalfEdge* e = handle->construction->edges; e; e = e->next) {
        int k1 = e->point->key, k2 = e->nextInTri->point->key;
        if ((k1 == a && k2 == b) || (k1 == b && k2 == a))
            result.insert(e);
    }
    return result;
}

std::set<PHalfEdge*> joining_by_index(PHandle* handle, int a, int b) {
    std::set<PHalfEdge*> result;
    for (PHalfEdge* e = pedgeindex_lookup(handle->edgeIndex, a, b); e; e = e->nextSameEnds)
        EXPECT_TRUE(result.insert(e).second) << "chain visits a half-edge twice";
    return result;
}

// With any hint of the face count (none, about right, far too many) the index finds the same.
TEST(UnwrapEdgeIndex, FindsExactlyTheHalfEdgesThatJoinTheKeys) {
    for (unsigned seed = 1; seed <= 30; seed++) {
        std::mt19937 rng(seed);
        TestMesh mesh;
        int nv = 5 + int(rng() % 60);
        for (int i = 0; i < nv; i++)
            mesh.addVertex(float(rng() % 7), float(rng() % 7), float(rng() % 3));
        int nf = 1 + int(rng() % 300);
        for (int i = 0; i < nf; i++) {
            int a = int(rng() % unsigned(nv)), b = int(rng() % unsigned(nv));
            int c = int(rng() % unsigned(nv)), d = int(rng() % unsigned(nv));
            if (rng() % 3 == 0)
                mesh.addQuad(a, b, c, d);
            else
                mesh.addTriangle(a, b, c);
        }
        const int hints[] = {-1, nf, 100000};
        PHandle* handle = test_mesh_begin(mesh, hints[seed % 3]);
        for (int a = 0; a < nv; a++)
            for (int b = a; b < nv; b++)
                ASSERT_EQ(joining_by_index(handle, a, b), joining_by_scan(handle, a, b))
                    << "seed " << seed << " keys " << a << " " << b;
        unwrap_delete(handle);
    }
}

TEST(UnwrapEdgeIndex, MarkSeamFlagsOneOfTheHalfEdgesThatJoinTheKeys) {
    TestMesh mesh = test_mesh_grid(3);
    PHandle* handle = test_mesh_begin(mesh);
    PHalfEdge* e = unwrap_mark_seam(handle, 5, 6);
    ASSERT_NE(e, nullptr);
    std::set<PHalfEdge*> joining = joining_by_scan(handle, 5, 6);
    EXPECT_EQ(joining.size(), 2u);
    EXPECT_TRUE(joining.count(e));
    int flagged = 0;
    for (PHalfEdge* r : joining)
        flagged += (r->flags & PEDGE_SEAM) != 0;
    EXPECT_EQ(flagged, 1);
    unwrap_delete(handle);
}

} // namespace

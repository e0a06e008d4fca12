#include "support/edge_hash.h"

#include "support/guarded_alloc.h"
#include "support/require.h"

#include <cstdint>
#include <cstdlib>
#include <utility>

const int EDGEHASH_PRIMES[EDGEHASH_PRIME_COUNT] = {
    1,       3,       5,       11,      17,       37,       67,       131,       257,      521,
    1031,    2053,    4099,    8209,    16411,    32771,    65537,    131101,    262147,   524309,
    1048583, 2097169, 4194319, 8388617, 16777259, 33554467, 67108879, 134217757, 268435459};

namespace {

// ((low * 39) ^ (high * 31)) mod bucket count. Done in unsigned arithmetic so that indices too
// large for the signed products still land in a bucket; for valid indices the result is the same.
int bucket_of(int low, int high, int bucketCount) {
    uint32_t h = (uint32_t(low) * 39u) ^ (uint32_t(high) * 31u);
    return int(h % uint32_t(bucketCount));
}

EdgeHashEntry** new_buckets(int count) {
    auto* buckets =
        static_cast<EdgeHashEntry**>(std::calloc(size_t(count), sizeof(EdgeHashEntry*)));
    SUPPORT_REQUIRE(buckets, "edgehash: out of memory for the buckets");
    return buckets;
}

void grow(EdgeHash* hash) {
    // The table stops growing at the last prime; chains just get longer past that.
    if (hash->sizeStep + 1 >= EDGEHASH_PRIME_COUNT)
        return;
    int count = EDGEHASH_PRIMES[++hash->sizeStep];
    EdgeHashEntry** buckets = new_buckets(count);
    for (int i = 0; i < hash->bucketCount; i++) {
        EdgeHashEntry* e = hash->buckets[i];
        while (e) {
            EdgeHashEntry* next = e->next;
            int b = bucket_of(e->low, e->high, count);
            e->next = buckets[b];
            buckets[b] = e;
            e = next;
        }
    }
    std::free(hash->buckets);
    hash->buckets = buckets;
    hash->bucketCount = count;
}

} // namespace

EdgeHash* edgehash_new() {
    auto* hash = static_cast<EdgeHash*>(mem_alloc(sizeof(EdgeHash), "EdgeHash"));
    SUPPORT_REQUIRE(hash, "edgehash_new: out of memory");
    hash->sizeStep = 0;
    hash->bucketCount = EDGEHASH_PRIMES[0];
    hash->entryCount = 0;
    hash->buckets = new_buckets(hash->bucketCount);
    return hash;
}

void edgehash_insert(EdgeHash* hash, int a, int b, void* value) {
    if (a > b)
        std::swap(a, b);
    auto* e = static_cast<EdgeHashEntry*>(std::malloc(sizeof(EdgeHashEntry)));
    SUPPORT_REQUIRE(e, "edgehash_insert: out of memory");
    e->low = a;
    e->high = b;
    e->value = value;
    int bucket = bucket_of(a, b, hash->bucketCount);
    e->next = hash->buckets[bucket];
    hash->buckets[bucket] = e;
    hash->entryCount++;
    if (int64_t(hash->entryCount) > 3 * int64_t(hash->bucketCount))
        grow(hash);
}

void** edgehash_lookup(EdgeHash* hash, int a, int b) {
    if (a > b)
        std::swap(a, b);
    for (EdgeHashEntry* e = hash->buckets[bucket_of(a, b, hash->bucketCount)]; e; e = e->next) {
        if (e->low == a && e->high == b)
            return &e->value;
    }
    return nullptr;
}

bool edgehash_has_key(EdgeHash* hash, int a, int b) {
    return edgehash_lookup(hash, a, b) != nullptr;
}

void edgehash_clear(EdgeHash* hash, void (*release)(void*)) {
    for (int i = 0; i < hash->bucketCount; i++) {
        EdgeHashEntry* e = hash->buckets[i];
        while (e) {
            EdgeHashEntry* next = e->next;
            if (release)
                release(e->value);
            std::free(e);
            e = next;
        }
        hash->buckets[i] = nullptr;
    }
    hash->entryCount = 0;
}

void edgehash_free(EdgeHash* hash, void (*release)(void*)) {
    edgehash_clear(hash, release);
    std::free(hash->buckets);
    mem_free(hash);
}

#pragma once

// Maps an unordered pair of vertex indices to a pointer value. The order of the two indices
// never matters; a pair inserted twice is kept twice and found newest first.

struct EdgeHashEntry {
    EdgeHashEntry* next;
    int low, high; // low <= high
    void* value;
};

struct EdgeHash {
    EdgeHashEntry** buckets;
    int bucketCount; // the current entry of EDGEHASH_PRIMES
    int entryCount;
    int sizeStep; // index of bucketCount in EDGEHASH_PRIMES
};

constexpr int EDGEHASH_PRIME_COUNT = 29;
extern const int EDGEHASH_PRIMES[EDGEHASH_PRIME_COUNT];

EdgeHash* edgehash_new();
void edgehash_insert(EdgeHash* hash, int a, int b, void* value);
// Address of the value of the first entry for the pair, or null.
void** edgehash_lookup(EdgeHash* hash, int a, int b);
bool edgehash_has_key(EdgeHash* hash, int a, int b);
// Calls release (when given) on every value in bucket and chain order, then empties the hash;
// the bucket count stays.
void edgehash_clear(EdgeHash* hash, void (*release)(void*));
void edgehash_free(EdgeHash* hash, void (*release)(void*));

#include "unwrap/unwrap_hash.h"

#include "support/guarded_alloc.h"
#include "support/require.h"

#include <algorithm>
#include <vector>

namespace {

// Roughly tripling primes; a rehash happens once there are more than three records per bucket.
constexpr int PHASH_SIZES[] = {
    1,       3,       5,       11,      17,       37,       67,       131,       257,      521,
    1031,    2053,    4099,    8209,    16411,    32771,    65537,    131101,    262147,   524309,
    1048583, 2097169, 4194319, 8388617, 16777259, 33554467, 67108879, 134217757, 268435459};
constexpr int PHASH_SIZE_COUNT = int(sizeof(PHASH_SIZES) / sizeof(PHASH_SIZES[0]));

inline unsigned bucket_of(const PHash* hash, int key) {
    return unsigned(key) % unsigned(hash->cursize);
}

void** new_buckets(int count) {
    SUPPORT_REQUIRE(count <= int(0x7fffffff / sizeof(void*)), "unwrap: hash too large");
    auto* buckets = static_cast<void**>(mem_calloc(int(sizeof(void*)) * count, "PHashBuckets"));
    SUPPORT_REQUIRE(buckets, "unwrap: out of memory for hash buckets");
    return buckets;
}

// The list head is a field of the record's own pointer type; the hash keeps it untyped.
template <class R> R** head_of(PHash* hash) {
    return reinterpret_cast<R**>(hash->list);
}

template <class R> void link_in(PHash* hash, R* rec) {
    unsigned b = bucket_of(hash, rec->key);
    R* lookup = static_cast<R*>(hash->buckets[b]);
    if (!lookup) {
        rec->next = *head_of<R>(hash);
        *head_of<R>(hash) = rec;
        hash->buckets[b] = rec;
    } else {
        rec->next = lookup->next;
        lookup->next = rec;
    }
}

template <class R> void insert(PHash* hash, R* rec) {
    link_in(hash, rec);
    hash->size++;
    if (hash->size > hash->cursize * 3 && hash->cursizeIndex + 1 < PHASH_SIZE_COUNT) {
        R* old = *head_of<R>(hash);
        hash->cursizeIndex++;
        hash->cursize = PHASH_SIZES[hash->cursizeIndex];
        mem_free(hash->buckets);
        hash->buckets = new_buckets(hash->cursize);
        hash->size = 0;
        *head_of<R>(hash) = nullptr;
        // Relink in old list order; the records themselves stay where they are.
        while (old) {
            R* next = old->next;
            link_in(hash, old);
            hash->size++;
            old = next;
        }
    }
}

template <class R> R* lookup(PHash* hash, int key) {
    unsigned b = bucket_of(hash, key);
    for (R* rec = static_cast<R*>(hash->buckets[b]); rec; rec = rec->next) {
        if (rec->key == key)
            return rec;
        if (bucket_of(hash, rec->key) != b)
            return nullptr;
    }
    return nullptr;
}

template <class R> R* next_same_key(PHash* hash, int key, R* rec) {
    unsigned b = bucket_of(hash, key);
    for (rec = rec->next; rec; rec = rec->next) {
        if (rec->key == key)
            return rec;
        if (bucket_of(hash, rec->key) != b)
            return nullptr;
    }
    return nullptr;
}

} // namespace

PHash* phash_new(void** list, int sizeHint) {
    auto* hash = static_cast<PHash*>(mem_calloc(sizeof(PHash), "PHash"));
    SUPPORT_REQUIRE(hash, "unwrap: out of memory for a hash");
    hash->list = list;
    while (hash->cursizeIndex + 1 < PHASH_SIZE_COUNT && PHASH_SIZES[hash->cursizeIndex] < sizeHint)
        hash->cursizeIndex++;
    hash->cursize = PHASH_SIZES[hash->cursizeIndex];
    hash->buckets = new_buckets(hash->cursize);
    return hash;
}

void phash_delete(PHash* hash) {
    if (!hash)
        return;
    mem_free(hash->buckets);
    mem_free(hash);
}

void phash_insert(PHash* hash, PPoint* point) {
    insert(hash, point);
}
void phash_insert(PHash* hash, PHalfEdge* edge) {
    insert(hash, edge);
}
void phash_insert(PHash* hash, PTriangle* triangle) {
    insert(hash, triangle);
}

PPoint* phash_lookup_point(PHash* hash, int key) {
    return lookup<PPoint>(hash, key);
}
PHalfEdge* phash_lookup_edge(PHash* hash, int key) {
    return lookup<PHalfEdge>(hash, key);
}
PHalfEdge* phash_next_edge(PHash* hash, int key, PHalfEdge* rec) {
    return next_same_key(hash, key, rec);
}

namespace {

// The list that link_in gives the sequence at a table of `buckets` buckets, starting empty: the
// buckets in reverse order of their first record, each with that record first and the others
// after it, latest first. Records are numbered in order of addition; key[r] is record r's key.
void hash_list_order(const std::vector<int>& sequence, const std::vector<int>& key,
                     unsigned buckets, std::vector<int>& out) {
    std::vector<int> groupOfBucket(buckets, -1);
    std::vector<int> group(sequence.size());
    std::vector<int> groupSize;
    for (size_t i = 0; i < sequence.size(); i++) {
        int& g = groupOfBucket[unsigned(key[size_t(sequence[i])]) % buckets];
        if (g < 0) {
            g = int(groupSize.size());
            groupSize.push_back(0);
        }
        group[i] = g;
        groupSize[size_t(g)]++;
    }
    // Group g starts at start[g]; its first record takes that slot, and the k-th of the others
    // (k from 1) the slot start[g] + size - k.
    std::vector<int> start(groupSize.size()), placed(groupSize.size(), 0);
    int at = 0;
    for (size_t g = groupSize.size(); g-- > 0;) {
        start[g] = at;
        at += groupSize[g];
    }
    out.resize(sequence.size());
    for (size_t i = 0; i < sequence.size(); i++) {
        const size_t g = size_t(group[i]);
        const int k = placed[g]++;
        out[size_t(k == 0 ? start[g] : start[g] + groupSize[g] - k)] = sequence[i];
    }
}

} // namespace

void phash_order_as_inserted(PTriangle** list) {
    std::vector<PTriangle*> added;
    for (PTriangle* t = *list; t; t = t->next)
        added.push_back(t);
    std::reverse(added.begin(), added.end());
    std::vector<int> key(added.size());
    for (size_t r = 0; r < added.size(); r++)
        key[r] = added[r]->key;

    // The hash's growths, replayed. At a growth the hash relinks its list (the record that set it
    // off included) at the larger table, and the records added after it are linked at that table
    // too: each stretch is one pass over the list so far and the records added in it.
    std::vector<int> order, sequence;
    int sizeIndex = 0;
    size_t next = 0;
    for (;;) {
        const size_t buckets = size_t(PHASH_SIZES[sizeIndex]);
        const bool canGrow = sizeIndex + 1 < PHASH_SIZE_COUNT;
        const size_t end = canGrow ? std::min(added.size(), buckets * 3 + 1) : added.size();
        sequence.assign(order.begin(), order.end());
        for (size_t r = next; r < end; r++)
            sequence.push_back(int(r));
        hash_list_order(sequence, key, unsigned(buckets), order);
        next = end;
        if (!canGrow || end != buckets * 3 + 1)
            break;
        sizeIndex++;
    }

    PTriangle* head = nullptr;
    for (size_t i = order.size(); i-- > 0;) {
        added[size_t(order[i])]->next = head;
        head = added[size_t(order[i])];
    }
    *list = head;
}

namespace {

uint64_t pack_ends(int a, int b) {
    uint32_t lo = uint32_t(a), hi = uint32_t(b);
    if (lo > hi) {
        uint32_t t = lo;
        lo = hi;
        hi = t;
    }
    return (uint64_t(hi) << 32) | lo;
}

// Edges that start at neighbouring vertex keys and span the same key distance land in
// neighbouring slots: the flood fill asks about neighbouring edges one after another, so this
// keeps its lookups in cache on meshes numbered in any locally coherent order.
unsigned slot_of(uint64_t key, unsigned capacity) {
    uint32_t lo = uint32_t(key), hi = uint32_t(key >> 32);
    return (lo * 4u + (hi - lo) * 0x9E3779B1u) & (capacity - 1);
}

void index_alloc(PEdgeIndex* index, unsigned capacity) {
    // 16 bytes a slot: the byte count must stay within an int for the allocator.
    SUPPORT_REQUIRE(capacity <= (1u << 26), "unwrap: edge index too large");
    index->capacity = capacity;
    index->slots = static_cast<PEdgeIndexSlot*>(
        mem_calloc(int(sizeof(PEdgeIndexSlot) * capacity), "PEdgeIndexSlots"));
    SUPPORT_REQUIRE(index->slots, "unwrap: out of memory for the edge index");
}

// The slot holding key, or the empty slot where it belongs.
unsigned index_find(const PEdgeIndex* index, uint64_t key) {
    unsigned i = slot_of(key, index->capacity);
    while (index->slots[i].head && index->slots[i].key != key)
        i = (i + 1) & (index->capacity - 1);
    return i;
}

} // namespace

PEdgeIndex* pedgeindex_new() {
    auto* index = static_cast<PEdgeIndex*>(mem_calloc(sizeof(PEdgeIndex), "PEdgeIndex"));
    SUPPORT_REQUIRE(index, "unwrap: out of memory for the edge index");
    index_alloc(index, 64);
    return index;
}

void pedgeindex_delete(PEdgeIndex* index) {
    if (!index)
        return;
    mem_free(index->slots);
    mem_free(index);
}

namespace {

// Refiles every filed key into a table of the given capacity.
void index_grow(PEdgeIndex* index, unsigned capacity) {
    PEdgeIndexSlot* old = index->slots;
    unsigned oldCapacity = index->capacity;
    index_alloc(index, capacity);
    for (unsigned j = 0; j < oldCapacity; j++)
        if (old[j].head)
            index->slots[index_find(index, old[j].key)] = old[j];
    mem_free(old);
}

} // namespace

void pedgeindex_reserve(PEdgeIndex* index, unsigned keys) {
    unsigned capacity = index->capacity;
    while (capacity < (1u << 26) && keys * 2ull > capacity)
        capacity *= 2;
    if (capacity > index->capacity)
        index_grow(index, capacity);
}

void pedgeindex_insert(PEdgeIndex* index, PHalfEdge* e) {
    uint64_t key = pack_ends(e->point->key, e->nextInTri->point->key);
    PEdgeIndexSlot* slot = &index->slots[index_find(index, key)];
    if (slot->head) {
        // Later half-edges go behind the first, so the first filed stays in front.
        e->nextSameEnds = slot->head->nextSameEnds;
        slot->head->nextSameEnds = e;
        return;
    }
    e->nextSameEnds = nullptr;
    slot->key = key;
    slot->head = e;
    index->count++;
    if (index->count * 2 > index->capacity)
        index_grow(index, index->capacity * 2);
}

PHalfEdge* pedgeindex_lookup(const PEdgeIndex* index, int a, int b) {
    return index->slots[index_find(index, pack_ends(a, b))].head;
}

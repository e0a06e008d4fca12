#include "support/heap.h"

#include "support/guarded_alloc.h"
#include "support/require.h"

#include <cstring>

namespace {

void swap_slots(Heap* heap, unsigned i, unsigned j) {
    HeapNode* a = heap->tree[i];
    HeapNode* b = heap->tree[j];
    heap->tree[i] = b;
    heap->tree[j] = a;
    b->position = i;
    a->position = j;
}

// Strictly less: a node climbs past parents of equal value, and NaN never counts as less.
bool less(const Heap* heap, unsigned i, unsigned j) {
    return heap->tree[i]->value < heap->tree[j]->value;
}

void sift_up(Heap* heap, unsigned i) {
    while (i > 0) {
        unsigned parent = (i - 1) / 2;
        if (less(heap, parent, i))
            return;
        swap_slots(heap, parent, i);
        i = parent;
    }
}

void sift_down(Heap* heap, unsigned i) {
    for (;;) {
        unsigned best = i;
        unsigned left = 2 * i + 1, right = 2 * i + 2;
        if (left < heap->count && less(heap, left, i))
            best = left;
        if (right < heap->count && less(heap, right, best))
            best = right;
        if (best == i)
            return;
        swap_slots(heap, i, best);
        i = best;
    }
}

HeapNode** new_tree(unsigned capacity) {
    auto* tree =
        static_cast<HeapNode**>(mem_alloc(int(capacity * sizeof(HeapNode*)), "BLIHeapTree"));
    SUPPORT_REQUIRE(tree, "heap: out of memory for the tree array");
    return tree;
}

} // namespace

Heap* heap_new() {
    auto* heap = static_cast<Heap*>(mem_calloc(sizeof(Heap), "BLIHeap"));
    SUPPORT_REQUIRE(heap, "heap_new: out of memory");
    heap->capacity = 1;
    heap->tree = new_tree(1);
    heap->arena = arena_new(65536);
    return heap;
}

void heap_free(Heap* heap, void (*release)(void*)) {
    if (release) {
        for (unsigned i = 0; i < heap->count; i++)
            release(heap->tree[i]->data);
    }
    mem_free(heap->tree);
    arena_free(heap->arena);
    mem_free(heap);
}

HeapNode* heap_insert(Heap* heap, float value, void* data) {
    if (heap->count + 1 > heap->capacity) {
        SUPPORT_REQUIRE(heap->capacity < (1u << 28), "heap_insert: heap too large");
        HeapNode** tree = new_tree(heap->capacity * 2);
        std::memcpy(tree, heap->tree, heap->count * sizeof(HeapNode*));
        mem_free(heap->tree);
        heap->tree = tree;
        heap->capacity *= 2;
    }
    HeapNode* node = heap->freeList;
    if (node)
        heap->freeList = static_cast<HeapNode*>(node->data);
    else
        node = static_cast<HeapNode*>(arena_alloc(heap->arena, sizeof(HeapNode)));
    node->data = data;
    node->value = value;
    node->position = heap->count;
    heap->tree[heap->count] = node;
    heap->count++;
    sift_up(heap, node->position);
    return node;
}

bool heap_is_empty(const Heap* heap) {
    return heap->count == 0;
}

void* heap_pop_min(Heap* heap) {
    SUPPORT_REQUIRE(heap->count > 0, "heap_pop_min: the heap is empty");
    HeapNode* root = heap->tree[0];
    void* data = root->data;
    root->data = heap->freeList;
    heap->freeList = root;
    if (heap->count == 1) {
        heap->count = 0;
    } else {
        swap_slots(heap, 0, heap->count - 1);
        heap->count--;
        sift_down(heap, 0);
    }
    return data;
}

void* heap_remove(Heap* heap, HeapNode* node) {
    SUPPORT_REQUIRE(node->position < heap->count && heap->tree[node->position] == node,
                    "heap_remove: the node is not in the heap");
    unsigned i = node->position;
    while (i > 0) {
        unsigned parent = (i - 1) / 2;
        swap_slots(heap, parent, i);
        i = parent;
    }
    return heap_pop_min(heap);
}

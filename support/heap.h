#pragma once

#include "support/mem_arena.h"

// Binary min-heap of (value, data) pairs with stable node handles, so that a particular entry
// can be removed, not only the smallest. Nodes come from an arena and are recycled through a
// free list; the tree array only grows, by doubling.

struct HeapNode {
    void* data; // while on the free list: the next free node
    float value;
    unsigned position; // index in the tree array
};

struct Heap {
    unsigned count;
    unsigned capacity;
    MemArena* arena;
    HeapNode* freeList;
    HeapNode** tree; // children of slot i are 2i+1 and 2i+2
};

Heap* heap_new();
// Calls release (when given) on the data of every node still in the heap, in tree order.
void heap_free(Heap* heap, void (*release)(void*));
HeapNode* heap_insert(Heap* heap, float value, void* data);
bool heap_is_empty(const Heap* heap);
// The heap must not be empty.
void* heap_pop_min(Heap* heap);
// The node must be in the heap; returns its data.
void* heap_remove(Heap* heap, HeapNode* node);

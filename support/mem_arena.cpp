#include "support/mem_arena.h"

#include "support/guarded_alloc.h"
#include "support/require.h"

#include <cstdlib>

MemArena* arena_new(int chunkSize) {
    auto* arena = static_cast<MemArena*>(mem_calloc(sizeof(MemArena), "memarena"));
    SUPPORT_REQUIRE(arena, "arena_new: out of memory for the arena");
    arena->chunkSize = chunkSize;
    return arena;
}

void* arena_alloc(MemArena* arena, int size) {
    SUPPORT_REQUIRE(size >= 0, "arena_alloc: negative size");
    size = (size + 7) & ~7;
    if (size > arena->bytesLeft) {
        int chunk = size > arena->chunkSize ? size : arena->chunkSize;
        char* memory = static_cast<char*>(std::malloc(size_t(chunk)));
        SUPPORT_REQUIRE(memory, "arena_alloc: out of memory for a new chunk");
        nlink_prepend(&arena->chunks, memory);
        arena->current = memory;
        arena->bytesLeft = chunk;
    }
    void* piece = arena->current;
    arena->current += size;
    arena->bytesLeft -= size;
    return piece;
}

void arena_free(MemArena* arena) {
    nlink_free_list(arena->chunks, std::free);
    mem_free(arena);
}

NLink* nlink_prepend(NLink** head, void* data) {
    auto* node = static_cast<NLink*>(mem_alloc(sizeof(NLink), "nlink"));
    SUPPORT_REQUIRE(node, "nlink_prepend: out of memory for a list node");
    node->next = *head;
    node->data = data;
    *head = node;
    return node;
}

void nlink_free_list(NLink* first, void (*release)(void*)) {
    while (first) {
        NLink* next = first->next;
        if (release)
            release(first->data);
        mem_free(first);
        first = next;
    }
}

void dlist_append(DList* list, void* record) {
    if (!list || !record)
        return;
    auto* link = static_cast<DLink*>(record);
    link->next = nullptr;
    link->prev = list->last;
    if (list->last)
        list->last->next = link;
    else
        list->first = link;
    list->last = link;
}

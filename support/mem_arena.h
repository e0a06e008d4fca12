#pragma once

// Memory arena: many small records that die together, taken from large chunks of the process
// heap; plus the two small list utilities the arena and the edge table use.

// Singly linked list of data pointers; nodes come from the guarded allocator ("nlink").
struct NLink {
    NLink* next;
    void* data;
};

struct MemArena {
    char* current; // next free byte in the current chunk
    int chunkSize; // size of a new chunk, fixed at creation
    int bytesLeft; // in the current chunk; 0 at creation so the first request opens one
    NLink* chunks; // every chunk taken, newest first
};

MemArena* arena_new(int chunkSize);
// 8-byte granularity; a request larger than the chunk size gets a chunk of its own size.
void* arena_alloc(MemArena* arena, int size);
// Releases all chunks and the arena itself.
void arena_free(MemArena* arena);

NLink* nlink_prepend(NLink** head, void* data);
// Calls release on each node's data (when given), then frees the node.
void nlink_free_list(NLink* first, void (*release)(void*));

// Doubly linked list of records whose first word is their next and second word their prev.
struct DLink {
    DLink* next;
    DLink* prev;
};

struct DList {
    DLink* first;
    DLink* last;
};

void dlist_append(DList* list, void* record);

#pragma once

#include <cstddef>
#include <cstdint>

// Guarded allocator: every block carries a header in front of its payload and a tail behind it,
// with fixed magic words and a tag naming what it holds; all live blocks are chained in one
// process-wide list. Release checks the magic words, so double releases, writes past the end and
// damaged headers are detected and reported, and the damaged block is never handed back.
//
// The header keeps its historical word order; in 64-bit builds the pointer fields are 8 bytes.

constexpr uint32_t MEM_TAG1 = 0x4F4D454D;     // "MEMO"
constexpr uint32_t MEM_TAG2 = 0x4C425952;     // "RYBL"
constexpr uint32_t MEM_TAG3 = 0x214B434F;     // "OCK!"
constexpr uint32_t MEM_RELEASED = 0x45455246; // "FREE"

// The link pair of a block: next and prev point at other blocks' link pairs, not headers.
struct BlockLink {
    BlockLink* next;
    BlockLink* prev;
};

struct BlockHeader {
    uint32_t tag1;
    uint32_t len; // payload length, a multiple of 4
    BlockLink link;
    const char* name;     // the caller's tag; the text is not copied
    const char* nextname; // tag of the follower at the moment that follower was released
    uint32_t tag2;
    uint32_t reserved; // not written by mem_alloc, zero from mem_calloc
};

struct BlockTail {
    uint32_t tag3;
    uint32_t unused;
};

// The process-wide live list; first and last hold link pair addresses.
struct MemBlockList {
    BlockLink* first;
    BlockLink* last;
};

// Length in bytes and a tag that must outlive the block. Null when the process heap is empty.
void* mem_alloc(int len, const char* tag);
void* mem_calloc(int len, const char* tag);

// 0 released, -1 refused (null, misaligned, double free, damaged header), 2 end corrupt.
int16_t mem_free(void* payload);

// A copy of a block's len bytes under the tag "dupli_alloc"; null for null.
void* mem_dup(const void* payload);

// Formats a message (printf style, 1024 bytes at most) and hands it to the sink, if set.
void mem_report(const char* format, ...) __attribute__((format(printf, 1, 2)));

using MemMessageSink = void (*)(const char* text);
void mem_set_sink(MemMessageSink sink);

// Finds where the live list is broken and cuts the suspect block out of it; returns the name
// of the block in front of the break, or null when the list is intact and h is not in it.
const char* mem_check_list(BlockHeader* h);

// Inspection, for tests and debugging.
BlockHeader* mem_header_of(void* payload);
BlockHeader* mem_header_of_link(BlockLink* link);
MemBlockList mem_live_list();

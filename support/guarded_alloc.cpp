#include "support/guarded_alloc.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// The live list is shared by the UI thread and the unwrap worker, so its operations are
// serialised by one lock; nothing else about the allocator is thread-aware.
std::recursive_mutex g_list_lock;
MemBlockList g_list = {nullptr, nullptr};
MemMessageSink g_sink = nullptr;

constexpr const char* kFormat = "Memoryblock %s: %s\n";

// Released blocks are held back from the process heap for a while, so that a second release
// of the same pointer still finds the released marker instead of reading memory the heap has
// already taken back (and scribbled its own links over). Large blocks go back at once.
constexpr int kQuarantineSlots = 32;
constexpr uint32_t kQuarantineMaxLen = 1u << 20;
BlockHeader* g_quarantine[kQuarantineSlots] = {};
int g_quarantine_next = 0;

void release_to_heap(BlockHeader* h) {
    if (h->len > kQuarantineMaxLen) {
        std::free(h);
        return;
    }
    std::free(g_quarantine[g_quarantine_next]);
    g_quarantine[g_quarantine_next] = h;
    g_quarantine_next = (g_quarantine_next + 1) % kQuarantineSlots;
}

uint32_t round_up4(uint32_t n) {
    return (n + 3u) & ~3u;
}

char* payload_of(BlockHeader* h) {
    return reinterpret_cast<char*>(h) + sizeof(BlockHeader);
}

uint32_t read_tail(const BlockHeader* h) {
    uint32_t word;
    std::memcpy(&word, reinterpret_cast<const char*>(h) + sizeof(BlockHeader) + h->len,
                sizeof word);
    return word;
}

void write_tail(BlockHeader* h, uint32_t word) {
    std::memcpy(payload_of(h) + h->len, &word, sizeof word);
}

bool is_intact(const BlockHeader* h) {
    return h->tag1 == MEM_TAG1 && h->tag2 == MEM_TAG2;
}

void append_to_list(BlockHeader* h) {
    std::lock_guard<std::recursive_mutex> guard(g_list_lock);
    h->link.next = nullptr;
    h->link.prev = g_list.last;
    if (g_list.last)
        g_list.last->next = &h->link;
    else
        g_list.first = &h->link;
    g_list.last = &h->link;
}

void* allocate(int len, const char* tag, bool zeroed) {
    uint32_t rounded = round_up4(static_cast<uint32_t>(len < 0 ? 0 : len));
    size_t total = size_t(rounded) + sizeof(BlockHeader) + sizeof(BlockTail);
    void* raw = (len < 0) ? nullptr : (zeroed ? std::calloc(total, 1) : std::malloc(total));
    if (!raw) {
        mem_report(zeroed ? "Calloc returns nill: len=%d in %s\n"
                          : "Malloc returns nill: len=%d in %s\n",
                   len < 0 ? len : int(rounded), tag);
        return nullptr;
    }
    auto* h = static_cast<BlockHeader*>(raw);
    h->tag1 = MEM_TAG1;
    h->len = rounded;
    h->name = tag;
    h->nextname = nullptr;
    h->tag2 = MEM_TAG2;
    write_tail(h, MEM_TAG3);
    append_to_list(h);
    return payload_of(h);
}

} // namespace

BlockHeader* mem_header_of(void* payload) {
    return reinterpret_cast<BlockHeader*>(static_cast<char*>(payload) - sizeof(BlockHeader));
}

BlockHeader* mem_header_of_link(BlockLink* link) {
    return reinterpret_cast<BlockHeader*>(reinterpret_cast<char*>(link) -
                                          offsetof(BlockHeader, link));
}

MemBlockList mem_live_list() {
    std::lock_guard<std::recursive_mutex> guard(g_list_lock);
    return g_list;
}

void mem_set_sink(MemMessageSink sink) {
    g_sink = sink;
}

void mem_report(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (g_sink)
        g_sink(buffer);
}

void* mem_alloc(int len, const char* tag) {
    return allocate(len, tag, false);
}

void* mem_calloc(int len, const char* tag) {
    return allocate(len, tag, true);
}

void* mem_dup(const void* payload) {
    if (!payload)
        return nullptr;
    BlockHeader* h = mem_header_of(const_cast<void*>(payload));
    void* copy = mem_alloc(int(h->len), "dupli_alloc");
    if (copy)
        std::memcpy(copy, payload, h->len);
    return copy;
}

const char* mem_check_list(BlockHeader* h) {
    std::lock_guard<std::recursive_mutex> guard(g_list_lock);
    auto header = [](BlockLink* link) { return link ? mem_header_of_link(link) : nullptr; };

    // Walks from one end while blocks are intact; stops early at `stop` when given.
    auto walk_forward = [&](BlockHeader* stop, BlockHeader*& broken, BlockHeader*& last_ok) {
        broken = nullptr;
        last_ok = nullptr;
        for (BlockHeader* b = header(g_list.first); b; b = header(b->link.next)) {
            if (!is_intact(b) || b == stop) {
                broken = b;
                return;
            }
            last_ok = b;
        }
    };
    auto walk_backward = [&](BlockHeader* stop, BlockHeader*& broken, BlockHeader*& last_ok) {
        broken = nullptr;
        last_ok = nullptr;
        for (BlockHeader* b = header(g_list.last); b; b = header(b->link.prev)) {
            if (!is_intact(b) || b == stop) {
                broken = b;
                return;
            }
            last_ok = b;
        }
    };

    BlockHeader *forward_broken, *forward_ok, *backward_broken, *backward_ok;
    walk_forward(nullptr, forward_broken, forward_ok);
    walk_backward(nullptr, backward_broken, backward_ok);
    if (forward_broken != backward_broken)
        return "MORE THAN 1 MEMORYBLOCK CORRUPT";
    if (!forward_broken) {
        walk_forward(h, forward_broken, forward_ok);
        if (!forward_broken)
            return nullptr;
        walk_backward(h, backward_broken, backward_ok);
    }

    const char* name = forward_ok ? forward_ok->nextname : "No name found";
    if (forward_broken == h) {
        if (forward_ok && backward_ok) {
            forward_ok->link.next = &backward_ok->link;
            backward_ok->link.prev = &forward_ok->link;
            forward_ok->nextname = backward_ok->name;
        } else if (forward_ok) {
            forward_ok->link.next = nullptr;
            g_list.last = &forward_ok->link;
        } else if (backward_ok) {
            backward_ok->link.prev = nullptr;
            g_list.first = &backward_ok->link;
        } else {
            g_list.first = g_list.last = nullptr;
        }
        return name;
    }
    mem_report(kFormat, name, "Additional error in header");
    return "Additional error in header";
}

int16_t mem_free(void* payload) {
    if (!payload) {
        mem_report(kFormat, "free", "attempt to free NULL pointer");
        return -1;
    }
    if (reinterpret_cast<uintptr_t>(payload) % 4 != 0) {
        mem_report(kFormat, "free", "attempt to free illegal pointer");
        return -1;
    }
    std::lock_guard<std::recursive_mutex> guard(g_list_lock);
    BlockHeader* h = mem_header_of(payload);
    if (h->tag1 == MEM_RELEASED && h->tag2 == MEM_RELEASED) {
        mem_report(kFormat, h->name, "double free");
        return -1;
    }
    if (is_intact(h) && h->len % 4 == 0) {
        if (read_tail(h) == MEM_TAG3) {
            h->tag1 = h->tag2 = MEM_RELEASED;
            write_tail(h, MEM_RELEASED);
            BlockLink* next = h->link.next;
            BlockLink* prev = h->link.prev;
            if (prev)
                prev->next = next;
            else
                g_list.first = next;
            if (next)
                next->prev = prev;
            else
                g_list.last = prev;
            if (prev)
                mem_header_of_link(prev)->nextname =
                    next ? mem_header_of_link(next)->name : nullptr;
            release_to_heap(h);
            return 0;
        }
        mem_report(kFormat, h->name, "end corrupt");
        const char* name = mem_check_list(h);
        if (name && name != h->name)
            mem_report(kFormat, name, "is also corrupt");
        return 2;
    }
    const char* name = mem_check_list(h);
    if (!name)
        mem_report(kFormat, "free", "pointer not in memlist");
    else
        mem_report(kFormat, name, "error in header");
    return -1;
}

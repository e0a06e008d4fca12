#pragma once

#include <cstddef>
#include <cstdint>

// For a run that ends soon after its work, as the batch path does: blocks the process frees stay
// with it for the next allocations, instead of going back to the system and being faulted in
// again. Every factorisation of a chart allocates afresh, and with the allocator's defaults
// those pages come fresh each time. When expectedBytes is given, that much of the heap is set
// aside at once for huge pages, so that its first touch faults 2 MB at a time instead of 4 KB
// (only what is touched is used). Process-wide; call it before the work starts. A no-op where the
// C library has no such settings.
void keep_freed_memory_in_process(size_t expectedBytes = 0);

// In a worker thread of a process that called keep_freed_memory_in_process with an expected
// size: sets aside a part of it in the thread's own heap, for huge pages too. Else nothing.
void keep_freed_memory_in_thread();

// About as much heap as a batch run on an OBJ file of this size needs at its peak: 22 to 36
// times the file's size on real and generated meshes. Capped at 1 GB.
size_t batch_heap_estimate(uintmax_t objFileBytes);

#pragma once

// For a run that ends soon after its work, as the batch path does: blocks the process frees stay
// with it for the next allocations, instead of going back to the system and being faulted in
// again. Every factorisation of a chart allocates afresh, and with the allocator's defaults
// those pages come fresh each time. Process-wide; call it before the work starts. A no-op where
// the C library has no such setting.
void keep_freed_memory_in_process();

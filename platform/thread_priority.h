#pragma once

// Lowers the calling thread's scheduling priority, and that of the threads it starts from now
// on, so that long background work leaves the UI thread the cores it needs to stay responsive.
void platform_lower_thread_priority();

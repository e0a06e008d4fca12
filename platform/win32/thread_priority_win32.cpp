#include "platform/thread_priority.h"

#include <windows.h>

void platform_lower_thread_priority() {
    // Windows threads start at normal priority whoever creates them; only the calling thread
    // is lowered here.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

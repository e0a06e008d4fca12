#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void platform_lower_thread_priority() {
    // On Linux the nice value belongs to the thread and is inherited by the threads it creates.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    const int current = getpriority(PRIO_PROCESS, tid);
    (void)setpriority(PRIO_PROCESS, tid, current + 5 > 19 ? 19 : current + 5);
}

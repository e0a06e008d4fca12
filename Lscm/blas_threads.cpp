#include "Lscm/blas_threads.h"

#ifdef _WIN32
// The Windows build links SuperLU's own reference BLAS, which has no threads.
void nl_use_single_threaded_blas() {}
#else
#include <dlfcn.h>
#include <mutex>

// SuperLU hands BLAS many small dense panels. A threaded OpenBLAS wakes its threads for each
// of them and spends more time spinning than computing (on two cores, a factorisation took ten
// times longer than with one thread), so the solver asks for one thread. Other BLAS builds have
// no such call and are left alone.
void nl_use_single_threaded_blas() {
    static std::once_flag once;
    std::call_once(once, [] {
        using SetThreads = void (*)(int);
        if (auto set =
                reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "openblas_set_num_threads")))
            set(1);
    });
}
#endif

// Counts the layer's factorisations: the suite links with --wrap=sgstrf, so the layer's calls land
// here and are passed on to SuperLU.

#include "superlu_counter.h"

#include <slu_sdefs.h>

int superlu_factorizations = 0;

extern "C" void __real_sgstrf(superlu_options_t*, SuperMatrix*, int, int, int*, void*, int, int*,
                              int*, SuperMatrix*, SuperMatrix*, GlobalLU_t*, SuperLUStat_t*, int*);

extern "C" void __wrap_sgstrf(superlu_options_t* options, SuperMatrix* A, int relax, int panel_size,
                              int* etree, void* work, int lwork, int* perm_c, int* perm_r,
                              SuperMatrix* L, SuperMatrix* U, GlobalLU_t* glu, SuperLUStat_t* stat,
                              int* info) {
    ++superlu_factorizations;
    __real_sgstrf(options, A, relax, panel_size, etree, work, lwork, perm_c, perm_r, L, U, glu,
                  stat, info);
}

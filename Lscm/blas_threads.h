#pragma once

// Keeps the BLAS under SuperLU on the calling thread (OpenBLAS only; a no-op otherwise).
void nl_use_single_threaded_blas();

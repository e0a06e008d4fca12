#pragma once

// Number of sgstrf calls made by the solver layer since the process started.
extern int superlu_factorizations;

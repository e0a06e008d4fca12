#pragma once

// setenv and unsetenv for the suites that change the environment, over the C runtime's own
// calls; forced into every suite of the Windows build.
#include <stdlib.h>

inline int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && getenv(name))
        return 0;
    return _putenv_s(name, value) == 0 ? 0 : -1;
}

inline int unsetenv(const char* name) {
    return _putenv_s(name, "") == 0 ? 0 : -1;
}

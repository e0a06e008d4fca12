#pragma once

// A check that stays in every build type: a broken precondition prints one line to stderr
// and stops the process, instead of reading or writing where it must not.
#define SUPPORT_REQUIRE(condition, message)                                                        \
    do {                                                                                           \
        if (!(condition))                                                                          \
            support_fail(__FILE__, __LINE__, message);                                             \
    } while (0)

[[noreturn]] void support_fail(const char* file, int line, const char* message);

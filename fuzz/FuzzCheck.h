#pragma once
// A failed check aborts, so libFuzzer keeps the input and the shim's run fails.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                     \
    do                                                                                       \
    {                                                                                        \
        if (!(cond))                                                                         \
        {                                                                                    \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                                    \
        }                                                                                    \
    } while (0)

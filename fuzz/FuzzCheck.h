#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant aborts, so that libFuzzer keeps the input that broke it
// and the sanitizers print where.
#define FUZZ_CHECK(condition)                                                              \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (false)

#pragma once

#include <cstdio>
#include <cstdlib>

// Aborts with the message when a property of a reader does not hold, so that
// libFuzzer keeps the input as a crash.
inline void fuzzCheck(bool holds, const char* what) {
    if (holds)
        return;
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

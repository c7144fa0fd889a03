#pragma once

#include <cstdio>
#include <cstdlib>

// Aborts so that libFuzzer saves the input; the message says which rule broke.
inline void check(bool ok, const char* rule) {
    if (!ok) {
        std::fprintf(stderr, "%s\n", rule);
        std::abort();
    }
}

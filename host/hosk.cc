// The string duplicator of the hosts that never fail a copy on purpose: the
// host simulator and the benchmarks. As plain as the C library's strdup. The
// tests' fake host has its own, which fails on demand.
#include "hosk.h"

#include <cstdlib>
#include <cstring>

extern "C" char *hosk_strdup(const char *text) {
    if (text == nullptr)
        return nullptr;
    size_t size = strlen(text) + 1;
    char *copy = static_cast<char *>(malloc(size));
    if (copy != nullptr)
        memcpy(copy, text, size);
    return copy;
}

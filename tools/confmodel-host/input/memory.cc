#include "input/memory.h"

#include <sys/mman.h>

#include <cstdlib>

namespace {

constexpr size_t huge_page = size_t(2) << 20;

} // namespace

void *allocate_large(size_t size) {
    if (size < huge_page) return malloc(size == 0 ? 1 : size);
    size_t rounded = (size + huge_page - 1) / huge_page * huge_page;
    void *memory = aligned_alloc(huge_page, rounded);
    // Only advice: without huge pages the memory serves all the same.
    if (memory != nullptr) madvise(memory, rounded, MADV_HUGEPAGE);
    return memory;
}

void release_large(void *memory, size_t) {
    free(memory);
}

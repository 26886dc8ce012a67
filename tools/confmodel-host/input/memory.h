// Memory for the large arrays a dump fills: records, their texts, decoded
// port records. Taken in huge pages where the system offers them, since
// faulting in a dump's worth of memory 4 KiB at a time costs more than
// parsing it.
#ifndef CONFMODEL_HOST_INPUT_MEMORY_H
#define CONFMODEL_HOST_INPUT_MEMORY_H

#include <cstddef>
#include <new>
#include <vector>

// size bytes, at least 2 MiB of them in whole huge pages, or null.
void *allocate_large(size_t size);
void release_large(void *memory, size_t size);

// An allocator for std::vector: small arrays from malloc, large ones in
// huge pages.
template <typename T> struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <typename U> LargeAllocator(const LargeAllocator<U> &) {}
    T *allocate(size_t n) {
        if (void *memory = allocate_large(n * sizeof(T))) return static_cast<T *>(memory);
        throw std::bad_alloc();
    }
    void deallocate(T *p, size_t n) { release_large(p, n * sizeof(T)); }
    bool operator==(const LargeAllocator &) const { return true; }
    bool operator!=(const LargeAllocator &) const { return false; }
};

template <typename T> using LargeVector = std::vector<T, LargeAllocator<T>>;

#endif

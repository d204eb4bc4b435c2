// The library's one way to take heap memory. Every block handed out or used
// inside a call comes from here, so a test build can make the n-th
// allocation fail and check that nothing leaks on that path.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace kaldorn::detail {

// Blocks this large come from fresh mappings; asking for huge pages there
// turns one page fault per 4 KiB into one per 2 MiB when they are touched.
inline void* advise_large(void* p, size_t size) {
    constexpr size_t kLarge = size_t{4} << 20;
    constexpr uintptr_t kPage = 4096;
    if (p != nullptr && size >= kLarge) {
        uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kPage - 1) & ~(kPage - 1);
        uintptr_t end = (reinterpret_cast<uintptr_t>(p) + size) & ~(kPage - 1);
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
    return p;
}

#ifdef KALDORN_ALLOC_SEAM
// Test builds only: counts allocations and fails the chosen one.
void* seam_allocate(size_t size);
inline void* allocate(size_t size) { return advise_large(seam_allocate(size), size); }
#else
inline void* allocate(size_t size) { return advise_large(std::malloc(size == 0 ? 1 : size), size); }
#endif

// A zero-filled block of count * size bytes, or null when the product
// overflows or the heap is exhausted.
inline void* allocate_zeroed(size_t count, size_t size) {
    if (size != 0 && count > static_cast<size_t>(-1) / size) return nullptr;
    size_t total = count * size;
    void* p = allocate(total);
    if (p != nullptr) __builtin_memset(p, 0, total == 0 ? 1 : total);
    return p;
}

// Owns a malloc block inside a call until it is handed out with release().
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using HeapPtr = std::unique_ptr<T, FreeDeleter>;

}  // namespace kaldorn::detail

#ifdef KALDORN_ALLOC_SEAM
namespace kaldorn::testing {
// Make the allocation with this 1-based number (counted from now, on the
// calling thread) fail; 0 turns injection off. Returns allocations seen since
// the last call.
long fail_allocation(long nth);
}  // namespace kaldorn::testing
#endif

// The library's one way to take heap memory. Every block handed out or used
// inside a call comes from here, so a test build can make the n-th
// allocation fail and check that nothing leaks on that path.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

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
// (Our own rather than std::unique_ptr, whose out-of-line helpers in an
// unoptimised build would be exported from the std namespace.)
template <typename T>
class HeapPtr {
public:
    HeapPtr() = default;
    explicit HeapPtr(T* p) : p_(p) {}
    HeapPtr(const HeapPtr&) = delete;
    HeapPtr& operator=(const HeapPtr&) = delete;
    ~HeapPtr() { std::free(p_); }

    T* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset(T* p = nullptr) {
        std::free(p_);
        p_ = p;
    }
    T* release() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

private:
    T* p_ = nullptr;
};

}  // namespace kaldorn::detail

#ifdef KALDORN_ALLOC_SEAM
namespace kaldorn::testing {
// Make the allocation with this 1-based number (counted from now, on the
// calling thread) fail; 0 turns injection off. Returns allocations seen since
// the last call.
long fail_allocation(long nth);
}  // namespace kaldorn::testing
#endif

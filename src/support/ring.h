// A small io_uring for batches of file operations: entries are queued, then
// submitted with one system call that also waits for all of them, and the
// completions are read back. Opens fill slots of a table of registered
// files, and reads use those slots, so the files never take a descriptor in
// the process's table. Where the kernel has no io_uring, refuses it, or
// cannot link a read behind the open that fills its slot (before Linux
// 5.17), open() fails and the caller keeps to plain system calls.
#pragma once

#include <linux/io_uring.h>

#include <cstddef>
#include <cstdint>

namespace kaldorn::detail {

class Ring {
public:
    Ring() = default;
    Ring(const Ring&) = delete;
    Ring& operator=(const Ring&) = delete;
    ~Ring();

    static constexpr unsigned kMaxSlots = 16;

    // Room for `entries` queued operations and `slots` registered files;
    // false when the kernel cannot give them.
    bool open(unsigned entries, unsigned slots);

    // openat(dir, name, O_RDONLY) into a slot, with a read of up to `size`
    // bytes from offset 0 linked behind it (cancelled when the open fails).
    // The name must stay valid until wait() returns.
    void open_and_read(int dir, const char* name, unsigned slot, unsigned char* buffer, uint32_t size,
                       uint64_t open_tag, uint64_t read_tag);
    // A read of up to `size` bytes at `offset` from a slot's file.
    void read(unsigned slot, unsigned char* buffer, uint32_t size, uint64_t offset, uint64_t tag);
    // Puts the file of a descriptor into a slot, which keeps its own
    // reference; false on failure.
    bool place(unsigned slot, int fd);

    // Submits what is queued and waits for all of it; false when the kernel
    // refused (the ring is then of no further use; what it took still
    // completes: see drain).
    bool wait();

    // After a refused wait(), waits until whatever the kernel took of the
    // round has completed, so that no read lands in a buffer any more; false
    // when the kernel will not wait either.
    bool drain();

    // Calls f(tag, result) for each completion since the last call.
    template <typename F>
    void completions(F&& f) {
        uint32_t head = *cq_head_;
        uint32_t tail = __atomic_load_n(cq_tail_, __ATOMIC_ACQUIRE);
        for (; head != tail; ++head) f(cqes_[head & cq_mask_].user_data, cqes_[head & cq_mask_].res);
        __atomic_store_n(cq_head_, head, __ATOMIC_RELEASE);
    }

private:
    io_uring_sqe& queue();
    uint32_t ready() const { return __atomic_load_n(cq_tail_, __ATOMIC_ACQUIRE) - *cq_head_; }

    int fd_ = -1;
    void* rings_ = nullptr;  // submission and completion rings, one mapping
    size_t rings_size_ = 0;
    io_uring_sqe* sqes_ = nullptr;
    size_t sqes_size_ = 0;
    uint32_t* sq_tail_ = nullptr;
    uint32_t* sq_array_ = nullptr;
    uint32_t sq_mask_ = 0;
    uint32_t* cq_head_ = nullptr;
    uint32_t* cq_tail_ = nullptr;
    uint32_t cq_mask_ = 0;
    io_uring_cqe* cqes_ = nullptr;
    uint32_t tail_ = 0;    // submission tail, published by wait()
    uint32_t queued_ = 0;  // entries queued since the last wait()
    uint32_t owed_ = 0;    // completions of a failed wait() still to come
};

}  // namespace kaldorn::detail

#ifdef KALDORN_ALLOC_SEAM
namespace kaldorn::testing {
// Test builds only, per thread, counted from the call: the nth round the
// ring submits is refused after the kernel took half of it, as a kernel short
// of memory might refuse one. 0 turns injection off.
void refuse_ring_round(long nth);
}  // namespace kaldorn::testing
#endif

// The ring's set-up, queueing and submission through the raw system calls.
#include "support/ring.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kaldorn::detail {

namespace {

int enter(int fd, uint32_t submit, uint32_t wait) {
    return static_cast<int>(::syscall(__NR_io_uring_enter, fd, submit, wait, IORING_ENTER_GETEVENTS, nullptr, 0));
}

int register_files(int fd, unsigned op, const void* arg, unsigned count) {
    return static_cast<int>(::syscall(__NR_io_uring_register, fd, op, arg, count));
}

void* map_ring(int fd, size_t size, off_t offset) {
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, offset);
    return p == MAP_FAILED ? nullptr : p;
}

#ifdef KALDORN_ALLOC_SEAM
thread_local long t_refuse_countdown = 0;
#endif

template <typename T>
T* at(void* base, uint32_t offset) {
    return reinterpret_cast<T*>(static_cast<unsigned char*>(base) + offset);
}

}  // namespace

Ring::~Ring() {
    // Reads still owed would land in the caller's buffers: wait for them
    // before the buffers can go.
    drain();
    if (sqes_ != nullptr) ::munmap(sqes_, sqes_size_);
    if (rings_ != nullptr) ::munmap(rings_, rings_size_);
    if (fd_ >= 0) ::close(fd_);
}

bool Ring::open(unsigned entries, unsigned slots) {
    if (slots == 0 || slots > kMaxSlots) return false;
    io_uring_params p;
    std::memset(&p, 0, sizeof p);
    fd_ = static_cast<int>(::syscall(__NR_io_uring_setup, entries, &p));
    if (fd_ < 0) return false;
    if ((p.features & IORING_FEAT_LINKED_FILE) == 0 || (p.features & IORING_FEAT_SINGLE_MMAP) == 0) return false;
    size_t sq_size = p.sq_off.array + p.sq_entries * sizeof(uint32_t);
    size_t cq_size = p.cq_off.cqes + p.cq_entries * sizeof(io_uring_cqe);
    rings_size_ = sq_size > cq_size ? sq_size : cq_size;
    rings_ = map_ring(fd_, rings_size_, IORING_OFF_SQ_RING);
    sqes_size_ = p.sq_entries * sizeof(io_uring_sqe);
    sqes_ = static_cast<io_uring_sqe*>(map_ring(fd_, sqes_size_, IORING_OFF_SQES));
    if (rings_ == nullptr || sqes_ == nullptr) return false;
    sq_tail_ = at<uint32_t>(rings_, p.sq_off.tail);
    sq_array_ = at<uint32_t>(rings_, p.sq_off.array);
    sq_mask_ = *at<uint32_t>(rings_, p.sq_off.ring_mask);
    cq_head_ = at<uint32_t>(rings_, p.cq_off.head);
    cq_tail_ = at<uint32_t>(rings_, p.cq_off.tail);
    cq_mask_ = *at<uint32_t>(rings_, p.cq_off.ring_mask);
    cqes_ = at<io_uring_cqe>(rings_, p.cq_off.cqes);
    tail_ = *sq_tail_;
    int empty[kMaxSlots];
    for (unsigned i = 0; i < slots; ++i) empty[i] = -1;
    return register_files(fd_, IORING_REGISTER_FILES, empty, slots) == 0;
}

io_uring_sqe& Ring::queue() {
    uint32_t index = tail_++ & sq_mask_;
    ++queued_;
    sq_array_[index] = index;
    io_uring_sqe& e = sqes_[index];
    std::memset(&e, 0, sizeof e);
    return e;
}

void Ring::open_and_read(int dir, const char* name, unsigned slot, unsigned char* buffer, uint32_t size,
                         uint64_t open_tag, uint64_t read_tag) {
    io_uring_sqe& o = queue();
    o.opcode = IORING_OP_OPENAT;
    o.fd = dir;
    o.addr = reinterpret_cast<uintptr_t>(name);
    o.open_flags = O_RDONLY;
    o.file_index = slot + 1;  // counted from 1 here: 0 asks for a plain descriptor
    o.flags = IOSQE_IO_LINK;
    o.user_data = open_tag;
    read(slot, buffer, size, 0, read_tag);
}

void Ring::read(unsigned slot, unsigned char* buffer, uint32_t size, uint64_t offset, uint64_t tag) {
    io_uring_sqe& r = queue();
    r.opcode = IORING_OP_READ;
    r.fd = static_cast<int>(slot);
    r.flags = IOSQE_FIXED_FILE;
    r.addr = reinterpret_cast<uintptr_t>(buffer);
    r.len = size;
    r.off = offset;
    r.user_data = tag;
}

bool Ring::place(unsigned slot, int fd) {
    io_uring_files_update update;
    std::memset(&update, 0, sizeof update);
    update.offset = slot;
    update.fds = reinterpret_cast<uintptr_t>(&fd);
    return register_files(fd_, IORING_REGISTER_FILES_UPDATE, &update, 1) == 1;
}

bool Ring::wait() {
    __atomic_store_n(sq_tail_, tail_, __ATOMIC_RELEASE);
    uint32_t expected = queued_, submit = queued_;
    queued_ = 0;
#ifdef KALDORN_ALLOC_SEAM
    if (t_refuse_countdown > 0 && --t_refuse_countdown == 0) {  // the kernel takes half, then refuses
        int taken = submit / 2 > 0 ? enter(fd_, submit / 2, 0) : 0;
        owed_ = taken > 0 ? static_cast<uint32_t>(taken) : 0;
        return false;
    }
#endif
    while (submit > 0 || ready() < expected) {
        int n = enter(fd_, submit, expected);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || (n == 0 && submit > 0)) {
            owed_ = expected - submit;  // what the kernel took still completes
            return false;
        }
        submit -= static_cast<uint32_t>(n) < submit ? static_cast<uint32_t>(n) : submit;
    }
    return true;
}

bool Ring::drain() {
    while (owed_ > 0 && ready() < owed_)
        if (enter(fd_, 0, owed_) < 0 && errno != EINTR) return false;
    owed_ = 0;
    return true;
}

}  // namespace kaldorn::detail

#ifdef KALDORN_ALLOC_SEAM
void kaldorn::testing::refuse_ring_round(long nth) { kaldorn::detail::t_refuse_countdown = nth; }
#endif

// Allocation failure injection, compiled only into the test build of the
// library. The counters are per thread so parallel tests do not disturb each
// other.
#include "support/alloc.h"

#ifdef KALDORN_ALLOC_SEAM
namespace {
thread_local long t_countdown = 0;
thread_local long t_seen = 0;
}  // namespace

namespace kaldorn::detail {
void* seam_allocate(size_t size) {
    ++t_seen;
    if (t_countdown > 0 && --t_countdown == 0) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}
}  // namespace kaldorn::detail

namespace kaldorn::testing {
long fail_allocation(long nth) {
    long seen = t_seen;
    t_seen = 0;
    t_countdown = nth;
    return seen;
}
}  // namespace kaldorn::testing
#endif

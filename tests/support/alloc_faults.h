// Fault loops shared by the suites, over the test build's seams: every
// allocation of a call failing in turn, and every write or seek failing in
// turn until the call gets past the last one.
#pragma once

#include <functional>

#include <gtest/gtest.h>

#include "support/alloc.h"
#include "support/fileio.h"

namespace faults {

// Runs call(0, 0) with every allocation succeeding, then call(nth, total)
// with allocation nth of the total failing, for each nth.
inline void each_allocation(const std::function<void(long nth, long total)>& call) {
    kaldorn::testing::fail_allocation(0);
    call(0, 0);
    long total = kaldorn::testing::fail_allocation(0);
    for (long nth = 1; nth <= total; ++nth) {
        kaldorn::testing::fail_allocation(nth);
        call(nth, total);
        kaldorn::testing::fail_allocation(0);
    }
}

// Makes the nth write or seek fail (inject is fail_write or fail_seek) while
// call() runs, for nth = 1, 2, ..., until through(nth, result), run with
// nothing injected, says the call got past the last one; returns that nth.
inline long until_through(void (*inject)(long), const std::function<int()>& call,
                          const std::function<bool(long nth, int result)>& through) {
    for (long nth = 1; nth < 10000; ++nth) {
        inject(nth);
        int result = call();
        inject(0);
        if (through(nth, result)) return nth;
    }
    ADD_FAILURE() << "the call never got through";
    return 0;
}

}  // namespace faults

// What every suite shares: files.h, and the checks over the test build's seams: every allocation failing in turn,
// every write or seek failing in turn, and one call's list rendered with its descriptors checked.
#pragma once

#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <type_traits>

#include <gtest/gtest.h>

#include "files.h"
#include "support/alloc.h"
#include "support/fileio.h"

namespace fx {

// With KALDORN_TEST_LOCALE set, the suite runs in the locale the environment names (LC_ALL), which must fold bytes
// of 0x80 and above as letters (ISO-8859-1: 0xC9 and 0xE9); answers must not change. Asked of tolower (the
// sanitizers' strcasecmp folds ASCII alone) on a volatile byte, which the compiler cannot fold as in "C".
inline const bool kLocaleTaken = [] {
    if (std::getenv("KALDORN_TEST_LOCALE") == nullptr) return false;
    volatile int capital = 0xC9;
    if (std::setlocale(LC_ALL, "") == nullptr || std::tolower(capital) != 0xE9) {
        std::fprintf(stderr, "the locale %s is not there or does not fold 0xC9 and 0xE9\n", std::getenv("LC_ALL"));
        std::exit(2);
    }
    return true;
}();

// Each result of a row of calls (evaluated in order) checked apart against want; a failure names the call's place.
#define EXPECT_EACH_EQ(want, ...)                                                   \
    for (std::initializer_list<long> row_ = {__VA_ARGS__}; const long& result_ : row_) \
    EXPECT_EQ(result_, want) << "call " << &result_ - row_.begin() << " of the row"

// Runs call(0) with every allocation succeeding, then call(nth) with
// allocation nth failing, for each nth the first run made.
inline void each_allocation(const std::function<void(long nth)>& call) {
    kaldorn::testing::fail_allocation(0);
    call(0);
    const long total = kaldorn::testing::fail_allocation(0);
    for (long nth = 1; nth <= total; ++nth) {
        kaldorn::testing::fail_allocation(nth);
        call(nth);
        kaldorn::testing::fail_allocation(0);
    }
}

// Makes the nth write or seek fail (inject: the seam's fail_write or fail_seek) while call() runs, for nth = 1, 2,
// ... until through(nth, result) says the call got past the last one; returns that nth.
inline long until_through(void (*inject)(long), const std::function<int()>& call,
                          const std::function<bool(long nth, int result)>& through) {
    for (long nth = 1; nth < 10000; ++nth) {
        inject(nth);
        const int result = call();
        inject(0);
        if (through(nth, result)) return nth;
    }
    ADD_FAILURE() << "the call never got through";
    return 0;
}

// One call that hands out a list: its rendering, then "[N]" when a success leaves code N, or "error N" when it fails.
// The list is freed; no descriptor may stay open and a failure hands out nothing.
template <typename List, typename Call>
std::string outcome(Call call) {
    List* list = nullptr;
    unsigned int error = 12345;
    const auto fds = open_descriptors();
    const int ok = call(&list, &error);
    EXPECT_EQ(open_descriptors(), fds);
    EXPECT_TRUE(ok == 1 || list == nullptr);
    std::string out = ok == 1 ? render(list) : "error " + std::to_string(error);
    if (ok == 1 && error != 0) out += (out.empty() ? "[" : " [") + std::to_string(error) + "]";
    if constexpr (std::is_same_v<List, tagKAL_DORN_VERSION_LIST>) FreeUpdtInfoList(list);
    else FreeUpdtInfoListEx(list);
    return out;
}

}  // namespace fx

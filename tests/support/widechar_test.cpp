// Unit-by-unit width conversion: sign extension, low bytes, and refusal of
// a source that does not fit the capacity, with nothing written.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kaldorn/nupdtinf.h"

namespace {

TEST(WideChar, EveryByteSignExtendsAndComesBack) {
    for (int b = 1; b < 256; ++b) {
        char narrow[2] = {static_cast<char>(b), 0};
        unsigned short w[2] = {1, 1};
        ASSERT_EQ(ConvertToWideCharEx(narrow, w, 2), 1);
        auto expected = static_cast<unsigned short>(static_cast<int16_t>(static_cast<int8_t>(b)));
        EXPECT_EQ(w[0], expected) << b;
        EXPECT_EQ(w[1], 0);
        char back[2] = {1, 1};
        ASSERT_EQ(ConvertToMultiByte(w, back, 2), 1);
        EXPECT_EQ(static_cast<unsigned char>(back[0]), b);
    }
    const unsigned short units[] = {0x0141, 0x20AC, 0x00E9, 0xFFE9, 0};
    char out[5];
    ASSERT_EQ(ConvertToMultiByte(units, out, 5), 1);
    EXPECT_EQ(std::memcmp(out, "\x41\xAC\xE9\xE9", 5), 0);
}

TEST(WideChar, EmptyAndNull) {
    unsigned short w[2] = {7, 7};
    char c[2] = {7, 7};
    EXPECT_EQ(ConvertToWideCharEx("", w, 1), 1);
    EXPECT_EQ(w[0], 0);
    EXPECT_EQ(ConvertToMultiByte(w, c, 1), 1);
    EXPECT_EQ(c[0], 0);
    EXPECT_EQ(ConvertToWideCharEx(nullptr, w, 2), 0);
    EXPECT_EQ(ConvertToWideCharEx("a", nullptr, 2), 0);
    EXPECT_EQ(ConvertToMultiByte(nullptr, c, 2), 0);
    EXPECT_EQ(ConvertToMultiByte(w, nullptr, 2), 0);
    EXPECT_EQ(c[1], 7);
}

// A source of capacity - 1 characters fits; capacity or more is refused
// and the destination, canaries past the capacity included, is untouched.
TEST(WideChar, CapacityIsNeverExceeded) {
    for (unsigned int cap : {1u, 2u, 260u}) {
        for (size_t length : {size_t{cap} - 1, size_t{cap}, size_t{cap} + 1, size_t{cap} + 500}) {
            std::string narrow(length, '\xE9');
            std::vector<unsigned short> wide(length + 1, 0xFFE9);
            wide[length] = 0;
            std::vector<unsigned short> wout(cap + 8, 0xAAAA);
            std::vector<char> cout(cap + 8, '\x55');
            bool fits = length < cap;
            EXPECT_EQ(ConvertToWideCharEx(narrow.c_str(), wout.data(), cap), fits ? 1 : 0) << cap << " " << length;
            EXPECT_EQ(ConvertToMultiByte(wide.data(), cout.data(), cap), fits ? 1 : 0) << cap << " " << length;
            size_t written = fits ? length + 1 : 0;
            for (size_t i = written; i < wout.size(); ++i) ASSERT_EQ(wout[i], 0xAAAA) << cap << " " << length;
            for (size_t i = written; i < cout.size(); ++i) ASSERT_EQ(cout[i], '\x55') << cap << " " << length;
        }
    }
    unsigned short w[1] = {9};
    EXPECT_EQ(ConvertToWideCharEx("", w, 0), 0);
    EXPECT_EQ(w[0], 9);
}

}  // namespace

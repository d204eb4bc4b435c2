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
        char narrow[2] = {static_cast<char>(b), 0}, back[2] = {1, 1};
        unsigned short w[2] = {1, 1};
        ASSERT_EQ(ConvertToWideCharEx(narrow, w, 2) + ConvertToMultiByte(w, back, 2), 2);
        EXPECT_EQ(w[0], static_cast<unsigned short>(static_cast<int16_t>(static_cast<int8_t>(b)))) << b;
        EXPECT_TRUE(static_cast<unsigned char>(back[0]) == b && w[1] == 0 && back[1] == 0) << b;
    }
    const unsigned short units[] = {0x0141, 0x20AC, 0x00E9, 0xFFE9, 0};
    char out[5];
    ASSERT_EQ(ConvertToMultiByte(units, out, 5), 1);
    EXPECT_EQ(std::memcmp(out, "\x41\xAC\xE9\xE9", 5), 0);
    unsigned short w[2] = {7, 7};
    EXPECT_EQ(ConvertToWideCharEx(nullptr, w, 2) + ConvertToWideCharEx("a", nullptr, 2) +
                  ConvertToMultiByte(nullptr, out, 2) + ConvertToMultiByte(units, nullptr, 2),
              0);
    EXPECT_EQ(w[0], 7);
}

// A source of capacity - 1 characters fits (an empty one gives just the
// terminator); capacity or more is refused and the destination, canaries past
// the capacity included, is untouched.
TEST(WideChar, CapacityIsNeverExceeded) {
    for (unsigned int cap : {1u, 2u, 260u}) {
        for (size_t length : {size_t{0}, size_t{cap} - 1, size_t{cap}, size_t{cap} + 500}) {
            std::string narrow(length, '\xE9');
            std::vector<unsigned short> wide(length + 1, 0xFFE9), wout(cap + 8, 0xAAAA);
            wide[length] = 0;
            std::vector<char> cout(cap + 8, '\x55');
            int fits = length < cap ? 1 : 0;
            EXPECT_EQ(ConvertToWideCharEx(narrow.c_str(), wout.data(), cap), fits) << cap << " " << length;
            EXPECT_EQ(ConvertToMultiByte(wide.data(), cout.data(), cap), fits) << cap << " " << length;
            EXPECT_TRUE(!fits || (wout[length] == 0 && cout[length] == 0 && (length == 0 || wout[0] == 0xFFE9)));
            for (size_t i = fits ? length + 1 : 0; i < wout.size(); ++i)
                ASSERT_TRUE(wout[i] == 0xAAAA && cout[i] == '\x55') << cap << " " << length << " " << i;
        }
    }
}

}  // namespace

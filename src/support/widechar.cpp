// Conversion between 16-bit and 8-bit strings, unit by unit with no code
// page: narrowing keeps the low byte, widening sign-extends the byte. Both
// refuse a source that does not fit the destination with its terminator.
#include <cstddef>

#include "kaldorn/nupdtinf.h"

namespace {

// Length of s when it ends within capacity elements, terminator included;
// false for a longer string, which is then read no further.
template <typename Char>
bool fits(const Char* s, unsigned int capacity, size_t& length) {
    for (size_t i = 0; i < capacity; ++i) {
        if (s[i] == 0) {
            length = i;
            return true;
        }
    }
    return false;
}

}  // namespace

unsigned char ConvertToMultiByte(const unsigned short* source, char* destination, unsigned int capacity) {
    size_t length = 0;
    if (source == nullptr || destination == nullptr || !fits(source, capacity, length)) return 0;
    for (size_t i = 0; i < length; ++i) destination[i] = static_cast<char>(source[i] & 0xFFu);
    destination[length] = '\0';
    return 1;
}

unsigned char ConvertToWideCharEx(const char* source, unsigned short* destination, unsigned int capacity) {
    size_t length = 0;
    if (source == nullptr || destination == nullptr || !fits(source, capacity, length)) return 0;
    for (size_t i = 0; i < length; ++i)
        destination[i] = static_cast<unsigned short>(static_cast<signed char>(source[i]));
    destination[length] = 0;
    return 1;
}

// Bounded string copy and path joining.
#include "support/path.h"

#include <cstring>

namespace kaldorn::detail {

bool copy_bounded(char* dst, size_t cap, const char* src) {
    if (cap == 0) return false;
    size_t n = std::strlen(src);
    if (n >= cap) {
        dst[0] = '\0';
        return false;
    }
    std::memcpy(dst, src, n + 1);
    return true;
}

bool join_path(char* dst, size_t cap, const char* dir, const char* name) {
    if (cap == 0) return false;
    size_t dn = std::strlen(dir);
    size_t nn = std::strlen(name);
    bool slash = dn == 0 || dir[dn - 1] != '/';
    size_t total = dn + (slash ? 1 : 0) + nn;
    if (total >= cap) {
        dst[0] = '\0';
        return false;
    }
    std::memmove(dst, dir, dn);
    if (slash) dst[dn++] = '/';
    std::memcpy(dst + dn, name, nn + 1);
    return true;
}

}  // namespace kaldorn::detail

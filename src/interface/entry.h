// Shared steps of the entry points: product routing and the handling of the
// drivers' "nothing to do" codes.
#pragma once

#include "kaldorn.h"

namespace kaldorn::detail {

inline bool is_version_product(unsigned int product) { return product == 1 || product == 3; }
inline bool is_solo_product(unsigned int product) { return product == 4 || product == 5; }
// The internet source also serves these solo products.
inline bool is_internet_solo_product(unsigned int product) {
    return is_solo_product(product) || (product >= 778 && product <= 787);
}

// 1003, 1004 and 1006 leave an empty list and count as success.
inline bool is_empty_answer(unsigned int code) {
    return code == KALDORN_E_CLIENT_NEWER || code == KALDORN_E_SAME_VERSION || code == KALDORN_E_NOTHING_TO_DO;
}

// The solo planners are not part of this build yet: their branch fails as a
// failed solo driver does, with 1007 and no list.
inline int solo_planner_unavailable(unsigned int* error) {
    *error = KALDORN_E_CONVERSION;
    return 0;
}

}  // namespace kaldorn::detail

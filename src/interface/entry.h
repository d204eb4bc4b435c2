// Shared steps of the entry points: which products each family routes to
// the version drivers and to the solo planners.
#pragma once

#include "kaldorn.h"
#include "planning/planning.h"  // is_empty_answer

namespace kaldorn::detail {

inline bool is_version_product(unsigned int product) { return product == 1 || product == 3; }
inline bool is_solo_product(unsigned int product) { return product == 4 || product == 5; }
// The internet source also serves these solo products.
inline bool is_internet_solo_product(unsigned int product) {
    return is_solo_product(product) || (product >= 778 && product <= 787);
}

}  // namespace kaldorn::detail

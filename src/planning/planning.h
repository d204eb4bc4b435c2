// Steps shared by the planning files: the room an update file name needs,
// and the version comparison and index loading of the drivers.
#pragma once

#include <cstddef>

#include "indexdat/versions.h"

namespace kaldorn::detail {

// Longest update file name the presence test forms: "iu" or "eu", major
// and minor as signed decimal numbers of up to 11 characters each, then
// "_monthly.dat".
inline constexpr size_t kLongestUpdateFileName = 2 + 11 + 11 + 12;

// 0 when the client is behind the source, else 1003 (client newer) or 1004
// (same version). Both pairs compare as unsigned numbers, major first.
unsigned int version_order_code(const tagKAL_DORN_DBVERSION_INFO& client, const tagKAL_DORN_DBVERSION_INFO& source);

// 1003, 1004 and 1006 leave an empty list and count as success.
inline bool is_empty_answer(unsigned int code) {
    return code == KALDORN_E_CLIENT_NEWER || code == KALDORN_E_SAME_VERSION || code == KALDORN_E_NOTHING_TO_DO;
}

// The two index DAT paths of a request, composed before anything is loaded.
struct IndexPaths {
    char client[KALDORN_MAX_PATH];
    char source[KALDORN_MAX_PATH];
};

}  // namespace kaldorn::detail

// Ownership of an extended or file-name list while a call builds it: the
// guard frees whatever it still holds, so every failure path releases the
// list and only a successful return hands it out.
#pragma once

#include "kaldorn/lists.h"

namespace kaldorn::detail {

template <typename List>
struct OwnedList {
    List* head = nullptr;
    List* tail = nullptr;
    OwnedList() = default;
    OwnedList(const OwnedList&) = delete;
    OwnedList& operator=(const OwnedList&) = delete;
    ~OwnedList() { FreeUpdtInfoListEx(head); }
    List* release() {
        List* h = head;
        head = tail = nullptr;
        return h;
    }
};

}  // namespace kaldorn::detail

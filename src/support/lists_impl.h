// Definitions of the list templates. Included by the files that hold the
// explicit instantiations, one per record or list type, and by the plain
// update list, which shares the node mechanics.
#pragma once

#include <cstdlib>
#include <cstring>

#include "kaldorn/lists.h"
#include "support/alloc.h"

namespace kaldorn::detail {

// Links a fresh node behind the tail; the head decides whether the list is empty.
template <typename Node>
void link_node(Node* node, Node** head, Node** tail) {
    node->pNext = nullptr;
    if (*head == nullptr)
        *head = node;
    else
        (*tail)->pNext = node;
    *tail = node;
}

// Appends a zeroed node with a copy of *record in stInfo and flag in uchFlag.
template <typename Record, typename List>
int append_info_node(Record* record, unsigned char flag, List** head, List** tail) {
    if (record == nullptr || head == nullptr || tail == nullptr) return 0;
    auto* node = static_cast<List*>(allocate_zeroed(1, sizeof(List)));
    if (node == nullptr) return 0;
    std::memcpy(&node->stInfo, record, sizeof(Record));
    node->uchFlag = flag;
    link_node(node, head, tail);
    return 1;
}

template <typename Node>
int free_nodes(Node* head) {
    if (head == nullptr) return 0;
    while (head != nullptr) {
        Node* next = head->pNext;
        std::free(head);
        head = next;
    }
    return 1;
}

}  // namespace kaldorn::detail

template <typename T>
unsigned char AddToGenList(T* record, GEN_LIST<T>** head, GEN_LIST<T>** tail) {
    if (record == nullptr || head == nullptr || tail == nullptr) return 0;
    auto* node = static_cast<GEN_LIST<T>*>(kaldorn::detail::allocate_zeroed(1, sizeof(GEN_LIST<T>)));
    if (node == nullptr) return 0;
    std::memcpy(&node->stData, record, sizeof(T));
    kaldorn::detail::link_node(node, head, tail);
    return 1;
}

template <typename T>
unsigned char FreeGenList(GEN_LIST<T>* head) {
    return static_cast<unsigned char>(kaldorn::detail::free_nodes(head));
}

template <typename Record, typename List>
int AddToUpdtInfoListEx(Record* record, unsigned char flag, List** head, List** tail) {
    return kaldorn::detail::append_info_node(record, flag, head, tail);
}

template <typename List>
int AddToUpdtFileInfoList(List* image, List** head, List** tail) {
    if (image == nullptr || head == nullptr || tail == nullptr) return 0;
    auto* node = static_cast<List*>(kaldorn::detail::allocate(sizeof(List)));
    if (node == nullptr) return 0;
    std::memcpy(node, image, sizeof(List));
    kaldorn::detail::link_node(node, head, tail);
    return 1;
}

template <typename List>
int FreeUpdtInfoListEx(List* head) {
    return kaldorn::detail::free_nodes(head);
}

template <typename List>
int KalDornFreeVersionListExLocal(List* head) {
    if (head == nullptr) return 0;
    return FreeUpdtInfoListEx(head);
}

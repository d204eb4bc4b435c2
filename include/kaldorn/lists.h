// List templates shared by every producer of lists: the extended and
// file-name lists that cross the boundary, and GEN_LIST, with which the
// definition and component code collect records before copying them into
// one array. Each node is one malloc block; append is O(1) through the tail.
#pragma once

#include "kaldorn/base.h"

#pragma pack(push, 1)
// Generic singly linked list node: a full copy of one record, then the link.
template <typename T>
struct GEN_LIST {
    T stData;          /*!< copy of the record */
    GEN_LIST* pNext;   /*!< next node, null in the last one */
};
#pragma pack(pop)

// Appends a zeroed node holding a copy of *record. 0 if an argument is null
// or the node cannot be allocated (the list is then unchanged), else 1.
template <typename T>
KALDORN_EXPORT unsigned char AddToGenList(T* record, GEN_LIST<T>** head, GEN_LIST<T>** tail);

// Frees every node along pNext; 0 for a null head, else 1. The caller resets
// head and tail.
template <typename T>
KALDORN_EXPORT unsigned char FreeGenList(GEN_LIST<T>* head);

// Appends a node with a copy of *record in stInfo and flag in uchFlag.
// Instances: (tagKAL_DORN_TYPE_INFOEXA, tagKAL_DORN_VERSION_LISTEXA),
// (tagKAL_DORN_TYPE_INFOEXW, tagKAL_DORN_VERSION_LISTEXW).
template <typename Record, typename List>
KALDORN_EXPORT int AddToUpdtInfoListEx(Record* record, unsigned char flag, List** head, List** tail);

// Appends a copy of a complete file-name node image, pNext reset to null.
// Instances: tagKAL_DORN_FILE_INFO_LISTA, tagKAL_DORN_FILE_INFO_LISTW.
template <typename List>
KALDORN_EXPORT int AddToUpdtFileInfoList(List* node, List** head, List** tail);

// Frees every node of a list; 0 for a null list. Instances: the four
// extended and file-name list types.
template <typename List>
KALDORN_EXPORT int FreeUpdtInfoListEx(List* head);

// 0 for a null list, else the result of FreeUpdtInfoListEx.
template <typename List>
KALDORN_EXPORT int KalDornFreeVersionListExLocal(List* head);

extern template int AddToUpdtInfoListEx<tagKAL_DORN_TYPE_INFOEXA, tagKAL_DORN_VERSION_LISTEXA>(
    tagKAL_DORN_TYPE_INFOEXA*, unsigned char, tagKAL_DORN_VERSION_LISTEXA**, tagKAL_DORN_VERSION_LISTEXA**);
extern template int AddToUpdtInfoListEx<tagKAL_DORN_TYPE_INFOEXW, tagKAL_DORN_VERSION_LISTEXW>(
    tagKAL_DORN_TYPE_INFOEXW*, unsigned char, tagKAL_DORN_VERSION_LISTEXW**, tagKAL_DORN_VERSION_LISTEXW**);
extern template int AddToUpdtFileInfoList<tagKAL_DORN_FILE_INFO_LISTA>(
    tagKAL_DORN_FILE_INFO_LISTA*, tagKAL_DORN_FILE_INFO_LISTA**, tagKAL_DORN_FILE_INFO_LISTA**);
extern template int AddToUpdtFileInfoList<tagKAL_DORN_FILE_INFO_LISTW>(
    tagKAL_DORN_FILE_INFO_LISTW*, tagKAL_DORN_FILE_INFO_LISTW**, tagKAL_DORN_FILE_INFO_LISTW**);
extern template int FreeUpdtInfoListEx<tagKAL_DORN_VERSION_LISTEXA>(tagKAL_DORN_VERSION_LISTEXA*);
extern template int FreeUpdtInfoListEx<tagKAL_DORN_VERSION_LISTEXW>(tagKAL_DORN_VERSION_LISTEXW*);
extern template int FreeUpdtInfoListEx<tagKAL_DORN_FILE_INFO_LISTA>(tagKAL_DORN_FILE_INFO_LISTA*);
extern template int FreeUpdtInfoListEx<tagKAL_DORN_FILE_INFO_LISTW>(tagKAL_DORN_FILE_INFO_LISTW*);
extern template int KalDornFreeVersionListExLocal<tagKAL_DORN_VERSION_LISTEXA>(tagKAL_DORN_VERSION_LISTEXA*);
extern template int KalDornFreeVersionListExLocal<tagKAL_DORN_VERSION_LISTEXW>(tagKAL_DORN_VERSION_LISTEXW*);
extern template int KalDornFreeVersionListExLocal<tagKAL_DORN_FILE_INFO_LISTA>(tagKAL_DORN_FILE_INFO_LISTA*);
extern template int KalDornFreeVersionListExLocal<tagKAL_DORN_FILE_INFO_LISTW>(tagKAL_DORN_FILE_INFO_LISTW*);

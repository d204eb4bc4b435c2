// Record and list conversions between the planners' plain lists and the
// extended and file-name lists of the boundary.
#include "kaldorn/convert.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "kaldorn/lists.h"
#include "kaldorn/nupdtinf.h"

namespace {

// Clients at these versions get dwFlag 1 on every record of product 1.
bool is_flagged_client(const tagKAL_DORN_TYPE_INFO& v) {
    return (v.dwMajorVersion == 381 && v.dwMinorVersion == 1) || (v.dwMajorVersion == 386 && v.dwMinorVersion == 26);
}

// The update file name of a version record; never longer than 40 bytes.
void format_update_name(unsigned int product, const tagKAL_DORN_TYPE_INFO& info, char* out, size_t cap) {
    const char* suffix = info.dwUpdateType == KALDORN_UPDATE_WEEKLY    ? "_weekly"
                         : info.dwUpdateType == KALDORN_UPDATE_MONTHLY ? "_monthly"
                                                                        : "";
    std::snprintf(out, cap, "%s%04d%02d%s.dat", product == 1 ? "iu" : "eu", static_cast<int>(info.dwMajorVersion),
                  static_cast<int>(info.dwMinorVersion), suffix);
}

// The working record, node and list are rebuilt node by node; on any failure
// the partial result is released and the output left alone.
template <typename In, typename Out, typename Step>
int convert_list(In* list, Out** out, Step step) {
    if (out == nullptr) return 0;
    Out *head = nullptr, *tail = nullptr;
    for (In* node = list; node != nullptr; node = node->pNext) {
        if (!step(*node, &head, &tail)) {
            FreeUpdtInfoListEx(head);
            return 0;
        }
    }
    *out = head;
    return 1;
}

// 16-bit names inside packed nodes sit at odd addresses and need not hold a
// NUL: they are converted through aligned, terminated copies, addressed by
// the member's byte offset.
template <typename T>
unsigned char* bytes_at(T& rec, size_t offset) {
    return reinterpret_cast<unsigned char*>(&rec) + offset;
}

bool narrow_name(const unsigned char* wide, char* out) {
    unsigned short source[KALDORN_MAX_PATH + 1];
    std::memcpy(source, wide, KALDORN_MAX_PATH * sizeof(unsigned short));
    source[KALDORN_MAX_PATH] = 0;
    // Zeroed, as when widening: nothing of an earlier name stays behind the NUL.
    char narrow[KALDORN_MAX_PATH] = {};
    if (!ConvertToMultiByte(source, narrow, KALDORN_MAX_PATH)) return false;
    std::memcpy(out, narrow, sizeof narrow);
    return true;
}

bool widen_name(const char* narrow, unsigned char* out) {
    char source[KALDORN_MAX_PATH + 1];
    std::memcpy(source, narrow, KALDORN_MAX_PATH);
    source[KALDORN_MAX_PATH] = '\0';
    // Zeroed: the record carries the whole array, not only the name.
    unsigned short wide[KALDORN_MAX_PATH] = {};
    if (!ConvertToWideCharEx(source, wide, KALDORN_MAX_PATH)) return false;
    std::memcpy(out, wide, sizeof wide);
    return true;
}

template <typename Src, typename Dst>
void copy_members(const Src& s, Dst& d) {
    d.dwMajorVersion = s.dwMajorVersion;
    d.dwMinorVersion = s.dwMinorVersion;
    d.dwUpdateType = s.dwUpdateType;
    d.dwFlag = s.dwFlag;
    d.dwKind = s.dwKind;
    d.stDefDate = s.stDefDate;
    d.dwReserved = s.dwReserved;
}

}  // namespace

int KalDornConvertVersionRecordToVersionRecordEx(unsigned int product, tagKAL_DORN_TYPE_INFO* src,
                                                 tagKAL_DORN_TYPE_INFOEXA* dst) {
    if (src == nullptr || dst == nullptr) return 0;
    tagKAL_DORN_TYPE_INFO info = *src;
    dst->dwMajorVersion = info.dwMajorVersion;
    dst->dwMinorVersion = info.dwMinorVersion;
    dst->dwUpdateType = info.dwUpdateType;
    format_update_name(product, info, dst->szFileName, sizeof dst->szFileName);
    return 1;
}

int KalDornConvertVersionRecordExWToVersionRecordExA(unsigned int, tagKAL_DORN_TYPE_INFOEXW* src,
                                                     tagKAL_DORN_TYPE_INFOEXA* dst) {
    if (src == nullptr || dst == nullptr) return 0;
    copy_members(*src, *dst);
    return narrow_name(bytes_at(*src, offsetof(tagKAL_DORN_TYPE_INFOEXW, wszFileName)), dst->szFileName) ? 1 : 0;
}

int KalDornConvertVersionRecordExAToVersionRecordExW(unsigned int, tagKAL_DORN_TYPE_INFOEXA* src,
                                                     tagKAL_DORN_TYPE_INFOEXW* dst) {
    if (src == nullptr || dst == nullptr) return 0;
    copy_members(*src, *dst);
    return widen_name(src->szFileName, bytes_at(*dst, offsetof(tagKAL_DORN_TYPE_INFOEXW, wszFileName))) ? 1 : 0;
}

int KalDornConvertVersionListToVersionListEx(unsigned int product, const unsigned short* clientDirectory,
                                             tagKAL_DORN_VERSION_LIST* list, tagKAL_DORN_VERSION_LISTEXA** out) {
    if (out == nullptr) return 0;
    tagKAL_DORN_TYPE_INFOEXA work;
    std::memset(&work, 0, sizeof work);
    if (product == 1) {
        tagKAL_DORN_VERSION_LIST client;
        std::memset(&client, 0, sizeof client);
        unsigned int ignored = 0;
        if (KalDornGetCurrentClientVersionForUpdateManagerLocal(product, clientDirectory, &client, &ignored) == 1 &&
            is_flagged_client(client.stInfo))
            work.dwFlag = 1;
    }
    return convert_list(list, out, [&](tagKAL_DORN_VERSION_LIST& node, auto** head, auto** tail) {
        KalDornConvertVersionRecordToVersionRecordEx(product, &node.stInfo, &work);
        return AddToUpdtInfoListEx(&work, node.uchFlag, head, tail) == 1;
    });
}

int KalDornConvertVersionListToFileList(unsigned int product, unsigned int operationId,
                                        tagKAL_DORN_VERSION_LIST* list, tagKAL_DORN_FILE_INFO_LISTA** out) {
    return convert_list(list, out, [&](tagKAL_DORN_VERSION_LIST& node, auto** head, auto** tail) {
        if (operationId > 2) return false;
        tagKAL_DORN_FILE_INFO_LISTA work;
        std::memset(&work, 0, sizeof work);
        work.dwFlag = operationId == 0 ? 0u : 1u;
        tagKAL_DORN_TYPE_INFO info = node.stInfo;
        format_update_name(product, info, work.szFileName, sizeof work.szFileName);
        return AddToUpdtFileInfoList(&work, head, tail) == 1;
    });
}

int KalDornConvertVersionListExWToVersionListExA(unsigned int product, tagKAL_DORN_VERSION_LISTEXW* list,
                                                 tagKAL_DORN_VERSION_LISTEXA** out) {
    tagKAL_DORN_TYPE_INFOEXA work;
    std::memset(&work, 0, sizeof work);
    return convert_list(list, out, [&](tagKAL_DORN_VERSION_LISTEXW& node, auto** head, auto** tail) {
        KalDornConvertVersionRecordExWToVersionRecordExA(product, &node.stInfo, &work);
        return AddToUpdtInfoListEx(&work, node.uchFlag, head, tail) == 1;
    });
}

int KalDornConvertVersionListExAToVersionListExW(unsigned int product, tagKAL_DORN_VERSION_LISTEXA* list,
                                                 tagKAL_DORN_VERSION_LISTEXW** out) {
    tagKAL_DORN_TYPE_INFOEXW work;
    std::memset(&work, 0, sizeof work);
    return convert_list(list, out, [&](tagKAL_DORN_VERSION_LISTEXA& node, auto** head, auto** tail) {
        KalDornConvertVersionRecordExAToVersionRecordExW(product, &node.stInfo, &work);
        return AddToUpdtInfoListEx(&work, node.uchFlag, head, tail) == 1;
    });
}

int KalDornConvertFileListWToFileListA(unsigned int, tagKAL_DORN_FILE_INFO_LISTW* list,
                                       tagKAL_DORN_FILE_INFO_LISTA** out) {
    return convert_list(list, out, [&](tagKAL_DORN_FILE_INFO_LISTW& node, auto** head, auto** tail) {
        tagKAL_DORN_FILE_INFO_LISTA work;
        std::memset(&work, 0, sizeof work);
        work.dwFlag = node.dwFlag;
        work.dwKind = node.dwKind;
        return narrow_name(bytes_at(node, offsetof(tagKAL_DORN_FILE_INFO_LISTW, wszFileName)), work.szFileName) &&
               AddToUpdtFileInfoList(&work, head, tail) == 1;
    });
}

int KalDornConvertFileListAToFileListW(unsigned int, tagKAL_DORN_FILE_INFO_LISTA* list,
                                       tagKAL_DORN_FILE_INFO_LISTW** out) {
    return convert_list(list, out, [&](tagKAL_DORN_FILE_INFO_LISTA& node, auto** head, auto** tail) {
        tagKAL_DORN_FILE_INFO_LISTW work;
        std::memset(&work, 0, sizeof work);
        work.dwFlag = node.dwFlag;
        work.dwKind = node.dwKind;
        return widen_name(node.szFileName, bytes_at(work, offsetof(tagKAL_DORN_FILE_INFO_LISTW, wszFileName))) &&
               AddToUpdtFileInfoList(&work, head, tail) == 1;
    });
}

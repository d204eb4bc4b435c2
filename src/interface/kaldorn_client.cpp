// Client-version and operation-id entry points, and the frees of the
// operation-id lists.
#include <cstring>

#include "kaldorn.h"
#include "kaldorn/convert.h"
#include "kaldorn/lists.h"
#include "kaldorn/nupdtinf.h"
#include "interface/entry.h"

using namespace kaldorn::detail;

extern "C" {

int KalDornGetCurrentClientVersionForUpdateManagerExW(unsigned int product, const unsigned short* clientDirectory,
                                                      tagKAL_DORN_VERSION_LISTEXW* node, unsigned int* error) {
    if (clientDirectory == nullptr || node == nullptr || error == nullptr) return 0;
    *error = KALDORN_E_NONE;
    tagKAL_DORN_TYPE_INFOEXA record;
    std::memset(&record, 0, sizeof record);
    if (is_version_product(product)) {
        tagKAL_DORN_VERSION_LIST plain;
        std::memset(&plain, 0, sizeof plain);
        if (!KalDornGetCurrentClientVersionForUpdateManagerLocal(product, clientDirectory, &plain, error)) return 0;
        tagKAL_DORN_TYPE_INFO info = plain.stInfo;
        KalDornConvertVersionRecordToVersionRecordEx(product, &info, &record);
    } else if (is_solo_product(product)) {
        char client[KALDORN_MAX_PATH];
        if (!ConvertToMultiByte(clientDirectory, client, KALDORN_MAX_PATH)) {
            *error = KALDORN_E_CONVERSION;
            return 0;
        }
        tagKAL_DORN_VERSION_LISTEXA current;
        std::memset(&current, 0, sizeof current);
        if (!KalDornGetCurrentClientFilesListForSoloUpdt(product, client, &current, error)) return 0;
        std::memcpy(&record, &current.stInfo, sizeof record);
    } else {
        return 0;
    }
    // Only stInfo of the caller's node is written.
    tagKAL_DORN_TYPE_INFOEXW wide;
    std::memset(&wide, 0, sizeof wide);
    int converted = KalDornConvertVersionRecordExAToVersionRecordExW(product, &record, &wide);
    if (converted) std::memcpy(&node->stInfo, &wide, sizeof wide);
    return converted;
}

int KalDornGetCurrentClientVersionForUpdateManagerExA(unsigned int product, const char* clientDirectory,
                                                      tagKAL_DORN_VERSION_LISTEXA* node, unsigned int* error) {
    if (clientDirectory == nullptr || node == nullptr || error == nullptr) return 0;
    unsigned short client[KALDORN_MAX_PATH];
    if (!ConvertToWideCharEx(clientDirectory, client, KALDORN_MAX_PATH)) {
        *error = KALDORN_E_CONVERSION;
        return 0;
    }
    tagKAL_DORN_VERSION_LISTEXW wide;
    std::memset(&wide, 0, sizeof wide);
    if (!KalDornGetCurrentClientVersionForUpdateManagerExW(product, client, &wide, error)) return 0;
    tagKAL_DORN_TYPE_INFOEXW info = wide.stInfo;
    tagKAL_DORN_TYPE_INFOEXA narrow;
    std::memset(&narrow, 0, sizeof narrow);
    int converted = KalDornConvertVersionRecordExWToVersionRecordExA(product, &info, &narrow);
    if (converted) std::memcpy(&node->stInfo, &narrow, sizeof narrow);
    return converted;
}

int KaldornGetFileListFromOprIdForUpdateManagerW(unsigned int product, unsigned int operationId,
                                                 const unsigned short* sourceDirectory,
                                                 const unsigned short* referenceDirectory,
                                                 const unsigned short* clientDirectory,
                                                 tagKAL_DORN_FILE_INFO_LISTW** list, unsigned int* error) {
    if (sourceDirectory == nullptr || referenceDirectory == nullptr || clientDirectory == nullptr ||
        list == nullptr || error == nullptr)
        return 0;
    *error = KALDORN_E_NONE;
    *list = nullptr;
    tagKAL_DORN_FILE_INFO_LISTA* names = nullptr;
    if (is_version_product(product)) {
        tagKAL_DORN_VERSION_LIST* plain = nullptr;
        if (!KaldornGetFileListFromOprIdForUpdateManagerLocalW(product, operationId, sourceDirectory,
                                                               referenceDirectory, clientDirectory, &plain, error))
            return is_empty_answer(*error) ? 1 : 0;
        int converted = KalDornConvertVersionListToFileList(product, operationId, plain, &names);
        FreeUpdtInfoList(plain);
        if (!converted) return 0;
    } else if (is_solo_product(product)) {
        char src[KALDORN_MAX_PATH], ref[KALDORN_MAX_PATH], client[KALDORN_MAX_PATH];
        if (!ConvertToMultiByte(sourceDirectory, src, KALDORN_MAX_PATH) ||
            !ConvertToMultiByte(referenceDirectory, ref, KALDORN_MAX_PATH) ||
            !ConvertToMultiByte(clientDirectory, client, KALDORN_MAX_PATH)) {
            *error = KALDORN_E_CONVERSION;
            return 0;
        }
        // Solo callers get the operation they asked for.
        if (!KaldornGetFileListFromOprIdForSoloUpdt(product, operationId, src, ref, client, &names, error)) return 0;
    } else {
        return 0;
    }
    int converted = KalDornConvertFileListAToFileListW(product, names, list);
    FreeUpdtInfoListEx(names);
    return converted;
}

int KaldornGetFileListFromOprIdForUpdateManagerA(unsigned int product, unsigned int operationId,
                                                 const char* sourceDirectory, const char* referenceDirectory,
                                                 const char* clientDirectory, tagKAL_DORN_FILE_INFO_LISTA** list,
                                                 unsigned int* error) {
    if (sourceDirectory == nullptr || referenceDirectory == nullptr || clientDirectory == nullptr ||
        list == nullptr || error == nullptr)
        return 0;
    *list = nullptr;
    unsigned short src[KALDORN_MAX_PATH], ref[KALDORN_MAX_PATH], client[KALDORN_MAX_PATH];
    if (!ConvertToWideCharEx(sourceDirectory, src, KALDORN_MAX_PATH) ||
        !ConvertToWideCharEx(referenceDirectory, ref, KALDORN_MAX_PATH) ||
        !ConvertToWideCharEx(clientDirectory, client, KALDORN_MAX_PATH)) {
        *error = KALDORN_E_CONVERSION;
        return 0;
    }
    tagKAL_DORN_FILE_INFO_LISTW* wide = nullptr;
    if (!KaldornGetFileListFromOprIdForUpdateManagerW(product, operationId, src, ref, client, &wide, error)) return 0;
    int converted = KalDornConvertFileListWToFileListA(product, wide, list);
    FreeUpdtInfoListEx(wide);
    return converted;
}

int KaldornFreeFileListFromOprIdForUpdateManagerW(tagKAL_DORN_FILE_INFO_LISTW* list) {
    return KalDornFreeVersionListExLocal(list);
}

int KaldornFreeFileListFromOprIdForUpdateManagerA(tagKAL_DORN_FILE_INFO_LISTA* list) {
    return KalDornFreeVersionListExLocal(list);
}

}  // extern "C"

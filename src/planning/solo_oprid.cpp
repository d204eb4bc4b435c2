// Solo operation-id file lists (which definition files an update manager's
// operation concerns) and the client's current definition file.
#include <cstdlib>
#include <cstring>

#include "indexdat/defselect.h"
#include "indexdat/versions.h"
#include "kaldorn/nupdtinf.h"
#include "planning/planning.h"
#include "support/list_guard.h"

using namespace kaldorn::detail;

namespace {

using FileList = OwnedList<tagKAL_DORN_FILE_INFO_LISTA>;

struct SoloIndexPaths {
    char source[KALDORN_MAX_PATH];
    char reference[KALDORN_MAX_PATH];
    char client[KALDORN_MAX_PATH];
};

// One comparison into out; 1003, 1004 and 1006 are an empty answer with
// code 0. False only for a real failure, whose code stays.
bool compare_for_operation(unsigned int productId, unsigned int operationId, const char* newPath,
                           const char* oldPath, FileList& out, unsigned int* error) {
    tagKAL_DORN_FILE_INFO_LISTA* list = nullptr;
    if (!CompareSoloDatFilesForOprId(productId, operationId, newPath, oldPath, &list, error)) {
        if (!is_empty_answer(*error)) return false;
        *error = KALDORN_E_NONE;
        return true;
    }
    out.head = list;
    return true;
}

bool listed_in(const tagKAL_DORN_FILE_INFO_LISTA* list, const char* name) {
    for (; list != nullptr; list = list->pNext)
        if (std::strcmp(list->szFileName, name) == 0) return true;
    return false;
}

// Unlinks and frees every node of `from` whose name `drop` also lists.
void subtract(FileList& from, const tagKAL_DORN_FILE_INFO_LISTA* drop) {
    tagKAL_DORN_FILE_INFO_LISTA** link = &from.head;
    while (*link != nullptr) {
        tagKAL_DORN_FILE_INFO_LISTA* node = *link;
        if (listed_in(drop, node->szFileName)) {
            *link = node->pNext;
            std::free(node);
        } else {
            link = &node->pNext;
        }
    }
}

}  // namespace

int KaldornGetFileListFromOprIdForSoloUpdt(unsigned int productId, unsigned int operationId,
                                           const char* sourceDirectory, const char* referenceDirectory,
                                           const char* clientDirectory, tagKAL_DORN_FILE_INFO_LISTA** list,
                                           unsigned int* error) {
    if (sourceDirectory == nullptr || referenceDirectory == nullptr || clientDirectory == nullptr ||
        list == nullptr || error == nullptr)
        return 0;
    *error = KALDORN_E_NONE;
    *list = nullptr;
    SoloIndexPaths p;
    if (!index_path(p.source, sourceDirectory, productId) || !index_path(p.reference, referenceDirectory, productId) ||
        !index_path(p.client, clientDirectory, productId)) {
        *error = KALDORN_E_CONVERSION;
        return 0;
    }
    if (operationId > 2) return 0;
    // Operation 0 measures the reference against the source; 1 and 2 the
    // source against the client.
    const char* newPath = operationId == 0 ? p.reference : p.source;
    const char* oldPath = operationId == 0 ? p.source : p.client;
    FileList first;
    if (!compare_for_operation(productId, operationId, newPath, oldPath, first, error)) return 0;
    if (operationId == 1) {
        // What the reference already holds beyond the source is not the client's to fetch.
        FileList second;
        if (!compare_for_operation(productId, 0, p.reference, p.source, second, error)) return 0;
        subtract(first, second.head);
    }
    *list = first.release();
    return 1;
}

int KalDornGetCurrentClientFilesListForSoloUpdt(unsigned int productId, const char* clientDirectory,
                                                tagKAL_DORN_VERSION_LISTEXA* node, unsigned int* error) {
    if (clientDirectory == nullptr || node == nullptr || error == nullptr) return 0;
    *error = KALDORN_E_NONE;
    char path[KALDORN_MAX_PATH];
    if (!index_path(path, clientDirectory, productId)) return 0;
    tagSOLO_DAT_HEADER_INFO header;
    if (!GetSoloIndexDatHeader(path, &header, error)) {
        *error = KALDORN_E_CONVERSION;
        return 0;
    }
    tagKAL_DORN_TYPE_INFOEXA record;
    std::memset(&record, 0, sizeof record);
    record.dwMajorVersion = productId;
    record.dwMinorVersion = header.dwCurrentDefId;
    format_definition_file_name(record.szFileName, productId, header.dwCurrentDefId);
    record.dwFlag = 1;
    std::memcpy(&node->stInfo, &record, sizeof record);
    node->uchFlag = 0;
    node->pNext = nullptr;
    return 1;
}

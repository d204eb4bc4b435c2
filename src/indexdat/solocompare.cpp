// Comparison of the definition index DAT a client holds (old) with the one a
// source offers (new): the records to fetch, or the file names to act on per
// operation id. The old file's records are indexed by id once per call.
#include <cstring>

#include "indexdat/defselect.h"
#include "indexdat/frame.h"
#include "kaldorn/lists.h"
#include "kaldorn/soloindx.h"
#include "support/list_guard.h"

using namespace kaldorn::detail;

namespace {

// Headers and records of both files once they have passed the version
// checks. A missing old file leaves its header zero and its records empty.
struct SoloPair {
    tagSOLO_DAT_HEADER_INFO new_header{};
    tagSOLO_DAT_HEADER_INFO old_header{};
    bool old_exists = false;
    bool new_missing = false;  // the new file is not there (the call fails)
    DefArray newer;
    DefArray older;
    DefIdIndex index;
};

// Reads both headers and applies the product and version checks. False on
// failure, with code 1003 or 1004 for the version checks and 0 for an
// unreadable or foreign file.
bool check_headers(const char* newPath, const char* oldPath, SoloPair& pair, unsigned int& code) {
    code = 0;
    if (!read_definition_header(newPath, pair.new_header, &pair.new_missing)) return false;
    bool old_missing = false;
    pair.old_exists = read_definition_header(oldPath, pair.old_header, &old_missing);
    if (!pair.old_exists) return old_missing;  // its header stays zero
    if (pair.old_header.dwProductId != pair.new_header.dwProductId) return false;
    if (pair.old_header.dwDatVersion > pair.new_header.dwDatVersion) code = KALDORN_E_CLIENT_NEWER;
    if (pair.old_header.dwDatVersion == pair.new_header.dwDatVersion) code = KALDORN_E_SAME_VERSION;
    return code == 0;
}

bool load_pair(const char* newPath, const char* oldPath, SoloPair& pair, unsigned int& code) {
    if (!check_headers(newPath, oldPath, pair, code)) return false;
    if (!pair.newer.read(newPath)) return false;
    if (pair.old_exists && !pair.older.read(oldPath)) return false;
    return pair.index.build(pair.older.records, pair.older.count);
}

// Marker fields of a changed definition, by operation id.
void changed_markers(unsigned int operationId, tagKAL_DORN_FILE_INFO_LISTA& node) {
    node.dwFlag = operationId == 0 ? 1 : 0;
    node.dwKind = operationId == 0 ? 1 : operationId == 2 ? 2 : 0;
}

}  // namespace

int CompareSoloDatFiles(int /*unused*/, const char* directory, const char* newPath, const char* oldPath,
                        tagSOLO_DEF_MEM_RECORD_INFO** newRecords, unsigned int* newCount,
                        tagSOLO_DEF_MEM_RECORD_INFO** selected, unsigned int* selectedCount,
                        tagSOLO_DAT_HEADER_INFO* newHeader, tagSOLO_DAT_HEADER_INFO* oldHeader, int* mode,
                        unsigned int* error) {
    if (directory == nullptr || newPath == nullptr || oldPath == nullptr || newRecords == nullptr ||
        newCount == nullptr || selected == nullptr || selectedCount == nullptr || newHeader == nullptr ||
        oldHeader == nullptr || mode == nullptr || error == nullptr)
        return 0;
    *error = 0;
    SoloPair pair;
    if (!load_pair(newPath, oldPath, pair, *error)) return 0;

    DefSelection selection;
    bool added = walk_active(pair.newer, pair.index, [&](const DefRecord& rec, const DefRecord* old) {
        return (old != nullptr && !dates_differ(rec, *old)) || selection.add(rec);
    });
    if (!added) return 0;
    if (selection.count == 0) {
        *error = KALDORN_E_NOTHING_TO_DO;
        return 0;
    }
    DefRecord* out = selection.to_array();
    if (out == nullptr) {
        *error = KALDORN_E_CONVERSION;
        return 0;
    }
    *newCount = pair.newer.count;
    *newRecords = pair.newer.release();
    *selected = out;
    *selectedCount = selection.count;
    *newHeader = pair.new_header;
    *oldHeader = pair.old_header;
    *mode = 0;
    return 1;
}

int CompareSoloDatFilesForOprId(unsigned int productId, unsigned int operationId, const char* newPath,
                                const char* oldPath, tagKAL_DORN_FILE_INFO_LISTA** list, unsigned int* error) {
    if (newPath == nullptr || oldPath == nullptr || list == nullptr || error == nullptr) return 0;
    *error = 0;
    *list = nullptr;
    SoloPair pair;
    if (!load_pair(newPath, oldPath, pair, *error))  // no new file: nothing to delete or fetch
        return pair.new_missing && (operationId == 1 || operationId == 2) ? 1 : 0;

    OwnedList<tagKAL_DORN_FILE_INFO_LISTA> names;
    bool added = walk_active(pair.newer, pair.index, [&](const DefRecord& rec, const DefRecord* old) {
        tagKAL_DORN_FILE_INFO_LISTA node{};
        if (old != nullptr) {
            if (!dates_differ(rec, *old)) return true;
            changed_markers(operationId, node);
        } else if (operationId == 2 && pair.old_exists) {
            node.dwFlag = 1;  // added in the new file
        } else {
            return true;
        }
        format_definition_file_name(node.szFileName, productId, rec.dwDefId);
        return AddToUpdtFileInfoList(&node, &names.head, &names.tail) == 1;
    });
    if (!added) return 0;
    *list = names.release();
    return 1;
}

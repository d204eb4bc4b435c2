// Operation-id file list of the update manager: per operation, the records
// of the source's version text that concern its store, measured from the
// store's current version (1 delete, 2 download, 0 nothing).
#include "planning/planning.h"

using namespace kaldorn::detail;

namespace {

constexpr unsigned int kNoOperation = 0;
constexpr unsigned int kDeleteOperation = 1;
constexpr unsigned int kDownloadOperation = 2;

// The list of one operation: 1, or 0 for an unknown operation (no code)
// and for a builder that fails (1005).
int build_for_operation(unsigned int operationId, const LoadedIndex& source, const LoadedIndex& client,
                        tagKAL_DORN_VERSION_LIST** list, unsigned int* error) {
    int built = 0;
    switch (operationId) {
        case kNoOperation: return 1;
        case kDeleteOperation:
            built = GetDeleteFileListForUpdateManager(&source.info(), &client.current(), list);
            break;
        case kDownloadOperation:
            built = GetDownloadFileListForUpdateManager(0, &source.info(), &client.current(), list, 1);
            break;
        default: return 0;
    }
    if (built == 0) *error = KALDORN_E_BUILD_LIST;
    return built;
}

}  // namespace

int KaldornGetFileListFromOprIdForUpdateManagerLocalW(unsigned int productId, unsigned int operationId,
                                                      const unsigned short* sourceDirectory,
                                                      const unsigned short* referenceDirectory,
                                                      const unsigned short* clientDirectory,
                                                      tagKAL_DORN_VERSION_LIST** list, unsigned int* error) {
    if (sourceDirectory == nullptr || referenceDirectory == nullptr || clientDirectory == nullptr ||
        list == nullptr || error == nullptr)
        return 0;
    *error = KALDORN_E_NONE;
    *list = nullptr;
    IndexPaths paths;
    if (!index_path_wide(paths.client, clientDirectory, productId) ||
        !index_path_wide(paths.source, sourceDirectory, productId)) {
        *error = KALDORN_E_CONVERSION;
        return 0;
    }
    // Without a source index there is nothing to plan; without a client
    // index only the clean-up has an answer, from version 1.0.
    LoadedIndex source;
    if (!source.load(paths.source)) return 1;
    LoadedIndex client;
    if (!client.load(paths.client)) {
        if (operationId != kDeleteOperation) return 1;
        client.assume_no_updates();
    }
    if (unsigned int code = version_order_code(client.current(), source.current())) {
        *error = code;
        return 0;
    }
    return build_for_operation(operationId, source, client, list, error);
}

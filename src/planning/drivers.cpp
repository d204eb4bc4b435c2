// Download version list drivers: one whole download question from a client
// directory and a source directory, for the update manager's store, a local
// directory of update files, and an index DAT fetched from the internet.
#include <cstring>

#include "planning/planning.h"
#include "support/path.h"

using namespace kaldorn::detail;

namespace kaldorn::detail {

unsigned int version_order_code(const tagKAL_DORN_DBVERSION_INFO& client, const tagKAL_DORN_DBVERSION_INFO& source) {
    if (client.dwMajorVersion != source.dwMajorVersion)
        return client.dwMajorVersion > source.dwMajorVersion ? KALDORN_E_CLIENT_NEWER : KALDORN_E_NONE;
    if (client.dwMinorVersion > source.dwMinorVersion) return KALDORN_E_CLIENT_NEWER;
    return client.dwMinorVersion == source.dwMinorVersion ? KALDORN_E_SAME_VERSION : KALDORN_E_NONE;
}

}  // namespace kaldorn::detail

namespace {

// Load, compare and build, once the paths are composed. A source that
// cannot be loaded is an error; a client that cannot be is at version 1.0.
template <typename Build>
int plan_download(const IndexPaths& paths, tagKAL_DORN_VERSION_LIST** list, unsigned int* error, Build build) {
    LoadedIndex source;
    if (!source.load(paths.source)) {
        *error = KALDORN_E_SOURCE_INDEX;
        return 0;
    }
    LoadedIndex client;
    if (!client.load(paths.client)) client.assume_no_updates();
    if (unsigned int code = version_order_code(client.current(), source.current())) {
        *error = code;
        return 0;
    }
    tagKAL_DORN_VERSION_LIST* result = nullptr;
    if (build(&source.info(), &client.current(), &result) == 0) {
        *error = KALDORN_E_BUILD_LIST;
        return 0;
    }
    if (result == nullptr) {
        *error = KALDORN_E_NOTHING_TO_DO;
        return 0;
    }
    *list = result;
    return 1;
}

bool compose(IndexPaths& paths, const char* client, const char* source, unsigned int productId) {
    return index_path(paths.client, client, productId) && index_path(paths.source, source, productId);
}

// The update-file directory with its final "/", leaving room for every name
// the presence test can form behind it.
bool compose_update_directory(char (&out)[KALDORN_MAX_PATH], const char* directory) {
    return join_path(out, sizeof out, directory, "") && std::strlen(out) + kLongestUpdateFileName < sizeof out;
}

}  // namespace

int KalDornGetDownloadVersionListForUpdateManagerLocal(unsigned int productId, const unsigned short* clientDirectory,
                                                       const unsigned short* sourceDirectory,
                                                       tagKAL_DORN_VERSION_LIST** list, unsigned int includeMarked,
                                                       int ruleFlag, unsigned int* error) {
    if (clientDirectory == nullptr || sourceDirectory == nullptr || list == nullptr || error == nullptr) return 0;
    *error = KALDORN_E_NONE;
    *list = nullptr;
    IndexPaths paths;
    if (!index_path_wide(paths.client, clientDirectory, productId) ||
        !index_path_wide(paths.source, sourceDirectory, productId)) {
        *error = KALDORN_E_CONVERSION;
        return 0;
    }
    return plan_download(paths, list, error, [&](auto source, auto client, auto out) {
        return GetDownloadFileListForUpdateManager(includeMarked, source, client, out, ruleFlag);
    });
}

int KalDornGetDownloadVersionListForPathLocal(unsigned int productId, const char* clientDirectory,
                                              const char* sourceDirectory, const char* updateFileDirectory,
                                              tagKAL_DORN_VERSION_LIST** list, unsigned int mode,
                                              unsigned int* error) {
    if (clientDirectory == nullptr || sourceDirectory == nullptr || updateFileDirectory == nullptr ||
        list == nullptr || error == nullptr)
        return 0;
    *error = KALDORN_E_NONE;
    *list = nullptr;
    IndexPaths paths;
    char updates[KALDORN_MAX_PATH];
    if (!compose(paths, clientDirectory, sourceDirectory, productId) ||
        !compose_update_directory(updates, updateFileDirectory)) {
        *error = KALDORN_E_CONVERSION;
        return 0;
    }
    return plan_download(paths, list, error, [&](auto source, auto client, auto out) {
        return GetDownloadFileListForPath(productId, mode, updates, source, client, out);
    });
}

int KalDornGetDownloadVersionListForInternetLocal(unsigned int productId, const char* clientDirectory,
                                                  const char* sourceDirectory, tagKAL_DORN_VERSION_LIST** list,
                                                  unsigned int includeMarked, int ruleFlag, unsigned int* error) {
    if (clientDirectory == nullptr || sourceDirectory == nullptr || list == nullptr || error == nullptr) return 0;
    *error = KALDORN_E_NONE;
    *list = nullptr;
    IndexPaths paths;
    if (!compose(paths, clientDirectory, sourceDirectory, productId)) {
        *error = KALDORN_E_CONVERSION;
        return 0;
    }
    return plan_download(paths, list, error, [&](auto source, auto client, auto out) {
        return GetDownloadFileList(includeMarked, source, client, out, ruleFlag);
    });
}

// Download-list entry points: pointer checks, product routing, string and
// list conversions around the planning drivers, and the extended list frees.
#include "kaldorn.h"
#include "kaldorn/convert.h"
#include "kaldorn/lists.h"
#include "kaldorn/nupdtinf.h"
#include "interface/entry.h"

using namespace kaldorn::detail;

namespace {

enum class Source { UpdateManager, UpdateManagerEx2, Internet, Path };

// Drivers for products 1 and 3. The update-manager driver takes the 16-bit
// directories; the others take them narrowed.
int run_version_driver(Source source, unsigned int product, const unsigned short* clientW,
                       const unsigned short* sourceW, const char* client, const char* src, const char* updates,
                       tagKAL_DORN_VERSION_LIST** list, unsigned int* error) {
    switch (source) {
        case Source::UpdateManager:
            return KalDornGetDownloadVersionListForUpdateManagerLocal(product, clientW, sourceW, list, 0, 0, error);
        case Source::UpdateManagerEx2:
            return KalDornGetDownloadVersionListForUpdateManagerLocal(product, clientW, sourceW, list, 0, 1, error);
        case Source::Internet:
            return KalDornGetDownloadVersionListForInternetLocal(product, client, src, list, 0, 1, error);
        case Source::Path:
            return KalDornGetDownloadVersionListForPathLocal(product, client, src, updates, list, 0, error);
    }
    return 0;
}

struct Narrowed {
    char client[KALDORN_MAX_PATH];
    char source[KALDORN_MAX_PATH];
    char updates[KALDORN_MAX_PATH];
};

// The shared body of the four extended W functions.
int extended_download(Source source, unsigned int product, const unsigned short* clientDir,
                      const unsigned short* sourceDir, const unsigned short* updateDir,
                      tagKAL_DORN_VERSION_LISTEXW** result, unsigned int* error) {
    if (clientDir == nullptr || sourceDir == nullptr || result == nullptr || error == nullptr) return 0;
    *error = KALDORN_E_NONE;
    *result = nullptr;
    Narrowed n{};
    // The internet and path functions narrow their directories before routing;
    // the update-manager functions only for the solo branch.
    bool narrow_first = source == Source::Internet || source == Source::Path;
    if (narrow_first) {
        if (!ConvertToMultiByte(clientDir, n.client, KALDORN_MAX_PATH) ||
            !ConvertToMultiByte(sourceDir, n.source, KALDORN_MAX_PATH) ||
            (source == Source::Path && !ConvertToMultiByte(updateDir, n.updates, KALDORN_MAX_PATH))) {
            *error = KALDORN_E_CONVERSION;
            return 0;
        }
    }
    bool solo = source == Source::Internet ? is_internet_solo_product(product) : is_solo_product(product);
    tagKAL_DORN_VERSION_LISTEXA* extended = nullptr;
    if (is_version_product(product)) {
        tagKAL_DORN_VERSION_LIST* plain = nullptr;
        if (!run_version_driver(source, product, clientDir, sourceDir, n.client, n.source, n.updates, &plain, error))
            return is_empty_answer(*error) ? 1 : 0;
        int converted = KalDornConvertVersionListToVersionListEx(product, clientDir, plain, &extended);
        FreeUpdtInfoList(plain);
        if (!converted) return 0;
    } else if (solo) {
        if (!narrow_first && (!ConvertToMultiByte(clientDir, n.client, KALDORN_MAX_PATH) ||
                              !ConvertToMultiByte(sourceDir, n.source, KALDORN_MAX_PATH))) {
            *error = KALDORN_E_CONVERSION;
            return 0;
        }
        if (!KalDornGetDownloadFilesListForSoloUpdt(product, source == Source::Internet ? 1 : 0, n.client, n.source,
                                                    &extended, error))
            return 0;
    } else {
        return 0;
    }
    int converted = KalDornConvertVersionListExAToVersionListExW(product, extended, result);
    FreeUpdtInfoListEx(extended);
    return converted;
}

// The shared body of the four extended A functions: widen, call the W twin,
// narrow the list it hands back.
int extended_download_a(Source source, unsigned int product, const char* clientDir, const char* sourceDir,
                        const char* updateDir, tagKAL_DORN_VERSION_LISTEXA** result, unsigned int* error) {
    bool has_updates = source == Source::Path;
    if (clientDir == nullptr || sourceDir == nullptr || (has_updates && updateDir == nullptr) || result == nullptr ||
        error == nullptr)
        return 0;
    *result = nullptr;
    unsigned short client[KALDORN_MAX_PATH], src[KALDORN_MAX_PATH], updates[KALDORN_MAX_PATH];
    if (!ConvertToWideCharEx(clientDir, client, KALDORN_MAX_PATH) ||
        !ConvertToWideCharEx(sourceDir, src, KALDORN_MAX_PATH) ||
        (has_updates && !ConvertToWideCharEx(updateDir, updates, KALDORN_MAX_PATH))) {
        *error = KALDORN_E_CONVERSION;
        return 0;
    }
    tagKAL_DORN_VERSION_LISTEXW* wide = nullptr;
    if (!extended_download(source, product, client, src, has_updates ? updates : nullptr, &wide, error)) return 0;
    int converted = KalDornConvertVersionListExWToVersionListExA(product, wide, result);
    FreeUpdtInfoListEx(wide);
    return converted;
}

// The plain functions: product 1, the caller's own list pointer.
int plain_download(int driven, unsigned int* error) { return driven || is_empty_answer(*error) ? 1 : 0; }

}  // namespace

extern "C" {

int KalDornGetDownloadVersionListForUpdateManagerW(const unsigned short* clientDirectory,
                                                   const unsigned short* sourceDirectory,
                                                   tagKAL_DORN_VERSION_LIST** list, unsigned int* error) {
    if (clientDirectory == nullptr || sourceDirectory == nullptr || list == nullptr || error == nullptr) return 0;
    *error = KALDORN_E_NONE;
    return plain_download(
        KalDornGetDownloadVersionListForUpdateManagerLocal(1, clientDirectory, sourceDirectory, list, 0, 0, error),
        error);
}

int KalDornGetDownloadVersionListForPath(const char* clientDirectory, const char* sourceDirectory,
                                         const char* updateFileDirectory, tagKAL_DORN_VERSION_LIST** list,
                                         unsigned int* error) {
    if (clientDirectory == nullptr || sourceDirectory == nullptr || list == nullptr || error == nullptr) return 0;
    *error = KALDORN_E_NONE;
    return plain_download(KalDornGetDownloadVersionListForPathLocal(1, clientDirectory, sourceDirectory,
                                                                    updateFileDirectory, list, 0, error),
                          error);
}

int KalDornGetDownloadVersionListForPathA(const char* clientDirectory, const char* sourceDirectory,
                                          const char* updateFileDirectory, tagKAL_DORN_VERSION_LIST** list,
                                          unsigned int* error) {
    if (clientDirectory == nullptr || sourceDirectory == nullptr || list == nullptr) return 0;
    return KalDornGetDownloadVersionListForPath(clientDirectory, sourceDirectory, updateFileDirectory, list, error);
}

int KalDornGetDownloadVersionListForInternet(const char* clientDirectory, const char* sourceDirectory,
                                             tagKAL_DORN_VERSION_LIST** list, unsigned int* error) {
    if (clientDirectory == nullptr || sourceDirectory == nullptr || list == nullptr || error == nullptr) return 0;
    *error = KALDORN_E_NONE;
    return plain_download(
        KalDornGetDownloadVersionListForInternetLocal(1, clientDirectory, sourceDirectory, list, 0, 1, error), error);
}

int KalDornGetDownloadVersionListForInternetA(const char* clientDirectory, const char* sourceDirectory,
                                              tagKAL_DORN_VERSION_LIST** list, unsigned int* error) {
    if (clientDirectory == nullptr || sourceDirectory == nullptr || list == nullptr) return 0;
    return KalDornGetDownloadVersionListForInternet(clientDirectory, sourceDirectory, list, error);
}

int KalDornGetDownloadVersionListForUpdateManagerExW(unsigned int product, const unsigned short* clientDirectory,
                                                     const unsigned short* sourceDirectory,
                                                     tagKAL_DORN_VERSION_LISTEXW** list, unsigned int* error) {
    return extended_download(Source::UpdateManager, product, clientDirectory, sourceDirectory, nullptr, list, error);
}

int KalDornGetDownloadVersionListForUpdateManagerEx2W(unsigned int product, const unsigned short* clientDirectory,
                                                      const unsigned short* sourceDirectory,
                                                      tagKAL_DORN_VERSION_LISTEXW** list, unsigned int* error) {
    return extended_download(Source::UpdateManagerEx2, product, clientDirectory, sourceDirectory, nullptr, list,
                             error);
}

int KalDornGetDownloadVersionListForInternetExW(unsigned int product, const unsigned short* clientDirectory,
                                                const unsigned short* sourceDirectory,
                                                tagKAL_DORN_VERSION_LISTEXW** list, unsigned int* error) {
    return extended_download(Source::Internet, product, clientDirectory, sourceDirectory, nullptr, list, error);
}

int KalDornGetDownloadVersionListForPathExW(unsigned int product, const unsigned short* clientDirectory,
                                            const unsigned short* sourceDirectory,
                                            const unsigned short* updateFileDirectory,
                                            tagKAL_DORN_VERSION_LISTEXW** list, unsigned int* error) {
    return extended_download(Source::Path, product, clientDirectory, sourceDirectory, updateFileDirectory, list,
                             error);
}

int KalDornGetDownloadVersionListForUpdateManagerExA(unsigned int product, const char* clientDirectory,
                                                     const char* sourceDirectory, tagKAL_DORN_VERSION_LISTEXA** list,
                                                     unsigned int* error) {
    return extended_download_a(Source::UpdateManager, product, clientDirectory, sourceDirectory, nullptr, list, error);
}

int KalDornGetDownloadVersionListForUpdateManagerEx2A(unsigned int product, const char* clientDirectory,
                                                      const char* sourceDirectory,
                                                      tagKAL_DORN_VERSION_LISTEXA** list, unsigned int* error) {
    return extended_download_a(Source::UpdateManagerEx2, product, clientDirectory, sourceDirectory, nullptr, list,
                               error);
}

int KalDornGetDownloadVersionListForInternetExA(unsigned int product, const char* clientDirectory,
                                                const char* sourceDirectory, tagKAL_DORN_VERSION_LISTEXA** list,
                                                unsigned int* error) {
    return extended_download_a(Source::Internet, product, clientDirectory, sourceDirectory, nullptr, list, error);
}

int KalDornGetDownloadVersionListForPathExA(unsigned int product, const char* clientDirectory,
                                            const char* sourceDirectory, const char* updateFileDirectory,
                                            tagKAL_DORN_VERSION_LISTEXA** list, unsigned int* error) {
    return extended_download_a(Source::Path, product, clientDirectory, sourceDirectory, updateFileDirectory, list,
                               error);
}

int KalDornFreeDownloadVersionListExW(tagKAL_DORN_VERSION_LISTEXW* list) {
    return KalDornFreeVersionListExLocal(list);
}

int KalDornFreeDownloadVersionListExA(tagKAL_DORN_VERSION_LISTEXA* list) {
    return KalDornFreeVersionListExLocal(list);
}

}  // extern "C"

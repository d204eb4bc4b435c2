// The plain-named entry points of kaldorn.so: thin shells that check their
// pointers and hand the work to the drivers and readers below.
#include "kaldorn.h"
#include "kaldorn/nupdtinf.h"

int KalDornFreeDownloadVersionListForUpdateManager(KAL_DORN_VERSION_LIST* list) {
    if (list == nullptr) return 0;
    return KalDornFreeDownloadVersionListForInternetLocal(list) != 0 ? 1 : 0;
}

int KalDornFreeDownloadVersionListForInternet(KAL_DORN_VERSION_LIST* list) {
    return KalDornFreeDownloadVersionListForUpdateManager(list);
}

int KalDornFreeDownloadVersionListForPath(KAL_DORN_VERSION_LIST* list) {
    if (list == nullptr) return 0;
    return KalDornFreeDownloadVersionListForPathLocal(list) != 0 ? 1 : 0;
}

int KalDornGetCurrentClientVersionForUpdateManagerW(const unsigned short* clientDirectory,
                                                    KAL_DORN_VERSION_LIST* node, unsigned int* error) {
    if (clientDirectory == nullptr || node == nullptr || error == nullptr) return 0;
    *error = KALDORN_E_NONE;
    return KalDornGetCurrentClientVersionForUpdateManagerLocal(1, clientDirectory, node, error);
}

/*
 * kaldorn.h - the C interface of kaldorn.so.
 *
 * The plain-named entry points; the byte-packed records they take and the
 * error codes come from <kaldorn/base.h>, which this header includes. It
 * compiles as C11 and as C++; the C++-only parts of the library (checksums,
 * readers, drivers) are declared in the other <kaldorn/...> headers.
 *
 * Conventions that hold for every function here:
 *   - the result is 1 on success and 0 on failure;
 *   - a null required pointer gives 0 and writes nothing;
 *   - otherwise the error code the caller passes last is set to 0 on entry
 *     and to one code on failure (the KALDORN_E_* codes of <kaldorn/base.h>);
 *   - lists handed out belong to the caller and go back through the free
 *     function named beside the function that made them.
 */
#ifndef KALDORN_H
#define KALDORN_H

#include "kaldorn/base.h"

/* ---------------------------------------------------------------------------
 * Download lists.
 *
 * Directories are given with or without a trailing "/" and must fit 260
 * characters with their terminator. Product 1 and 3 are planned from version
 * records, 4 and 5 (and 778 to 787 for the internet) are solo products; any
 * other product returns 0 with error code 0. A result of 1 with error code
 * 1003 (client newer), 1004 (same version) or 1006 (nothing to download)
 * comes with an empty (null) list. On 0 no list is handed out.
 * ------------------------------------------------------------------------- */
KALDORN_C_BEGIN

/* Product 1 from an update manager's store (16-bit directories). Free the
 * list with KalDornFreeDownloadVersionListForUpdateManager. */
KALDORN_EXPORT int KalDornGetDownloadVersionListForUpdateManagerW(const unsigned short* clientDirectory,
                                                                  const unsigned short* sourceDirectory,
                                                                  KAL_DORN_VERSION_LIST** list, unsigned int* error);

/* Product 1 from a local directory whose update files lie in
 * updateFileDirectory (missing files are planned from the index). Free the
 * list with KalDornFreeDownloadVersionListForPath. */
KALDORN_EXPORT int KalDornGetDownloadVersionListForPath(const char* clientDirectory, const char* sourceDirectory,
                                                        const char* updateFileDirectory,
                                                        KAL_DORN_VERSION_LIST** list, unsigned int* error);
KALDORN_EXPORT int KalDornGetDownloadVersionListForPathA(const char* clientDirectory, const char* sourceDirectory,
                                                         const char* updateFileDirectory,
                                                         KAL_DORN_VERSION_LIST** list, unsigned int* error);

/* Product 1 from an index fetched from the internet. Free the list with
 * KalDornFreeDownloadVersionListForInternet. */
KALDORN_EXPORT int KalDornGetDownloadVersionListForInternet(const char* clientDirectory, const char* sourceDirectory,
                                                            KAL_DORN_VERSION_LIST** list, unsigned int* error);
KALDORN_EXPORT int KalDornGetDownloadVersionListForInternetA(const char* clientDirectory,
                                                             const char* sourceDirectory,
                                                             KAL_DORN_VERSION_LIST** list, unsigned int* error);

/* Extended lists, one file name per record. W lists go back through
 * KalDornFreeDownloadVersionListExW, A lists through ...ExA. The Ex2 form
 * plans an update manager's store with the weekly/monthly level rule. */
KALDORN_EXPORT int KalDornGetDownloadVersionListForUpdateManagerExW(unsigned int product,
                                                                    const unsigned short* clientDirectory,
                                                                    const unsigned short* sourceDirectory,
                                                                    KAL_DORN_VERSION_LISTEXW** list,
                                                                    unsigned int* error);
KALDORN_EXPORT int KalDornGetDownloadVersionListForUpdateManagerExA(unsigned int product, const char* clientDirectory,
                                                                    const char* sourceDirectory,
                                                                    KAL_DORN_VERSION_LISTEXA** list,
                                                                    unsigned int* error);
KALDORN_EXPORT int KalDornGetDownloadVersionListForUpdateManagerEx2W(unsigned int product,
                                                                     const unsigned short* clientDirectory,
                                                                     const unsigned short* sourceDirectory,
                                                                     KAL_DORN_VERSION_LISTEXW** list,
                                                                     unsigned int* error);
KALDORN_EXPORT int KalDornGetDownloadVersionListForUpdateManagerEx2A(unsigned int product,
                                                                     const char* clientDirectory,
                                                                     const char* sourceDirectory,
                                                                     KAL_DORN_VERSION_LISTEXA** list,
                                                                     unsigned int* error);
KALDORN_EXPORT int KalDornGetDownloadVersionListForInternetExW(unsigned int product,
                                                               const unsigned short* clientDirectory,
                                                               const unsigned short* sourceDirectory,
                                                               KAL_DORN_VERSION_LISTEXW** list, unsigned int* error);
KALDORN_EXPORT int KalDornGetDownloadVersionListForInternetExA(unsigned int product, const char* clientDirectory,
                                                               const char* sourceDirectory,
                                                               KAL_DORN_VERSION_LISTEXA** list, unsigned int* error);
KALDORN_EXPORT int KalDornGetDownloadVersionListForPathExW(unsigned int product,
                                                           const unsigned short* clientDirectory,
                                                           const unsigned short* sourceDirectory,
                                                           const unsigned short* updateFileDirectory,
                                                           KAL_DORN_VERSION_LISTEXW** list, unsigned int* error);
KALDORN_EXPORT int KalDornGetDownloadVersionListForPathExA(unsigned int product, const char* clientDirectory,
                                                           const char* sourceDirectory,
                                                           const char* updateFileDirectory,
                                                           KAL_DORN_VERSION_LISTEXA** list, unsigned int* error);

/* Each returns 1 after releasing a non-empty list and 0 for a null list. */
KALDORN_EXPORT int KalDornFreeDownloadVersionListExW(KAL_DORN_VERSION_LISTEXW* list);
KALDORN_EXPORT int KalDornFreeDownloadVersionListExA(KAL_DORN_VERSION_LISTEXA* list);
KALDORN_EXPORT int KaldornFreeFileListFromOprIdForUpdateManagerW(KAL_DORN_FILE_INFO_LISTW* list);
KALDORN_EXPORT int KaldornFreeFileListFromOprIdForUpdateManagerA(KAL_DORN_FILE_INFO_LISTA* list);

/* ---------------------------------------------------------------------------
 * Client version and operation-id lists.
 * ------------------------------------------------------------------------- */

/* Fills only node->stInfo with the client's current version and its update
 * file name (solo products: the client's current definition record). Nothing
 * to free. A client without a readable index fails with 1007. */
KALDORN_EXPORT int KalDornGetCurrentClientVersionForUpdateManagerExW(unsigned int product,
                                                                     const unsigned short* clientDirectory,
                                                                     KAL_DORN_VERSION_LISTEXW* node,
                                                                     unsigned int* error);
KALDORN_EXPORT int KalDornGetCurrentClientVersionForUpdateManagerExA(unsigned int product,
                                                                     const char* clientDirectory,
                                                                     KAL_DORN_VERSION_LISTEXA* node,
                                                                     unsigned int* error);

/* File names of one operation of an update manager's store: 1 the stored
 * files it may delete, 2 the files to fetch, 0 none. Free the list with
 * KaldornFreeFileListFromOprIdForUpdateManagerW / ...A. */
KALDORN_EXPORT int KaldornGetFileListFromOprIdForUpdateManagerW(unsigned int product, unsigned int operationId,
                                                                const unsigned short* sourceDirectory,
                                                                const unsigned short* referenceDirectory,
                                                                const unsigned short* clientDirectory,
                                                                KAL_DORN_FILE_INFO_LISTW** list,
                                                                unsigned int* error);
KALDORN_EXPORT int KaldornGetFileListFromOprIdForUpdateManagerA(unsigned int product, unsigned int operationId,
                                                                const char* sourceDirectory,
                                                                const char* referenceDirectory,
                                                                const char* clientDirectory,
                                                                KAL_DORN_FILE_INFO_LISTA** list, unsigned int* error);

/* Plain update lists: each of the three frees any list of
 * tagKAL_DORN_VERSION_LIST nodes. 0 for a null list, else 1 once every node
 * is freed; the list must not be used afterwards. */
KALDORN_EXPORT int KalDornFreeDownloadVersionListForUpdateManager(KAL_DORN_VERSION_LIST* list);
KALDORN_EXPORT int KalDornFreeDownloadVersionListForInternet(KAL_DORN_VERSION_LIST* list);
KALDORN_EXPORT int KalDornFreeDownloadVersionListForPath(KAL_DORN_VERSION_LIST* list);

/* Current version of the installation in clientDirectory (16-bit string,
 * with or without a final "/"), read from its 00000001_index.dat into the
 * caller's node: stInfo holds the version and its update type (104 for 1.0),
 * uchFlag 0, pNext null. Nothing is allocated. 0 with error 1007 when the
 * file cannot be read or its version is not in its own version text. */
KALDORN_EXPORT int KalDornGetCurrentClientVersionForUpdateManagerW(const unsigned short* clientDirectory,
                                                                   KAL_DORN_VERSION_LIST* node,
                                                                   unsigned int* error);

KALDORN_C_END

#endif /* KALDORN_H */

/*
 * kaldorn.h - the C interface of kaldorn.so.
 *
 * Plain-named entry points and the byte-packed records that cross the
 * boundary. This header compiles as C11 and as C++; the C++-only parts of the
 * library (checksums, readers, drivers) are declared in <kaldorn/...> headers.
 *
 * Conventions that hold for every function here:
 *   - the result is 1 on success and 0 on failure;
 *   - a null required pointer gives 0 and writes nothing;
 *   - otherwise the error code the caller passes last is set to 0 on entry
 *     and to one code on failure (see KALDORN_E_* below);
 *   - lists handed out belong to the caller and go back through the free
 *     function named beside the function that made them.
 */
#ifndef KALDORN_H
#define KALDORN_H

#include <stddef.h>

#if defined(__GNUC__)
#define KALDORN_EXPORT __attribute__((visibility("default")))
#else
#define KALDORN_EXPORT
#endif

#ifdef __cplusplus
#define KALDORN_C_BEGIN extern "C" {
#define KALDORN_C_END }
#define KALDORN_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define KALDORN_C_BEGIN
#define KALDORN_C_END
#define KALDORN_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* Capacity of every composed path, in bytes (8-bit) or units (16-bit). */
#define KALDORN_MAX_PATH 260

/* Error codes written through the caller's error pointer. */
#define KALDORN_E_NONE 0u              /*!< no error, or a product the function does not serve */
#define KALDORN_E_NAME_NOT_FOUND 2u    /*!< a definition name is not in a record array */
#define KALDORN_E_ALREADY_PRESENT 6u   /*!< component entry present with the same digest and flag */
#define KALDORN_E_OPEN 7u              /*!< a file cannot be opened or created */
#define KALDORN_E_NO_FILE 8u           /*!< a file does not exist */
#define KALDORN_E_NO_DIRECTORY 9u      /*!< a directory given for verification does not exist */
#define KALDORN_E_SHORT_HEAD 10u       /*!< a component list is shorter than its 80-byte head */
#define KALDORN_E_NO_MEMORY 11u        /*!< memory cannot be allocated */
#define KALDORN_E_READ 13u             /*!< a file cannot be read in full */
#define KALDORN_E_WRITE 14u            /*!< a file cannot be written in full */
#define KALDORN_E_SEEK 15u             /*!< a seek fails */
#define KALDORN_E_BAD_HEAD 17u         /*!< component list head invalid (magic, format, maker, checksum) */
#define KALDORN_E_RECORD_PAST_END 18u  /*!< a component list record extends past the end of the file */
#define KALDORN_E_DIGEST 20u           /*!< the MD5 digest of a component file cannot be computed */
#define KALDORN_E_SOURCE_INDEX 1001u   /*!< the source's version index DAT cannot be loaded */
#define KALDORN_E_CLIENT_NEWER 1003u   /*!< the client is newer than the source */
#define KALDORN_E_SAME_VERSION 1004u   /*!< client and source are at the same version */
#define KALDORN_E_BUILD_LIST 1005u     /*!< building the list failed */
#define KALDORN_E_NOTHING_TO_DO 1006u  /*!< nothing to download */
#define KALDORN_E_CONVERSION 1007u     /*!< string or path, client version, or a solo step failed */

/* Update kinds as they appear in dwUpdateType. */
#define KALDORN_UPDATE_DAILY 101u
#define KALDORN_UPDATE_WEEKLY 102u
#define KALDORN_UPDATE_MONTHLY 104u

#pragma pack(push, 1)

/* A version pair; 1, 0 means that no update has been applied yet. */
typedef struct tagKAL_DORN_DBVERSION_INFO {
    unsigned int dwMajorVersion; /*!< number of the series, from 1 */
    unsigned int dwMinorVersion; /*!< position inside the series, from 1 */
} KAL_DORN_DBVERSION_INFO;

/* One update record. */
typedef struct tagKAL_DORN_TYPE_INFO {
    unsigned int dwMajorVersion; /*!< series of the update file */
    unsigned int dwMinorVersion; /*!< position of the update file in its series */
    unsigned int dwUpdateType;   /*!< 101 daily, 102 weekly, 104 monthly */
} KAL_DORN_TYPE_INFO;

/* One node of the plain update list. */
typedef struct tagKAL_DORN_VERSION_LIST {
    unsigned char uchFlag;                   /*!< level mark set by the selection rules */
    struct tagKAL_DORN_TYPE_INFO stInfo;     /*!< the update record */
    struct tagKAL_DORN_VERSION_LIST* pNext;  /*!< next node, null in the last one */
} KAL_DORN_VERSION_LIST;

#pragma pack(pop)

KALDORN_STATIC_ASSERT(sizeof(KAL_DORN_DBVERSION_INFO) == 8, "version pair is 8 bytes");
KALDORN_STATIC_ASSERT(sizeof(KAL_DORN_TYPE_INFO) == 12, "update record is 12 bytes");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_TYPE_INFO, dwUpdateType) == 8, "dwUpdateType at 8");
KALDORN_STATIC_ASSERT(sizeof(KAL_DORN_VERSION_LIST) == 21, "list node is 21 bytes");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_VERSION_LIST, stInfo) == 1, "stInfo at 1");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_VERSION_LIST, pNext) == 13, "pNext at 13");

#endif /* KALDORN_H */

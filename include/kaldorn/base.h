/*
 * kaldorn/base.h - what every layer of kaldorn shares: the export macro, the
 * C linkage and static assertion macros, the path capacity, the error codes
 * and the byte-packed records that cross the boundary. Compiles as C11 and
 * as C++; <kaldorn.h> includes it and declares the plain entry points.
 */
#ifndef KALDORN_BASE_H
#define KALDORN_BASE_H

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

/* Date stamp of a definition file; only ever copied and compared as 7 bytes. */
typedef struct tagVXDEFDATE {
    unsigned int dwPart1;   /*!< uninterpreted */
    unsigned short wPart2;  /*!< uninterpreted */
    unsigned char uchPart3; /*!< uninterpreted */
} VXDEFDATE;

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

/* Extended update record, 8-bit name. For solo records dwMajorVersion is the
 * product identifier, dwMinorVersion the definition id, dwUpdateType 0. */
typedef struct tagKAL_DORN_TYPE_INFOEXA {
    unsigned int dwMajorVersion;         /*!< series, or product id of a solo record */
    unsigned int dwMinorVersion;         /*!< position in the series, or definition id */
    unsigned int dwUpdateType;           /*!< 101, 102, 104; 0 in solo records */
    char szFileName[KALDORN_MAX_PATH];   /*!< file name to fetch, without directory */
    unsigned int dwFlag;                 /*!< producer's indicator, never read by the library */
    unsigned int dwKind;                 /*!< producer's indicator, never read by the library */
    struct tagVXDEFDATE stDefDate;       /*!< date of a solo definition file, else zero */
    unsigned int dwReserved;             /*!< always 0 */
} KAL_DORN_TYPE_INFOEXA;

/* Extended update record, 16-bit name; members as in the 8-bit form. */
typedef struct tagKAL_DORN_TYPE_INFOEXW {
    unsigned int dwMajorVersion;
    unsigned int dwMinorVersion;
    unsigned int dwUpdateType;
    unsigned short wszFileName[KALDORN_MAX_PATH];
    unsigned int dwFlag;
    unsigned int dwKind;
    struct tagVXDEFDATE stDefDate;
    unsigned int dwReserved;
} KAL_DORN_TYPE_INFOEXW;

/* Node of an extended list, 8-bit names. */
typedef struct tagKAL_DORN_VERSION_LISTEXA {
    unsigned char uchFlag;                     /*!< level mark of the plain node, 0 in solo lists */
    struct tagKAL_DORN_TYPE_INFOEXA stInfo;    /*!< the record */
    struct tagKAL_DORN_VERSION_LISTEXA* pNext; /*!< next node, null in the last one */
} KAL_DORN_VERSION_LISTEXA;

/* Node of an extended list, 16-bit names. */
typedef struct tagKAL_DORN_VERSION_LISTEXW {
    unsigned char uchFlag;
    struct tagKAL_DORN_TYPE_INFOEXW stInfo;
    struct tagKAL_DORN_VERSION_LISTEXW* pNext;
} KAL_DORN_VERSION_LISTEXW;

/* Node of a file-name list, 8-bit names: record and node are one structure. */
typedef struct tagKAL_DORN_FILE_INFO_LISTA {
    char szFileName[KALDORN_MAX_PATH];         /*!< file name, without directory */
    unsigned int dwFlag;                       /*!< producer's indicator */
    unsigned int dwKind;                       /*!< producer's indicator */
    unsigned int dwReserved;                   /*!< always 0 */
    struct tagKAL_DORN_FILE_INFO_LISTA* pNext; /*!< next node, null in the last one */
} KAL_DORN_FILE_INFO_LISTA;

/* Node of a file-name list, 16-bit names. */
typedef struct tagKAL_DORN_FILE_INFO_LISTW {
    unsigned short wszFileName[KALDORN_MAX_PATH];
    unsigned int dwFlag;
    unsigned int dwKind;
    unsigned int dwReserved;
    struct tagKAL_DORN_FILE_INFO_LISTW* pNext;
} KAL_DORN_FILE_INFO_LISTW;

#pragma pack(pop)

KALDORN_STATIC_ASSERT(sizeof(KAL_DORN_DBVERSION_INFO) == 8, "version pair is 8 bytes");
KALDORN_STATIC_ASSERT(sizeof(KAL_DORN_TYPE_INFO) == 12, "update record is 12 bytes");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_TYPE_INFO, dwUpdateType) == 8, "dwUpdateType at 8");
KALDORN_STATIC_ASSERT(sizeof(KAL_DORN_VERSION_LIST) == 21, "list node is 21 bytes");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_VERSION_LIST, stInfo) == 1, "stInfo at 1");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_VERSION_LIST, pNext) == 13, "pNext at 13");

KALDORN_STATIC_ASSERT(sizeof(VXDEFDATE) == 7, "date stamp is 7 bytes");
KALDORN_STATIC_ASSERT(sizeof(KAL_DORN_TYPE_INFOEXA) == 291, "8-bit extended record is 291 bytes");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_TYPE_INFOEXA, szFileName) == 12, "szFileName at 12");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_TYPE_INFOEXA, dwFlag) == 272, "dwFlag at 272");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_TYPE_INFOEXA, dwKind) == 276, "dwKind at 276");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_TYPE_INFOEXA, stDefDate) == 280, "stDefDate at 280");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_TYPE_INFOEXA, dwReserved) == 287, "dwReserved at 287");
KALDORN_STATIC_ASSERT(sizeof(KAL_DORN_TYPE_INFOEXW) == 551, "16-bit extended record is 551 bytes");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_TYPE_INFOEXW, wszFileName) == 12, "wszFileName at 12");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_TYPE_INFOEXW, dwFlag) == 532, "dwFlag at 532");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_TYPE_INFOEXW, dwKind) == 536, "dwKind at 536");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_TYPE_INFOEXW, stDefDate) == 540, "stDefDate at 540");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_TYPE_INFOEXW, dwReserved) == 547, "dwReserved at 547");
KALDORN_STATIC_ASSERT(sizeof(KAL_DORN_VERSION_LISTEXA) == 300, "8-bit extended node is 300 bytes");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_VERSION_LISTEXA, stInfo) == 1, "stInfo at 1");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_VERSION_LISTEXA, pNext) == 292, "pNext at 292");
KALDORN_STATIC_ASSERT(sizeof(KAL_DORN_VERSION_LISTEXW) == 560, "16-bit extended node is 560 bytes");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_VERSION_LISTEXW, stInfo) == 1, "stInfo at 1");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_VERSION_LISTEXW, pNext) == 552, "pNext at 552");
KALDORN_STATIC_ASSERT(sizeof(KAL_DORN_FILE_INFO_LISTA) == 280, "8-bit file-name node is 280 bytes");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_FILE_INFO_LISTA, dwFlag) == 260, "dwFlag at 260");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_FILE_INFO_LISTA, dwKind) == 264, "dwKind at 264");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_FILE_INFO_LISTA, dwReserved) == 268, "dwReserved at 268");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_FILE_INFO_LISTA, pNext) == 272, "pNext at 272");
KALDORN_STATIC_ASSERT(sizeof(KAL_DORN_FILE_INFO_LISTW) == 540, "16-bit file-name node is 540 bytes");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_FILE_INFO_LISTW, dwFlag) == 520, "dwFlag at 520");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_FILE_INFO_LISTW, dwKind) == 524, "dwKind at 524");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_FILE_INFO_LISTW, dwReserved) == 528, "dwReserved at 528");
KALDORN_STATIC_ASSERT(offsetof(KAL_DORN_FILE_INFO_LISTW, pNext) == 532, "pNext at 532");

#endif /* KALDORN_BASE_H */

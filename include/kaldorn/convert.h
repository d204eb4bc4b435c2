// Conversions from the plain update lists of the planners to the extended
// and file-name lists that hosts receive, and between their 8-bit and 16-bit
// forms. Every list conversion builds a new list (input untouched), stores
// null for an empty input, and on failure releases what it built and leaves
// the output unwritten. None writes an error code.
#pragma once

#include "kaldorn/base.h"

// Copies version and type and writes the update file name:
// "iu%04d%02d" (product 1) or "eu%04d%02d", then "_weekly" (102) or
// "_monthly" (104), then ".dat". Writes nothing else: zero-fill dst first.
KALDORN_EXPORT int KalDornConvertVersionRecordToVersionRecordEx(unsigned int product, tagKAL_DORN_TYPE_INFO* src,
                                                                tagKAL_DORN_TYPE_INFOEXA* dst);

// Copies every member and converts the name; the result is the name
// conversion's (0 when it does not fit 260 characters).
KALDORN_EXPORT int KalDornConvertVersionRecordExWToVersionRecordExA(unsigned int product,
                                                                    tagKAL_DORN_TYPE_INFOEXW* src,
                                                                    tagKAL_DORN_TYPE_INFOEXA* dst);
KALDORN_EXPORT int KalDornConvertVersionRecordExAToVersionRecordExW(unsigned int product,
                                                                    tagKAL_DORN_TYPE_INFOEXA* src,
                                                                    tagKAL_DORN_TYPE_INFOEXW* dst);

// Plain list to 8-bit extended list, one file name per record. For product 1
// every record gets dwFlag 1 when the client in clientDirectory is at 381.1
// or 386.26 (an unreadable client index only leaves dwFlag 0).
KALDORN_EXPORT int KalDornConvertVersionListToVersionListEx(unsigned int product, const unsigned short* clientDirectory,
                                                            tagKAL_DORN_VERSION_LIST* list,
                                                            tagKAL_DORN_VERSION_LISTEXA** out);

// Plain list to file-name list: dwFlag 1 for operations 1 and 2, 0 for
// operation 0; any other operation id fails (an empty input succeeds).
KALDORN_EXPORT int KalDornConvertVersionListToFileList(unsigned int product, unsigned int operationId,
                                                       tagKAL_DORN_VERSION_LIST* list,
                                                       tagKAL_DORN_FILE_INFO_LISTA** out);

// Extended lists between the two widths; each node keeps its uchFlag.
KALDORN_EXPORT int KalDornConvertVersionListExWToVersionListExA(unsigned int product,
                                                                tagKAL_DORN_VERSION_LISTEXW* list,
                                                                tagKAL_DORN_VERSION_LISTEXA** out);
KALDORN_EXPORT int KalDornConvertVersionListExAToVersionListExW(unsigned int product,
                                                                tagKAL_DORN_VERSION_LISTEXA* list,
                                                                tagKAL_DORN_VERSION_LISTEXW** out);

// File-name lists between the two widths; dwReserved is not carried (0).
KALDORN_EXPORT int KalDornConvertFileListWToFileListA(unsigned int product, tagKAL_DORN_FILE_INFO_LISTW* list,
                                                      tagKAL_DORN_FILE_INFO_LISTA** out);
KALDORN_EXPORT int KalDornConvertFileListAToFileListW(unsigned int product, tagKAL_DORN_FILE_INFO_LISTA* list,
                                                      tagKAL_DORN_FILE_INFO_LISTW** out);

// Component lists "%08x_compns.lst": the in-memory record, the reader and
// writer, single entries, verification against the disk, merge and diff.
//
// File layout (little-endian): an 80-byte plain head ("INXF", format bytes
// 1 and 1, the 32-byte maker name, byte-sum checksum of the record area at
// 56, platform identifiers at 60/64/68, record count at 76), then records of
// a 40-byte fixed part plus dwNameLength name bytes, every byte stored
// rotated left by 3 bits.
#pragma once

#include "kaldorn/base.h"
#include "kaldorn/lists.h"

#pragma pack(push, 1)
// One component list record; the first 40 bytes are the stored fixed part.
struct tagVX_COMPONENT_FILE_MEM_RECORD_INFO {
    unsigned int dwFlag;              /*!< 1: verified by VerifyCompnsFileRecords; merge writes 0 into old-only ones */
    unsigned int dwFileSize;          /*!< length of the component file in bytes */
    unsigned char uchMD5Digest[16];   /*!< MD5 digest of the file's contents */
    unsigned int dwTag;               /*!< carried value; part of a record's identity for the diff */
    unsigned int dwNameLength;        /*!< stored name bytes, the NUL included (1 to 260) */
    unsigned char uchReserved[8];     /*!< zero as written; carried unchanged */
    char szFileName[KALDORN_MAX_PATH];/*!< base name, NUL-terminated, zero after the NUL */
};
#pragma pack(pop)

static_assert(sizeof(tagVX_COMPONENT_FILE_MEM_RECORD_INFO) == 300, "component record is 300 bytes");
static_assert(offsetof(tagVX_COMPONENT_FILE_MEM_RECORD_INFO, dwFileSize) == 4, "dwFileSize at 4");
static_assert(offsetof(tagVX_COMPONENT_FILE_MEM_RECORD_INFO, uchMD5Digest) == 8, "digest at 8");
static_assert(offsetof(tagVX_COMPONENT_FILE_MEM_RECORD_INFO, dwTag) == 24, "dwTag at 24");
static_assert(offsetof(tagVX_COMPONENT_FILE_MEM_RECORD_INFO, dwNameLength) == 28, "dwNameLength at 28");
static_assert(offsetof(tagVX_COMPONENT_FILE_MEM_RECORD_INFO, uchReserved) == 32, "reserved at 32");
static_assert(offsetof(tagVX_COMPONENT_FILE_MEM_RECORD_INFO, szFileName) == 40, "name at 40");

// All functions return 1 on success and 0 on failure; a null required pointer
// gives 0 with nothing written; error codes are the KALDORN_E_* values.
// Record arrays handed out are one malloc block of count * 300 bytes that the
// caller gives back through ReleaseCompnList; out-values are written only on
// success.

// Reads a list: the decoded records in file order (null array, count 0 for
// an empty list). Codes 7, 8, 10, 11, 13, 17, 18.
KALDORN_EXPORT int GetCompnListFromLstFile(const char* path, tagVX_COMPONENT_FILE_MEM_RECORD_INFO** records,
                                           unsigned int* count, unsigned int* error);

// Frees an array handed out by any component list function and clears the
// code; a null array returns 0 and leaves the code alone.
KALDORN_EXPORT int ReleaseCompnList(tagVX_COMPONENT_FILE_MEM_RECORD_INFO* records, unsigned int count,
                                    unsigned int* error);

// Platform identifiers 1, 2, 3 of the head (offsets 60, 64, 68). The head is
// not validated. Codes 7, 8, 10, 13.
KALDORN_EXPORT int GetCompnListFilePlatformId(const char* path, unsigned int* id1, unsigned int* id2,
                                              unsigned int* id3, unsigned int* error);

// Stores the three identifiers in place; the list stays valid (the checksum
// covers only the records). Codes 7, 8, 10, 13, 14, 15.
KALDORN_EXPORT int SetCompnListFilePlatformId(const char* path, unsigned int id1, unsigned int id2,
                                              unsigned int id3, unsigned int* error);

// Writes a whole list (mode 0600): the array's records (none when null), then
// *extra when append is 1 and extra is non-null; records first, head last,
// platform identifiers 0. A record whose dwNameLength is outside 1..260,
// whose name has no NUL within those bytes, or whose szFileName is not zero
// after the NUL (it would not read back identical) is refused with 14 before
// the file is touched. Codes 7, 14, 15.
KALDORN_EXPORT int DumpRecordsToCompnLstFile(const char* path, tagVX_COMPONENT_FILE_MEM_RECORD_INFO* records,
                                             unsigned int count, int append,
                                             tagVX_COMPONENT_FILE_MEM_RECORD_INFO* extra, unsigned int* error);

// Builds the record of one file: base name, size, MD5 digest, dwTag 0 and
// the given flag. Does not clear the code; writes 8 (missing), 7 (path or
// base name does not fit 260 bytes) or 20 (digest cannot be computed).
KALDORN_EXPORT int GetCompnLstFileRecord(const char* path, unsigned int flag,
                                         tagVX_COMPONENT_FILE_MEM_RECORD_INFO* record, unsigned int* error);

// Adds or refreshes the entry of one file in a list, creating the list when
// missing. A case-insensitive name match with the same digest and flag
// leaves the file untouched and succeeds with code 6; another match is
// replaced in place. `unused` is ignored; `reserved` must be non-null and is
// never written. Reader and writer codes pass through.
KALDORN_EXPORT int AddEntrytoCompnLstFile(const char* component, unsigned int flag, int unused, const char* list,
                                          unsigned int* reserved, unsigned int* error);

// Reports the records with dwFlag 1 whose file is missing from the first
// directory (and from the second, when given) or whose digest differs, in
// list order. Codes 9 (a directory missing, empty or longer than 259 bytes),
// 7 (a joined path over 260 bytes), 11, 20, and the reader's codes.
KALDORN_EXPORT int VerifyCompnsFileRecords(const char* list, const char* dir1, const char* dir2,
                                           tagVX_COMPONENT_FILE_MEM_RECORD_INFO** records, unsigned int* count,
                                           unsigned int* error);

// Every record of the newer list, then the older list's records whose name
// no newer record has (ignoring case) with dwFlag 0. A missing older file
// counts as empty. An empty result is a null array. Codes 11 and the reader's.
KALDORN_EXPORT int GenerateMergforCompnLstFiles(const char* older, const char* newer,
                                                tagVX_COMPONENT_FILE_MEM_RECORD_INFO** records,
                                                unsigned int* count, unsigned int* error);

// The newer list's records that no older record matches in name (ignoring
// case), digest, dwFlag and dwTag, in newer order. Codes as for the merge.
KALDORN_EXPORT int GenerateDiffforCompnLstFiles(const char* older, const char* newer,
                                                tagVX_COMPONENT_FILE_MEM_RECORD_INFO** records,
                                                unsigned int* count, unsigned int* error);

// Writes the merge to `output` (which may name either input) and reports the
// number of records written. Codes of the merge and of the writer.
KALDORN_EXPORT int MergeCompnLstFilesEx(const char* older, const char* newer, const char* output,
                                        unsigned int* count, unsigned int* error);

extern template unsigned char AddToGenList<tagVX_COMPONENT_FILE_MEM_RECORD_INFO>(
    tagVX_COMPONENT_FILE_MEM_RECORD_INFO*, GEN_LIST<tagVX_COMPONENT_FILE_MEM_RECORD_INFO>**,
    GEN_LIST<tagVX_COMPONENT_FILE_MEM_RECORD_INFO>**);
extern template unsigned char FreeGenList<tagVX_COMPONENT_FILE_MEM_RECORD_INFO>(
    GEN_LIST<tagVX_COMPONENT_FILE_MEM_RECORD_INFO>*);

// Index DAT files "%08x_index.dat": in-memory records, checksum rules and the
// readers of version index DATs and definition index DATs.
//
// File layout (little-endian): lead block (magic 0xDBDF, byte sum) at 0;
// index header (product id, revision, entry count N, 8 reserved) at 8; N
// 16-byte entries at 28; section header (block CRC, first version, DB
// version, payload size, 8 reserved) at 28 + 16N; payload at P = 60 + 16N.
// A definition payload is a 36-byte solo header followed by definition
// records whose bytes are stored rotated left by 3 bits.
#pragma once

#include "kaldorn/base.h"
#include "kaldorn/lists.h"

#pragma pack(push, 1)

// One definition record as read from a definition index DAT.
struct tagSOLO_DEF_MEM_RECORD_INFO {
    unsigned int dwDefId;             /*!< names the file "%08x_%08x.dat" (product id, this id) */
    tagVXDEFDATE stDefDate;           /*!< date stamp of the definition file */
    unsigned int dwDefData;           /*!< caller's value from ModifyDefEntryFromDatFile; never interpreted */
    unsigned int dwDefStatus;         /*!< 1 = active */
    unsigned int dwNameLength;        /*!< name bytes including the NUL, 1 to 260 */
    unsigned char uchReserved[12];    /*!< 0 in appended records */
    char szDefName[KALDORN_MAX_PATH]; /*!< the definition name, NUL-terminated */
};

// The 36-byte solo header that opens a definition payload.
struct tagSOLO_DAT_HEADER_INFO {
    unsigned int dwChecksum;     /*!< block CRC of the region from the header's offset + 4 to the end */
    unsigned int dwFileLength;   /*!< file length when last stamped; never read */
    unsigned int dwProductId;    /*!< product identifier */
    unsigned int dwDatVersion;   /*!< version number of the file */
    unsigned int dwRecordCount;  /*!< number of definition records that follow */
    unsigned int dwLastDefId;    /*!< highest definition id assigned so far */
    unsigned int dwCurrentDefId; /*!< definition id stamped as current */
    unsigned int dwReserved1;    /*!< never read */
    unsigned int dwReserved2;    /*!< never read */
};

// The version text of a version index DAT.
struct tagUPDT_BUFFER_DATA {
    unsigned char* pData; /*!< heap text with one NUL after it */
    unsigned int dwSize;  /*!< text length in bytes, the NUL not counted */
};

// A loaded version index DAT.
struct tagUPDT_DAT_VERSION_INFO_MEM {
    tagKAL_DORN_DBVERSION_INFO stFirstVersion; /*!< carried, never interpreted */
    tagKAL_DORN_DBVERSION_INFO stDbVersion;    /*!< the last update the file's owner holds */
    tagUPDT_BUFFER_DATA stBuffer;              /*!< the version text, owned by the record */
};

#pragma pack(pop)

static_assert(sizeof(tagSOLO_DEF_MEM_RECORD_INFO) == 295, "definition record is 295 bytes");
static_assert(offsetof(tagSOLO_DEF_MEM_RECORD_INFO, stDefDate) == 4, "stDefDate at 4");
static_assert(offsetof(tagSOLO_DEF_MEM_RECORD_INFO, dwDefData) == 11, "dwDefData at 11");
static_assert(offsetof(tagSOLO_DEF_MEM_RECORD_INFO, dwDefStatus) == 15, "dwDefStatus at 15");
static_assert(offsetof(tagSOLO_DEF_MEM_RECORD_INFO, dwNameLength) == 19, "dwNameLength at 19");
static_assert(offsetof(tagSOLO_DEF_MEM_RECORD_INFO, uchReserved) == 23, "reserved at 23");
static_assert(offsetof(tagSOLO_DEF_MEM_RECORD_INFO, szDefName) == 35, "name at 35");
static_assert(sizeof(tagSOLO_DAT_HEADER_INFO) == 36, "solo header is 36 bytes");
static_assert(offsetof(tagSOLO_DAT_HEADER_INFO, dwRecordCount) == 16, "dwRecordCount at 16");
static_assert(offsetof(tagSOLO_DAT_HEADER_INFO, dwCurrentDefId) == 24, "dwCurrentDefId at 24");
static_assert(offsetof(tagUPDT_DAT_VERSION_INFO_MEM, stDbVersion) == 8, "stDbVersion at 8");
static_assert(offsetof(tagUPDT_DAT_VERSION_INFO_MEM, stBuffer) == 16, "stBuffer at 16");

// Block CRC of the region from `start` to the end of the file: the standard
// CRC-32 of the region's last 1024-byte block (blocks counted from `start`);
// 0 for an empty region. 1, or 0 when out is null. The file position is left
// as it was.
KALDORN_EXPORT int CalculateCheckSumFd(int fd, int start, unsigned int* out);

// Byte sum from offset 8 to the end, each byte taken as a signed 8-bit value,
// wrapping mod 2^32. The file position is left as it was.
KALDORN_EXPORT unsigned int CalculateChecksum(int fd);

// Loads a version index DAT, verifying its section checksum. On success the
// record owns the text until ReleaseUpdateVersionInfo. 0 on any failure,
// with no buffer left behind.
KALDORN_EXPORT int GetUpdateVersionInfo(const char* path, tagUPDT_DAT_VERSION_INFO_MEM* info);

// Frees the version text; always 0. Safe on a null record or null text.
KALDORN_EXPORT int ReleaseUpdateVersionInfo(tagUPDT_DAT_VERSION_INFO_MEM* info);

// Reads the solo header of a definition index DAT and verifies its checksum.
KALDORN_EXPORT int GetSoloIndexDatHeader(const char* path, tagSOLO_DAT_HEADER_INFO* header,
                                         unsigned int* error);

// Reads every definition record into one heap array of 295 * count bytes
// (null when the file holds none; the checksum is then not verified).
// Release it with ReleaseDefList or free.
KALDORN_EXPORT int GetDefListFromDatFile(const char* path, tagSOLO_DEF_MEM_RECORD_INFO** records,
                                         unsigned int* count, unsigned int* error);

// Frees an array from GetDefListFromDatFile; 0 if the array or error is null.
KALDORN_EXPORT int ReleaseDefList(tagSOLO_DEF_MEM_RECORD_INFO* records, unsigned int count,
                                  unsigned int* error);

// ---- Maintenance of definition index DATs ----
// Both refuse a file whose solo checksum is wrong without writing, keep the
// error at 0 (the result alone tells failure) and leave the record layout as
// it is. They write a copy beside the file (same mode and owner), flush it
// and rename it over the file, so a failed or interrupted call leaves the old
// file byte for byte. Where no copy can be created beside it, and for a
// symbolic link or a file with several names, they write in place, where a
// failure after the first write leaves the file partly updated.

// Stamps defId as the current definition: dwCurrentDefId, dwDatVersion 1,
// dwFileLength, the payload size and revision + 1; then the checksums.
KALDORN_EXPORT int UpdateSoloIndexDatFile(const char* path, unsigned int defId, unsigned int* error);

// Rewrites date, dwDefData and dwDefStatus of the first record with defId;
// 0, file untouched, when no record has it.
KALDORN_EXPORT int ModifyDefEntryFromDatFile(const char* path, unsigned int defId, const tagVXDEFDATE* date,
                                             unsigned int defData, unsigned int defStatus, unsigned int* error);

// ---- Diff and lookup ----

// Active records of newPath that are absent from oldPath or carry another
// date, in newPath's order, as one heap array (release with ReleaseDefList;
// null and 0 when nothing differs). 0 when one id carries two names.
KALDORN_EXPORT int GenerateDiffforDatFiles(const char* oldPath, const char* newPath,
                                           tagSOLO_DEF_MEM_RECORD_INFO** records, unsigned int* count,
                                           unsigned int* error);

// Finds the first record named `name` (case-insensitive, any status); writes
// its id and "%08x_%08x.dat" (product, id) into fileName (22 bytes or more;
// fileNameSize is not consulted). 0 with error 2 when absent.
KALDORN_EXPORT int GetDefEntryFromDatList(unsigned int productId, tagSOLO_DEF_MEM_RECORD_INFO* records,
                                          unsigned int count, const char* name, char* fileName,
                                          unsigned int fileNameSize, unsigned int* defId, unsigned int* error);

// Looks `name` up in the file; when absent and append is non-zero, appends
// an active record with id dwLastDefId + 1, creating the file (mode 0600)
// if needed. Names of 260 characters or more are refused, and so is an
// append to a file with bytes after its last record. Error stays 0.
// Writes as the maintenance operations do: through a copy, and a new file
// appears complete or not at all.
KALDORN_EXPORT int GetDefEntryFromDatFile(unsigned int productId, const char* path, const char* name, int append,
                                          char* fileName, unsigned int fileNameSize, unsigned int* defId,
                                          unsigned int* error);

// ---- Comparison of a client's and a source's definition index DAT ----

// Selects the active records of newPath that oldPath lacks or dates
// differently. Hands out newPath's records and the selection (both for
// ReleaseDefList), both headers (old all zero when oldPath is missing) and
// mode 0. Errors: 1003 old newer, 1004 same version, 1006 nothing selected,
// 1007 no memory for the selection; 0 for unreadable or mismatched files.
KALDORN_EXPORT int CompareSoloDatFiles(int unused, const char* directory, const char* newPath, const char* oldPath,
                                       tagSOLO_DEF_MEM_RECORD_INFO** newRecords, unsigned int* newCount,
                                       tagSOLO_DEF_MEM_RECORD_INFO** selected, unsigned int* selectedCount,
                                       tagSOLO_DAT_HEADER_INFO* newHeader, tagSOLO_DAT_HEADER_INFO* oldHeader,
                                       int* mode, unsigned int* error);

// The changed definitions (and, for operation id 2, the added ones) as a
// list of "%08x_%08x.dat" names marked per operation id; free it with
// FreeUpdtInfoListEx. Success with a null list when nothing is listed.
KALDORN_EXPORT int CompareSoloDatFilesForOprId(unsigned int productId, unsigned int operationId, const char* newPath,
                                               const char* oldPath, tagKAL_DORN_FILE_INFO_LISTA** list,
                                               unsigned int* error);

extern template unsigned char AddToGenList<tagSOLO_DEF_MEM_RECORD_INFO>(tagSOLO_DEF_MEM_RECORD_INFO*,
                                                                        GEN_LIST<tagSOLO_DEF_MEM_RECORD_INFO>**,
                                                                        GEN_LIST<tagSOLO_DEF_MEM_RECORD_INFO>**);
extern template unsigned char FreeGenList<tagSOLO_DEF_MEM_RECORD_INFO>(GEN_LIST<tagSOLO_DEF_MEM_RECORD_INFO>*);

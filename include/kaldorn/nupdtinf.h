// Update planning for the version-text products (1 and 3): character width
// conversion, the decoded version entries, the plain update list, the
// selection rules, the list builders and the drivers that answer whole
// download, delete and operation-id questions.
//
// Every list handed out is a chain of 21-byte heap nodes that belongs to the
// caller and goes back through FreeUpdtInfoList or one of its wrappers.
#pragma once

#include "kaldorn/base.h"
#include "kaldorn/soloindx.h"

#pragma pack(push, 1)

// One decoded token of a version text, with the flags the selection rules set.
struct tagUPDT_VERSION_BUFFER {
    unsigned char uchFlag;      /*!< level mark: 0 none, 1 a marked weekly, 2 a marked monthly */
    unsigned char uchSelected;  /*!< 1 = chosen by a selection rule */
    unsigned char uchReserved;  /*!< always 0 */
    char chType;                /*!< 'D' daily, 'W' weekly, 'X' monthly; 0 for any other byte */
    tagKAL_DORN_TYPE_INFO stInfo; /*!< version and update type of the token */
};

#pragma pack(pop)

static_assert(sizeof(tagUPDT_VERSION_BUFFER) == 16, "version entry is 16 bytes");
static_assert(offsetof(tagUPDT_VERSION_BUFFER, uchSelected) == 1, "uchSelected at 1");
static_assert(offsetof(tagUPDT_VERSION_BUFFER, chType) == 3, "chType at 3");
static_assert(offsetof(tagUPDT_VERSION_BUFFER, stInfo) == 4, "stInfo at 4");

// ---- Character width conversion -------------------------------------------

// 16-bit to 8-bit, unit by unit: each unit keeps its low byte. capacity counts
// bytes including the terminator. 0 (nothing written) for a null pointer or a
// source of capacity characters or more; else 1.
KALDORN_EXPORT unsigned char ConvertToMultiByte(const unsigned short* source, char* destination,
                                                unsigned int capacity);

// 8-bit to 16-bit, byte by byte with sign extension (0xE9 becomes 0xFFE9).
// capacity counts units including the terminator; 0 and 1 as above.
KALDORN_EXPORT unsigned char ConvertToWideCharEx(const char* source, unsigned short* destination,
                                                 unsigned int capacity);

// ---- Version entries and the plain update list ----------------------------

// Decodes a version text ("1" daily, "0001;" weekly, "0010;" monthly) into
// entries; a byte of any other kind still takes an entry (its type and record
// left as the caller's array holds them). 0 on a null pointer, a text longer
// than capacity, or a '0' that does not start one of the two tokens.
KALDORN_EXPORT int ConvertDATBufferFormat(const tagUPDT_BUFFER_DATA* text, tagUPDT_VERSION_BUFFER* entries,
                                          unsigned int capacity, unsigned int* count);

// Finds dbVersion among the entries: its 0-based index and update type, or
// -1 and 104 for version 1.0 (before every entry). 0 when it is absent.
KALDORN_EXPORT int GetVersionIndex(const tagUPDT_VERSION_BUFFER* entries, unsigned int count,
                                   const tagKAL_DORN_DBVERSION_INFO* dbVersion, int* index,
                                   unsigned int* updateType);

// Appends a node holding *record and flag behind *tail (head and tail start
// null). 0 on a null pointer or an exhausted heap, the list then unchanged.
KALDORN_EXPORT int AddToUpdtInfoList(tagKAL_DORN_TYPE_INFO* record, unsigned char flag,
                                     tagKAL_DORN_VERSION_LIST** head, tagKAL_DORN_VERSION_LIST** tail);

// Frees every node of a plain list; 0 for a null list, else 1.
KALDORN_EXPORT int FreeUpdtInfoList(tagKAL_DORN_VERSION_LIST* list);
// Both free any plain list: 0 for null, else 1 once it is freed.
KALDORN_EXPORT int KalDornFreeDownloadVersionListForPathLocal(tagKAL_DORN_VERSION_LIST* list);
KALDORN_EXPORT int KalDornFreeDownloadVersionListForInternetLocal(tagKAL_DORN_VERSION_LIST* list);

// Fills the caller's node with the current version of "%08x_index.dat" in
// directory and the update type of that version (104 for 1.0); uchFlag 0,
// pNext null. 0 with error 1007 when the file cannot be read, its text is
// malformed or its version is not in the text (the node is then untouched).
KALDORN_EXPORT int KalDornGetCurrentClientVersionForUpdateManagerLocal(unsigned int productId,
                                                                       const unsigned short* directory,
                                                                       tagKAL_DORN_VERSION_LIST* node,
                                                                       unsigned int* error);

// ---- Selection rules -------------------------------------------------------
// Each rule flags entries start+1 .. count-1 of a decoded array (start is
// GetVersionIndex's index, -1 for version 1.0). A null array, or a count and
// start that do not describe an index of the array, changes nothing and gives 1.

// Selects every entry after start.
KALDORN_EXPORT int NewParseExForUpdateManager(tagUPDT_VERSION_BUFFER* entries, int count, int start);
// Keep window of an update manager's store: everything from the last monthly
// on, the month before it back to its second weekly, and every monthly.
KALDORN_EXPORT int NewParseExForUpdateManagerEx2(tagUPDT_VERSION_BUFFER* entries, int count, int start);
// The keep window measured from one below the second monthly at or before
// start; *firstIndex receives where the deletable entries begin (the
// unselected ones from there on). A null firstIndex changes nothing.
KALDORN_EXPORT int NewParseForUpdateManagerDeleteFile(tagUPDT_VERSION_BUFFER* entries, int count, int start,
                                                      int* firstIndex);
// Internet client: the rest of the client's level, each later record of the
// same level, a mark on the first rise to weekly (1) and monthly (2), then
// the newest records in non-decreasing level from the end.
KALDORN_EXPORT int NewParseExForInternet(tagUPDT_VERSION_BUFFER* entries, int count, int start);
// The internet rule, then monthlies in place of the days and weeks they cover.
KALDORN_EXPORT int NewParseExForInternet2012(tagUPDT_VERSION_BUFFER* entries, int count, int start);
// 1 if the update file of record exists in directory (used unchanged as the
// prefix, so it ends in "/"). mode 1 looks for ".inx" names ("gn" for
// variant 2, else "bk" for product 1 and "ec" for the others); any other mode
// for "iu" (product 1) or "eu" names with "_weekly.dat", "_monthly.dat" or
// ".dat". 0 for a null pointer or a name that does not fit in 260 bytes.
KALDORN_EXPORT int IsVersionFilePresent(unsigned int productId, const char* directory, unsigned char variant,
                                        unsigned int mode, tagKAL_DORN_TYPE_INFO* record);
// Local directory: from the end, the newest file of each level that is in
// directory; a missing monthly (mark 2) or weekly (mark 1) is replaced by the
// level below. 0 when a daily file it needs is missing.
KALDORN_EXPORT int NewParseExForPath(unsigned int productId, const char* directory, unsigned int mode,
                                     tagUPDT_VERSION_BUFFER* entries, int count, int start);

// ---- List builders ---------------------------------------------------------
// Each decodes source's text, finds client in it, runs one rule and lists
// the admitted entries oldest first (null when none). 0, with *list
// untouched and nothing left allocated, on a null pointer, malformed text, a
// client version absent from the text, a missing daily file (path builder)
// or an exhausted heap. A flag counts as set only when it equals 1.

// Internet download: rule NewParseExForInternet2012 when ruleFlag is 1, else
// NewParseExForInternet; lists selected entries and, with includeMarked,
// marked ones.
KALDORN_EXPORT int GetDownloadFileList(unsigned int includeMarked, const tagUPDT_DAT_VERSION_INFO_MEM* source,
                                       const tagKAL_DORN_DBVERSION_INFO* client,
                                       tagKAL_DORN_VERSION_LIST** list, int ruleFlag);
// Update manager download: NewParseExForUpdateManagerEx2 when ruleFlag is 1,
// else NewParseExForUpdateManager.
KALDORN_EXPORT int GetDownloadFileListForUpdateManager(unsigned int includeMarked,
                                                       const tagUPDT_DAT_VERSION_INFO_MEM* source,
                                                       const tagKAL_DORN_DBVERSION_INFO* client,
                                                       tagKAL_DORN_VERSION_LIST** list, int ruleFlag);
// Local directory download with NewParseExForPath; mode also serves as the
// include-marked flag. directory ends in "/".
KALDORN_EXPORT int GetDownloadFileListForPath(unsigned int productId, unsigned int mode, const char* directory,
                                              const tagUPDT_DAT_VERSION_INFO_MEM* source,
                                              const tagKAL_DORN_DBVERSION_INFO* client,
                                              tagKAL_DORN_VERSION_LIST** list);
// Update manager clean-up: the entries outside the keep window, from the
// first index of NewParseForUpdateManagerDeleteFile on.
KALDORN_EXPORT int GetDeleteFileListForUpdateManager(const tagUPDT_DAT_VERSION_INFO_MEM* source,
                                                     const tagKAL_DORN_DBVERSION_INFO* client,
                                                     tagKAL_DORN_VERSION_LIST** list);

// ---- Drivers ---------------------------------------------------------------
// A driver loads "%08x_index.dat" from the client and the source directory
// (with or without a final "/"), compares the two current versions and
// builds the list. 1 with a non-empty list; else 0 with *list null and
// *error one of: 1001 source index unreadable, 1003 client newer, 1004 same
// version, 1005 builder failed, 1006 nothing to download, 1007 a directory
// that cannot be converted or does not fit with the file name in 260 bytes.
// A client index that cannot be read counts as version 1.0. Null arguments
// give 0 with nothing written.

KALDORN_EXPORT int KalDornGetDownloadVersionListForUpdateManagerLocal(unsigned int productId,
                                                                      const unsigned short* clientDirectory,
                                                                      const unsigned short* sourceDirectory,
                                                                      tagKAL_DORN_VERSION_LIST** list,
                                                                      unsigned int includeMarked, int ruleFlag,
                                                                      unsigned int* error);
// updateFileDirectory holds the update files; it must leave room for the
// longest update file name (36 bytes) in 260 bytes, else 1007.
KALDORN_EXPORT int KalDornGetDownloadVersionListForPathLocal(unsigned int productId, const char* clientDirectory,
                                                             const char* sourceDirectory,
                                                             const char* updateFileDirectory,
                                                             tagKAL_DORN_VERSION_LIST** list, unsigned int mode,
                                                             unsigned int* error);
KALDORN_EXPORT int KalDornGetDownloadVersionListForInternetLocal(unsigned int productId,
                                                                 const char* clientDirectory,
                                                                 const char* sourceDirectory,
                                                                 tagKAL_DORN_VERSION_LIST** list,
                                                                 unsigned int includeMarked, int ruleFlag,
                                                                 unsigned int* error);

// Update manager per operation: 1 the stored files it may delete, 2 the
// files to fetch (keep-window rule), 0 none. 1 on success, the list possibly
// null: also when the source index cannot be read, or the client's cannot
// for operations other than 1 (for 1 it counts as version 1.0). 0 with 1003,
// 1004, 1005 or 1007 as for the drivers; 0 without a code for another
// operation id. referenceDirectory must be non-null and is not used.
KALDORN_EXPORT int KaldornGetFileListFromOprIdForUpdateManagerLocalW(unsigned int productId,
                                                                     unsigned int operationId,
                                                                     const unsigned short* sourceDirectory,
                                                                     const unsigned short* referenceDirectory,
                                                                     const unsigned short* clientDirectory,
                                                                     tagKAL_DORN_VERSION_LIST** list,
                                                                     unsigned int* error);

// ---- Solo planning (definition index DATs) ---------------------------------
// Directories hold "%08x_index.dat" of the product; the definition files are
// "%08x_%08x.dat" (product id, definition id).

// Definition files a client must fetch from a source: one record per new or
// re-dated active definition (dwKind 1, its date), and with soloMode 1 one
// record (dwFlag 1) per component of the client's engine directory that is
// missing or damaged. 1 with the list (free with FreeUpdtInfoListEx), or 1
// with a null list and 1003, 1004 or 1006 left in *error; 0 with the
// comparison's code, or 1007 for a failed step after the comparison.
KALDORN_EXPORT int KalDornGetDownloadFilesListForSoloUpdt(unsigned int productId, int soloMode,
                                                          const char* clientDirectory, const char* sourceDirectory,
                                                          tagKAL_DORN_VERSION_LISTEXA** list, unsigned int* error);

// Definition files of one operation: 0 the reference's changes against the
// source, 2 the source's changes and additions against the client, 1 the
// source's changes against the client less those of operation 0. 1 with the
// list (possibly null; free with FreeUpdtInfoListEx); 0 with 1007 for a path
// that does not fit, the comparison's code, or no code for another id.
KALDORN_EXPORT int KaldornGetFileListFromOprIdForSoloUpdt(unsigned int productId, unsigned int operationId,
                                                          const char* sourceDirectory,
                                                          const char* referenceDirectory,
                                                          const char* clientDirectory,
                                                          tagKAL_DORN_FILE_INFO_LISTA** list, unsigned int* error);

// Fills the caller's node with the client's current definition file (the
// solo header's dwCurrentDefId; dwFlag 1), uchFlag 0 and pNext null.
// 0 with 1007 when the client's solo header cannot be read.
KALDORN_EXPORT int KalDornGetCurrentClientFilesListForSoloUpdt(unsigned int productId, const char* clientDirectory,
                                                               tagKAL_DORN_VERSION_LISTEXA* node,
                                                               unsigned int* error);

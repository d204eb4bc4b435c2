// CRC-32 (reflected, polynomial 0xEDB88320) over buffers, files and strings,
// and the file length helper.
#pragma once

#include "kaldorn/base.h"

// Callers create the object locally; after construction it only reads its
// table, so one object may serve several threads.
class KALDORN_EXPORT CVXCrc32 {
public:
    // Fills the table.
    CVXCrc32();
    ~CVXCrc32();

    // Fills the standard reflected CRC-32 table (entry 1 is 0x77073096).
    void GenerateCrc32Table();

    // Raw register over the first len bytes: starts at 0xFFFFFFFF on every
    // call (calls do not chain) and is stored WITHOUT the final complement,
    // so *crc is ~crc32(buf). len <= 0 stores 0xFFFFFFFF. 0 if buf or crc is
    // null; *crc is written only on success.
    int GetBuffCrc32(const unsigned char* buf, int len, unsigned int* crc);

    // Standard CRC-32 of a whole file, read with fopen/fread. 0 if an argument
    // is null or the file does not open; a read error ends the input like end
    // of file.
    int GetFileCrc32fopen(const char* path, unsigned int* crc);

    // As GetFileCrc32fopen, through a POSIX descriptor.
    int GetFileCrc32open(const char* path, unsigned int* crc);

    // Standard CRC-32 of the bytes of a NUL-terminated string.
    int GetStringCrc32(const char* str, unsigned int* crc);

private:
    unsigned int m_dwCrcTable[256]; /*!< entry n: n shifted through 8 reflected steps */
};

static_assert(sizeof(CVXCrc32) == 1024, "the CRC object is exactly its 1 KiB table");

// Length of an open file as a signed 32-bit value, file position unchanged;
// 0 for descriptor -1, -1 when the seek back fails.
KALDORN_EXPORT int _filelength(int fd);

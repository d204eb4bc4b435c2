// Steps shared by everything that walks a version text: the loaded index
// DAT, the decoded entry array and the index DAT path of a directory.
#pragma once

#include <cstdlib>

#include "kaldorn/nupdtinf.h"

namespace kaldorn::detail {

// A version index DAT loaded with GetUpdateVersionInfo; the text goes back
// through ReleaseUpdateVersionInfo when the holder does.
class LoadedIndex {
public:
    LoadedIndex() = default;
    LoadedIndex(const LoadedIndex&) = delete;
    LoadedIndex& operator=(const LoadedIndex&) = delete;
    ~LoadedIndex() { ReleaseUpdateVersionInfo(&info_); }

    // False, with the record zeroed, when the file cannot be loaded.
    bool load(const char* path);
    // The record of an installation without updates: versions 1.0, no text.
    void assume_no_updates();

    const tagUPDT_DAT_VERSION_INFO_MEM& info() const { return info_; }
    const tagKAL_DORN_DBVERSION_INFO& current() const { return info_.stDbVersion; }

private:
    tagUPDT_DAT_VERSION_INFO_MEM info_{};
};

// A version text decoded into one heap array, freed when the holder goes.
// Every entry is written whole: a byte that is no token gives a zero entry.
class DecodedText {
public:
    DecodedText() = default;
    DecodedText(const DecodedText&) = delete;
    DecodedText& operator=(const DecodedText&) = delete;
    ~DecodedText() { std::free(entries_); }

    // False on malformed text, a text too long to index, or no memory.
    bool decode(const tagUPDT_BUFFER_DATA& text);
    // Index of version among the entries, -1 for 1.0; false when absent.
    bool find(const tagKAL_DORN_DBVERSION_INFO& version, int& index, unsigned int& updateType) const;

    tagUPDT_VERSION_BUFFER* entries() const { return entries_; }
    int count() const { return count_; }

private:
    tagUPDT_VERSION_BUFFER* entries_ = nullptr;
    int count_ = 0;
};

// directory + "/" (when missing) + "%08x_index.dat"; false, never
// truncated, when it does not fit in the 260-byte buffer.
bool index_path(char (&path)[KALDORN_MAX_PATH], const char* directory, unsigned int productId);
// The same from a 16-bit directory, narrowed unit by unit into 260 bytes first.
bool index_path_wide(char (&path)[KALDORN_MAX_PATH], const unsigned short* directory, unsigned int productId);

}  // namespace kaldorn::detail

// The version text of a version index DAT: decoding into entries, the
// position of a version among them, the plain update list and the reader of
// an installation's current version.
#include "indexdat/versions.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "support/alloc.h"
#include "support/lists_impl.h"
#include "support/path.h"

using namespace kaldorn::detail;

namespace {

// Tokens of the version text and what they record.
constexpr char kDailyToken = '1';
constexpr char kLongTokenLead = '0';
constexpr char kWeeklyToken[] = "0001;";
constexpr char kMonthlyToken[] = "0010;";
constexpr unsigned int kLongTokenSize = 5;

// What the entry of a byte that is no token receives: the exported decoder
// keeps the caller's bytes (its callers zero the array), ours zeroes it.
enum class OtherByte { KeepRecord, ZeroEntry };

tagUPDT_VERSION_BUFFER token_entry(char type, unsigned int updateType, unsigned int series, unsigned int position) {
    tagUPDT_VERSION_BUFFER entry{};
    entry.chType = type;
    entry.stInfo = {series, position, updateType};
    return entry;
}

// Decodes the weekly or monthly token at text[at]; false for anything else
// or a token cut short by the end of the text.
bool decode_long_token(const unsigned char* text, unsigned int size, unsigned int at, unsigned int series,
                       unsigned int position, tagUPDT_VERSION_BUFFER& entry) {
    if (size - at < kLongTokenSize) return false;
    if (std::memcmp(text + at, kWeeklyToken, kLongTokenSize) == 0)
        entry = token_entry('W', KALDORN_UPDATE_WEEKLY, series, position);
    else if (std::memcmp(text + at, kMonthlyToken, kLongTokenSize) == 0)
        entry = token_entry('X', KALDORN_UPDATE_MONTHLY, series, position);
    else
        return false;
    return true;
}

// One pass: a daily token continues its series, a weekly or monthly token
// closes it and the next token starts the next series at position 1. Every
// byte, token or not, advances the position and takes one entry.
bool decode_text(const tagUPDT_BUFFER_DATA& text, tagUPDT_VERSION_BUFFER* entries, unsigned int capacity,
                 unsigned int& count, OtherByte other) {
    const unsigned char* p = text.pData;
    if (p == nullptr && text.dwSize != 0) return false;
    unsigned int at = 0, series = 1, position = 0, n = 0;
    for (; at < text.dwSize && n < capacity; ++at, ++n) {
        ++position;
        tagUPDT_VERSION_BUFFER& entry = entries[n];
        if (p[at] == kDailyToken) {
            entry = token_entry('D', KALDORN_UPDATE_DAILY, series, position);
        } else if (p[at] == kLongTokenLead) {
            if (!decode_long_token(p, text.dwSize, at, series, position, entry)) return false;
            ++series;
            position = 0;
            at += kLongTokenSize - 1;
        } else if (other == OtherByte::ZeroEntry) {
            entry = tagUPDT_VERSION_BUFFER{};
        } else {
            entry.uchFlag = entry.uchSelected = entry.uchReserved = 0;
        }
    }
    count = n;
    return true;
}

// The version without updates lies before the first entry, at monthly level.
bool is_no_update_version(const tagKAL_DORN_DBVERSION_INFO& v) {
    return v.dwMajorVersion == 1 && v.dwMinorVersion == 0;
}

// The current version of one index DAT and the update type of that version.
bool read_current_version(unsigned int productId, const unsigned short* directory, tagKAL_DORN_TYPE_INFO& out) {
    char path[KALDORN_MAX_PATH];
    LoadedIndex index;
    DecodedText decoded;
    int at = 0;
    unsigned int type = 0;
    if (!index_path_wide(path, directory, productId) || !index.load(path) || !decoded.decode(index.info().stBuffer) ||
        !decoded.find(index.current(), at, type))
        return false;
    out = {index.current().dwMajorVersion, index.current().dwMinorVersion, type};
    return true;
}

}  // namespace

namespace kaldorn::detail {

bool LoadedIndex::load(const char* path) {
    if (GetUpdateVersionInfo(path, &info_) == 1) return true;
    info_ = tagUPDT_DAT_VERSION_INFO_MEM{};
    return false;
}

void LoadedIndex::assume_no_updates() {
    ReleaseUpdateVersionInfo(&info_);
    info_ = tagUPDT_DAT_VERSION_INFO_MEM{};
    info_.stFirstVersion = {1, 0};
    info_.stDbVersion = {1, 0};
}

bool DecodedText::decode(const tagUPDT_BUFFER_DATA& text) {
    if (text.dwSize > static_cast<unsigned int>(INT_MAX)) return false;
    std::free(entries_);
    count_ = 0;
    // At most one entry per byte of text. Left unzeroed: every entry the
    // decoder reports is written whole, and the rest is never read.
    entries_ = static_cast<tagUPDT_VERSION_BUFFER*>(allocate(sizeof(tagUPDT_VERSION_BUFFER) * size_t{text.dwSize}));
    unsigned int n = 0;
    if (entries_ == nullptr || !decode_text(text, entries_, text.dwSize, n, OtherByte::ZeroEntry)) return false;
    count_ = static_cast<int>(n);
    return true;
}

bool DecodedText::find(const tagKAL_DORN_DBVERSION_INFO& version, int& index, unsigned int& updateType) const {
    return GetVersionIndex(entries_, static_cast<unsigned int>(count_), &version, &index, &updateType) == 1;
}

bool index_path(char (&path)[KALDORN_MAX_PATH], const char* directory, unsigned int productId) {
    char name[32];
    std::snprintf(name, sizeof name, "%08x_index.dat", productId);
    return join_path(path, sizeof path, directory, name);
}

bool index_path_wide(char (&path)[KALDORN_MAX_PATH], const unsigned short* directory, unsigned int productId) {
    char narrow[KALDORN_MAX_PATH];
    return ConvertToMultiByte(directory, narrow, sizeof narrow) == 1 && index_path(path, narrow, productId);
}

}  // namespace kaldorn::detail

int ConvertDATBufferFormat(const tagUPDT_BUFFER_DATA* text, tagUPDT_VERSION_BUFFER* entries, unsigned int capacity,
                           unsigned int* count) {
    if (text == nullptr || entries == nullptr || count == nullptr || text->dwSize > capacity) return 0;
    unsigned int n = 0;
    if (!decode_text(*text, entries, capacity, n, OtherByte::KeepRecord)) return 0;
    *count = n;
    return 1;
}

int GetVersionIndex(const tagUPDT_VERSION_BUFFER* entries, unsigned int count,
                    const tagKAL_DORN_DBVERSION_INFO* dbVersion, int* index, unsigned int* updateType) {
    if (entries == nullptr || dbVersion == nullptr || index == nullptr || updateType == nullptr) return 0;
    if (is_no_update_version(*dbVersion)) {
        *index = -1;
        *updateType = KALDORN_UPDATE_MONTHLY;
        return 1;
    }
    for (unsigned int i = 0; i < count && i <= static_cast<unsigned int>(INT_MAX); ++i) {
        const tagKAL_DORN_TYPE_INFO& info = entries[i].stInfo;
        if (info.dwMajorVersion == dbVersion->dwMajorVersion && info.dwMinorVersion == dbVersion->dwMinorVersion) {
            *index = static_cast<int>(i);
            *updateType = info.dwUpdateType;
            return 1;
        }
    }
    return 0;
}

int AddToUpdtInfoList(tagKAL_DORN_TYPE_INFO* record, unsigned char flag, tagKAL_DORN_VERSION_LIST** head,
                      tagKAL_DORN_VERSION_LIST** tail) {
    return append_info_node(record, flag, head, tail);
}

int FreeUpdtInfoList(tagKAL_DORN_VERSION_LIST* list) { return free_nodes(list); }

int KalDornFreeDownloadVersionListForPathLocal(tagKAL_DORN_VERSION_LIST* list) {
    if (list == nullptr) return 0;
    return FreeUpdtInfoList(list) != 0 ? 1 : 0;
}

int KalDornFreeDownloadVersionListForInternetLocal(tagKAL_DORN_VERSION_LIST* list) {
    return KalDornFreeDownloadVersionListForPathLocal(list);
}

int KalDornGetCurrentClientVersionForUpdateManagerLocal(unsigned int productId, const unsigned short* directory,
                                                        tagKAL_DORN_VERSION_LIST* node, unsigned int* error) {
    if (directory == nullptr || node == nullptr || error == nullptr) return 0;
    *error = KALDORN_E_NONE;
    tagKAL_DORN_TYPE_INFO current{};
    if (!read_current_version(productId, directory, current)) {
        *error = KALDORN_E_CONVERSION;
        return 0;
    }
    node->uchFlag = 0;
    node->stInfo = current;
    node->pNext = nullptr;
    return 1;
}

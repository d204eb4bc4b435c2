// Helpers shared by the command families: error-code texts, names of index
// and definition files, hex forms of digests and dates, string widths.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "kaldorn/nupdtinf.h"

namespace tool {

std::string meaning(unsigned int code) {
    switch (code) {
        case KALDORN_E_NONE: return "no error";
        case KALDORN_E_NAME_NOT_FOUND: return "the name is not among the definitions";
        case KALDORN_E_ALREADY_PRESENT: return "already present with the same digest and flag";
        case KALDORN_E_OPEN: return "cannot be opened or created, or a path is longer than 259 bytes";
        case KALDORN_E_NO_FILE: return "does not exist";
        case KALDORN_E_NO_DIRECTORY: return "a directory does not exist";
        case KALDORN_E_SHORT_HEAD: return "shorter than a component list head (80 bytes)";
        case KALDORN_E_NO_MEMORY: return "out of memory";
        case KALDORN_E_READ: return "cannot be read in full";
        case KALDORN_E_WRITE: return "cannot be written in full, or a record's name does not fit";
        case KALDORN_E_SEEK: return "a seek failed";
        case KALDORN_E_BAD_HEAD: return "not a valid component list (magic, format, maker name or checksum)";
        case KALDORN_E_RECORD_PAST_END: return "a record runs past the end of the file";
        case KALDORN_E_DIGEST: return "the MD5 digest of a component cannot be computed";
        case KALDORN_E_SOURCE_INDEX: return "the source's index DAT cannot be loaded";
        case KALDORN_E_CLIENT_NEWER: return "the client is newer than the source";
        case KALDORN_E_SAME_VERSION: return "client and source are at the same version";
        case KALDORN_E_BUILD_LIST: return "building the list failed";
        case KALDORN_E_NOTHING_TO_DO: return "nothing to download";
        case KALDORN_E_CONVERSION: return "a directory or the client's index cannot be used, or a solo step failed";
        default: return "unexpected code";
    }
}

std::string version_text(unsigned int major, unsigned int minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}

// Two lower-case hex digits a byte, in memory order.
static std::string hex_bytes(const void* bytes, size_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const auto* b = static_cast<const unsigned char*>(bytes);
    std::string out;
    for (size_t i = 0; i < n; ++i) out += {kDigits[b[i] >> 4], kDigits[b[i] & 15]};
    return out;
}

std::string hex_digest(const unsigned char* d) { return hex_bytes(d, 16); }

std::string date_hex(const tagVXDEFDATE& date) { return hex_bytes(&date, sizeof date); }

std::string definition_file(unsigned int product, unsigned int id) {
    char out[22];
    std::snprintf(out, sizeof out, "%08x_%08x.dat", product, id);
    return out;
}

std::string index_file(const std::string& dir, unsigned int product) {
    char name[32];
    std::snprintf(name, sizeof name, "%08x_index.dat", product);
    return dir + (dir.empty() || dir.back() != '/' ? "/" : "") + name;
}

Json definition_record(const tagSOLO_DEF_MEM_RECORD_INFO& r, unsigned int product) {
    return {{"id", +r.dwDefId},          {"file", definition_file(product, r.dwDefId)},
            {"name", std::string(r.szDefName, strnlen(r.szDefName, sizeof r.szDefName))}, {"date", date_hex(r.stDefDate)},
            {"data", +r.dwDefData},      {"status", +r.dwDefStatus}};
}

Json definition_records(const DefinitionRecords& records, unsigned int product) {
    Json out = Json::array();
    for (const auto& r : records) out.push_back(definition_record(r, product));
    return out;
}

std::vector<unsigned short> widen(const std::string& s) {
    std::vector<unsigned short> w(s.size() + 1);
    ConvertToWideCharEx(s.c_str(), w.data(), static_cast<unsigned int>(w.size()));
    return w;
}

std::string narrow(const unsigned char* units, size_t max_units) {
    std::string s;
    for (size_t i = 0; i < max_units; ++i) {
        unsigned short u;
        std::memcpy(&u, units + 2 * i, 2);
        if (u == 0) break;
        s += static_cast<char>(u);
    }
    return s;
}

}  // namespace tool

// Helpers shared by the command families: error-code texts, names of index
// and definition files, hex forms of digests and dates, numbers, string widths.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <iostream>
#include <iterator>

#include "commands.h"
#include "kaldorn/nupdtinf.h"
#include "support/bytes.h"
#include "support/path.h"

namespace tool {

std::string meaning(unsigned int code) {
    switch (code) {
        case KALDORN_E_NONE: return "no error";
        case KALDORN_E_NAME_NOT_FOUND: return "the name is not among the definitions";
        case KALDORN_E_ALREADY_PRESENT: return "already present with the same digest and flag";
        case KALDORN_E_OPEN: return "cannot be opened or created, or a path is 260 bytes or longer";
        case KALDORN_E_NO_FILE: return "does not exist";
        case KALDORN_E_NO_DIRECTORY: return "a directory does not exist or its path is 260 bytes or longer";
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
    return {{"id", +r.dwDefId},
            {"file", definition_file(product, r.dwDefId)},
            {"name", std::string(r.szDefName, strnlen(r.szDefName, sizeof r.szDefName))},
            {"date", date_hex(r.stDefDate)},
            {"data", +r.dwDefData},
            {"status", +r.dwDefStatus}};
}

unsigned int parse_number(const std::string& text, const std::string& what) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (!digits.empty() && digits.size() <= 10 &&
        digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") == std::string::npos) {
        const unsigned long long v = std::stoull(digits, nullptr, hex ? 16 : 10);
        if (v <= 0xFFFFFFFFull) return static_cast<unsigned int>(v);
    }
    usage(what + " '" + text + "' is not a 32-bit number (decimal, or hex after 0x)");
}

CLI::Option* add_number(CLI::App& cmd, const std::string& name, unsigned int& value, const std::string& help) {
    const std::string shown = name.substr(name.find_first_not_of('-'));
    auto* opt = cmd.add_option(
        name, [&value, shown](const CLI::results_t& r) { return value = parse_number(r.at(0), shown), true; }, help);
    return opt->type_name("NUM")->expected(1);
}

Json definition_records(const DefinitionRecords& records, unsigned int product) {
    Json out = Json::array();
    for (const auto& r : records) out.push_back(definition_record(r, product));
    return out;
}

std::string escaped(const std::string& name) {
    std::string out;
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        out += c < 0x20 || c == 0x7f || c == '\\' ? hex : std::string(1, ch);
    }
    return out;
}

std::string refused_record(const std::string& path, bool component_list) {
    using kaldorn::detail::load_le32;
    using kaldorn::detail::rotate_loaded;
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> b{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // Where the records start, how many there are, the fixed part's size and
    // where in it the stored name length lies.
    size_t pos = 80, count_at = 76, fixed = 40, length_at = 28;
    if (!component_list) {
        if (b.size() < 20) return "";
        pos = 60 + 16 * size_t{load_le32(b.data() + 16)} + 36;
        count_at = pos - 20, fixed = 35, length_at = 19;
    }
    if (count_at + 4 > b.size()) return "";
    const uint32_t count = load_le32(b.data() + count_at);
    for (uint32_t i = 0; i < count && pos + fixed <= b.size(); ++i) {
        unsigned char raw[4];
        for (size_t k = 0; k < 4; ++k) raw[k] = rotate_loaded(b[pos + length_at + k]);
        const size_t n = load_le32(raw);
        if (n == 0 || n > KALDORN_MAX_PATH || pos + fixed + n > b.size()) return "";
        std::string name;
        for (size_t k = 0; k < n && (name.empty() || name.back() != '\0'); ++k)
            name += static_cast<char>(rotate_loaded(b[pos + fixed + k]));
        if (!name.empty() && name.back() == '\0') name.pop_back();
        if (!kaldorn::detail::is_plain_name(name.c_str(), name.size() + 1))
            return "record " + std::to_string(i + 1) + " is named '" + escaped(name) +
                   "', which reaches outside its directory";
        pos += fixed + n;
    }
    return "";
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

std::string directory_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

#ifndef KALDORN_WITH_TRUST  // built without the release checks: no --trust to give
void add_trust_options(CLI::App&, TrustArgs&, const char*) {}
void check_release(const TrustArgs&, const std::string&) {}
void register_release_commands(CLI::App&) {}
#endif

}  // namespace tool

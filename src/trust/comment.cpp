// The trusted comment of a release, its source id rule and its UTC times:
//   kaldorn-release source=ID serial=N expires=YYYY-MM-DDTHH:MM:SSZ
// single spaces, this order, nothing before or after.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "trust/formats.h"

namespace kaldorn::trust {

namespace {

constexpr char kPrefix[] = "kaldorn-release source=";

bool id_byte(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t days_from_civil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = year / 400;
    const int64_t yoe = year - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

// A fixed-width decimal field.
bool digits(const char* text, size_t n, int64_t& value) {
    value = 0;
    for (size_t i = 0; i < n; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

bool parse_decimal(const char* text, size_t n, uint64_t& value) {
    if (n == 0 || n > 20 || (n > 1 && text[0] == '0')) return false;
    value = 0;
    for (size_t i = 0; i < n; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        const auto d = static_cast<uint64_t>(text[i] - '0');
        if (value > (UINT64_MAX - d) / 10) return false;
        value = value * 10 + d;
    }
    return true;
}

bool valid_source_id(const char* id, size_t n) {
    if (n == 0 || n > kSourceIdMax) return false;
    for (size_t i = 0; i < n; ++i)
        if (!id_byte(id[i])) return false;
    return true;
}

bool valid_source_id(const char* id) { return valid_source_id(id, strnlen(id, kSourceIdMax + 1)); }

bool parse_utc_time(const char* text, size_t length, int64_t& seconds) {
    int64_t year, month, day, hour, minute, second;
    if (length != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':' ||
        text[19] != 'Z')
        return false;
    if (!digits(text, 4, year) || !digits(text + 5, 2, month) || !digits(text + 8, 2, day) ||
        !digits(text + 11, 2, hour) || !digits(text + 14, 2, minute) || !digits(text + 17, 2, second))
        return false;
    static const int64_t month_days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > month_days[month - 1] ||
        (month == 2 && day == 29 && !leap) || hour > 23 || minute > 59 || second > 59)
        return false;
    seconds = days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

bool parse_release_comment(const char* text, size_t length, ReleaseComment& comment) {
    const size_t prefix = sizeof kPrefix - 1;
    if (length < prefix || std::memcmp(text, kPrefix, prefix) != 0) return false;
    const char* end = text + length;
    const char* id = text + prefix;
    const char* space = static_cast<const char*>(std::memchr(id, ' ', static_cast<size_t>(end - id)));
    if (space == nullptr || !valid_source_id(id, static_cast<size_t>(space - id))) return false;
    std::memcpy(comment.source, id, static_cast<size_t>(space - id));
    comment.source[space - id] = '\0';
    constexpr char kSerial[] = " serial=";
    if (static_cast<size_t>(end - space) < sizeof kSerial - 1 || std::memcmp(space, kSerial, sizeof kSerial - 1) != 0)
        return false;
    const char* serial = space + sizeof kSerial - 1;
    const char* next = static_cast<const char*>(std::memchr(serial, ' ', static_cast<size_t>(end - serial)));
    if (next == nullptr || !parse_decimal(serial, static_cast<size_t>(next - serial), comment.serial)) return false;
    constexpr char kExpires[] = " expires=";
    if (static_cast<size_t>(end - next) < sizeof kExpires - 1 || std::memcmp(next, kExpires, sizeof kExpires - 1) != 0)
        return false;
    const char* expires = next + sizeof kExpires - 1;
    return parse_utc_time(expires, static_cast<size_t>(end - expires), comment.expires);
}

bool format_release_comment(const ReleaseComment& comment, char* out, size_t cap) {
    char expires[32];
    time_text(comment.expires, expires, sizeof expires);
    int64_t check = 0;
    if (!valid_source_id(comment.source) || !parse_utc_time(expires, std::strlen(expires), check)) return false;
    const int n = std::snprintf(out, cap, "%s%s serial=%" PRIu64 " expires=%s", kPrefix, comment.source,
                                comment.serial, expires);
    return n > 0 && static_cast<size_t>(n) < cap;
}

}  // namespace kaldorn::trust

// SHA256SUMS as sha256sum writes it, each digest line after a "# size N" line that sha256sum -c skips:
//   # size 4096
//   <64 lower-case hex>  <name>          (" *<name>" for binary mode is read too)
//   \<64 hex>  <name with \\, \n, \r>    (coreutils' escaped form)
// LF line ends only; every name a single plain file name, listed once.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/path.h"
#include "trust/formats.h"

namespace kaldorn::trust {

namespace {

constexpr char kSizePrefix[] = "# size ";

int compare_files(const void* a, const void* b) {
    return std::strcmp(static_cast<const KAL_DORN_TRUST_FILE*>(a)->name,
                       static_cast<const KAL_DORN_TRUST_FILE*>(b)->name);
}

// Copies the name of a digest line into out (unescaped when escaped); its length, or -1 for a bad escape.
long take_name(const char* text, size_t n, bool escaped, char* out) {
    size_t used = 0;
    for (size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (escaped && c == '\\') {
            if (++i == n) return -1;
            c = text[i] == '\\' ? '\\' : text[i] == 'n' ? '\n' : text[i] == 'r' ? '\r' : '\0';
            if (c == '\0') return -1;
        }
        out[used++] = c;
    }
    out[used] = '\0';
    return static_cast<long>(used);
}

struct Parser {
    SumsList& list;
    KAL_DORN_TRUST_ERROR* error;
    size_t number = 0;  // line number, from 1
    bool has_size = false;
    uint64_t size = 0;
    char* names_end;

    bool line(const char* text, size_t n) {
        constexpr int bad = KAL_DORN_TRUST_E_SUMS_LINE;
        if (n > kSumsLineMax)
            return refuse(error, bad, "SHA256SUMS line %zu: %zu bytes, over %zu", number, n, kSumsLineMax);
        if (n > 0 && text[n - 1] == '\r')
            return refuse(error, KAL_DORN_TRUST_E_SUMS_CRLF, "SHA256SUMS line %zu ends in CR LF", number);
        if (n > 0 && text[0] == '#') {
            const size_t prefix = sizeof kSizePrefix - 1;
            if (has_size || n <= prefix || std::memcmp(text, kSizePrefix, prefix) != 0 ||
                !parse_decimal(text + prefix, n - prefix, size) || size > INT64_MAX)
                return refuse(error, bad, "SHA256SUMS line %zu: not a size line before a digest line", number);
            has_size = true;
            return true;
        }
        const bool escaped = n > 0 && text[0] == '\\';
        const char* at = text + (escaped ? 1 : 0);
        const size_t rest = n - (escaped ? 1 : 0);
        KAL_DORN_TRUST_FILE& file = list.files[list.count];
        if (rest < 67 || !parse_hex_lower(at, file.sha256, 32) || at[64] != ' ' || (at[65] != ' ' && at[65] != '*'))
            return refuse(error, bad, "SHA256SUMS line %zu: not \"<64 lower-case hex digits>  <name>\"", number);
        if (!has_size) return refuse(error, bad, "SHA256SUMS line %zu: no \"# size\" line before it", number);
        const long length = take_name(at + 66, rest - 66, escaped, names_end);
        if (length <= 0 || static_cast<size_t>(length) > kNameMax ||
            std::memchr(names_end, '\0', static_cast<size_t>(length)) != nullptr ||
            !detail::is_plain_name(names_end, static_cast<size_t>(length))) {
            char shown[2 * kNameMax];
            escape_text(at + 66, rest - 66, shown, sizeof shown);
            return refuse(error, KAL_DORN_TRUST_E_SUMS_NAME, "SHA256SUMS line %zu: \"%s\" is not a single file name",
                          number, shown);
        }
        file.name = names_end, file.size = size;
        names_end += length + 1;
        ++list.count, has_size = false;
        return true;
    }
};

}  // namespace

void free_sums(SumsList& list) {
    std::free(list.files);
    std::free(list.names);
    list = SumsList{};
}

bool parse_sums(const char* data, size_t size, SumsList& list, KAL_DORN_TRUST_ERROR* error) {
    list = SumsList{};
    size_t lines = 0;
    for (size_t i = 0; i < size; ++i) lines += data[i] == '\n' ? 1 : 0;
    list.files =
        static_cast<KAL_DORN_TRUST_FILE*>(detail::allocate_zeroed(lines / 2 + 1, sizeof(KAL_DORN_TRUST_FILE)));
    list.names = static_cast<char*>(detail::allocate(size + 1));
    if (list.files == nullptr || list.names == nullptr) {
        free_sums(list);
        return refuse(error, KAL_DORN_TRUST_E_NO_MEMORY, "no memory for the %zu lines of SHA256SUMS", lines);
    }
    Parser parser{list, error, 0, false, 0, list.names};
    for (size_t at = 0; at < size;) {
        const void* lf = std::memchr(data + at, '\n', size - at);
        ++parser.number;
        // A digest line counts two lines with its size line, so at most lines / 2 entries are stored.
        if (lf == nullptr ||
            !parser.line(data + at, static_cast<size_t>(static_cast<const char*>(lf) - (data + at)))) {
            if (lf == nullptr)
                refuse(error, KAL_DORN_TRUST_E_SUMS_LINE, "SHA256SUMS line %zu has no line end", parser.number);
            free_sums(list);
            return false;
        }
        at = static_cast<size_t>(static_cast<const char*>(lf) - data) + 1;
    }
    if (parser.has_size) {
        free_sums(list);
        return refuse(error, KAL_DORN_TRUST_E_SUMS_LINE, "SHA256SUMS ends after a size line");
    }
    std::qsort(list.files, list.count, sizeof *list.files, compare_files);
    for (size_t i = 1; i < list.count; ++i)
        if (std::strcmp(list.files[i - 1].name, list.files[i].name) == 0) {
            char shown[2 * kNameMax];
            escape_text(list.files[i].name, std::strlen(list.files[i].name), shown, sizeof shown);
            free_sums(list);
            return refuse(error, KAL_DORN_TRUST_E_SUMS_DUPLICATE, "SHA256SUMS lists \"%s\" twice", shown);
        }
    return true;
}

size_t format_sums_entry(const char* name, uint64_t size, const unsigned char sha256[32], char* out) {
    const size_t n = std::strlen(name);
    if (n == 0 || n > kNameMax || !detail::is_plain_name(name, n)) return 0;
    char hex[65];
    hex_lower(sha256, 32, hex);
    const bool escaped = std::memchr(name, '\\', n) != nullptr;
    int used = std::snprintf(out, 128, "%s%" PRIu64 "\n%s%s  ", kSizePrefix, size, escaped ? "\\" : "", hex);
    size_t at = static_cast<size_t>(used);
    for (size_t i = 0; i < n; ++i) {
        if (name[i] == '\\') out[at++] = '\\';
        out[at++] = name[i];
    }
    out[at++] = '\n';
    return at;
}

}  // namespace kaldorn::trust

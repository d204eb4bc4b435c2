// The state a host keeps per source id: the serial and the SHA-256 of SHA256SUMS it last accepted, in
// "release-ID.state" (mode 0600), as five text lines whose last holds the SHA-256 of the four before it:
//   kaldorn release state 1
//   source ID
//   serial N
//   sums <64 hex>
//   check <64 hex>
// A file that fails its check or its grammar is refused, never taken for "no state".

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>

#include "support/path.h"
#include "trust/formats.h"

namespace kaldorn::trust {

namespace {

constexpr char kHead[] = "kaldorn release state 1\n";

// The administrator's reset, for every refusal of a state file.
bool refuse_state(KAL_DORN_TRUST_ERROR* error, int code, const char* what, const char* path, const char* directory,
                  const char* source_id) {
    return refuse(error, code, "state file %s %s; if the release can be trusted again, reset it with "
                  "\"kaldorn release forget --state %s --source-id %s\"", path, what, directory, source_id);
}

// The four lines before the check.
int format_body(const State& state, char* out, size_t cap) {
    char sums[65];
    hex_lower(state.sums_sha256, 32, sums);
    return std::snprintf(out, cap, "%ssource %s\nserial %" PRIu64 "\nsums %s\n", kHead, state.source, state.serial,
                         sums);
}

// The text of one "key value" line at *at, moved past it.
bool field(const char*& at, const char* end, const char* key, const char*& value, size_t& length) {
    const size_t n = std::strlen(key);
    const void* lf = std::memchr(at, '\n', static_cast<size_t>(end - at));
    if (lf == nullptr || static_cast<size_t>(end - at) <= n + 1 || std::memcmp(at, key, n) != 0 || at[n] != ' ')
        return false;
    value = at + n + 1;
    length = static_cast<size_t>(static_cast<const char*>(lf) - value);
    at = static_cast<const char*>(lf) + 1;
    return true;
}

}  // namespace

bool state_path(const char* directory, const char* source_id, char* out, size_t cap) {
    char name[kSourceIdMax + 16];
    std::snprintf(name, sizeof name, "release-%s.state", source_id);
    return valid_source_id(source_id) && detail::join_path(out, cap, directory, name);
}

bool parse_state(const char* data, size_t size, State& state) {
    const char* at = data;
    const char* end = data + size;
    const char *source, *serial, *sums, *check;
    size_t source_n, serial_n, sums_n, check_n;
    const size_t head = sizeof kHead - 1;
    if (size < head || std::memcmp(data, kHead, head) != 0) return false;
    at += head;
    if (!field(at, end, "source", source, source_n) || !field(at, end, "serial", serial, serial_n) ||
        !field(at, end, "sums", sums, sums_n))
        return false;
    const char* body_end = at;
    if (!field(at, end, "check", check, check_n) || at != end || !valid_source_id(source, source_n) || sums_n != 64 ||
        check_n != 64)
        return false;
    unsigned char expected[32], found[32];
    if (!parse_hex_lower(check, expected, 32) || !sha256(data, static_cast<size_t>(body_end - data), found) ||
        std::memcmp(expected, found, 32) != 0)
        return false;
    std::memcpy(state.source, source, source_n);
    state.source[source_n] = '\0';
    return parse_decimal(serial, serial_n, state.serial) &&
           parse_hex_lower(sums, state.sums_sha256, 32);
}

int read_state(const char* directory, const char* source_id, State& state, KAL_DORN_TRUST_ERROR* error) {
    char path[PATH_MAX];
    if (!state_path(directory, source_id, path, sizeof path))
        return refuse(error, KAL_DORN_TRUST_E_ARGUMENT, "the state directory path is too long"), -1;
    detail::HeapPtr<char> data;
    size_t size = 0;
    switch (read_small_file(path, kStateFileMax, data, size)) {
        case ReadResult::ok:
            break;
        case ReadResult::absent:
            return 0;
        case ReadResult::too_large:
            return refuse_state(error, KAL_DORN_TRUST_E_STATE_CORRUPT, "is too large", path, directory, source_id), -1;
        case ReadResult::no_memory:
            return refuse(error, KAL_DORN_TRUST_E_NO_MEMORY, "no memory to read state file %s", path), -1;
        case ReadResult::missing:
            return refuse_state(error, KAL_DORN_TRUST_E_STATE_UNREADABLE, "cannot be read", path, directory,
                                source_id), -1;
    }
    if (!parse_state(data.get(), size, state))
        return refuse_state(error, KAL_DORN_TRUST_E_STATE_CORRUPT, "is damaged or truncated", path, directory,
                            source_id), -1;
    if (std::strcmp(state.source, source_id) != 0) {
        char what[kSourceIdMax + 40];
        std::snprintf(what, sizeof what, "records source id %s", state.source);
        return refuse_state(error, KAL_DORN_TRUST_E_STATE_OTHER, what, path, directory, source_id), -1;
    }
    return 1;
}

bool write_state(const char* directory, const State& state, KAL_DORN_TRUST_ERROR* error) {
    char path[PATH_MAX], text[kStateFileMax];
    if (!state_path(directory, state.source, path, sizeof path))
        return refuse(error, KAL_DORN_TRUST_E_ARGUMENT, "the state directory path is too long");
    const int body = format_body(state, text, sizeof text);
    unsigned char check[32];
    if (body <= 0 || !sha256(text, static_cast<size_t>(body), check))
        return refuse(error, KAL_DORN_TRUST_E_CRYPTO, "cannot compute the check of state file %s", path);
    char hex[65];
    hex_lower(check, 32, hex);
    const int size = body + std::snprintf(text + body, sizeof text - static_cast<size_t>(body), "check %s\n", hex);
    if (!replace_whole_file(path, text, static_cast<size_t>(size), false))
        return refuse(error, KAL_DORN_TRUST_E_STATE_UNWRITABLE, "state file %s cannot be written (errno %d)", path,
                      errno);
    return true;
}

}  // namespace kaldorn::trust

// What the definition index DAT tests share: a three-record file, offsets
// into it, and the checks that a file reads back or was left untouched.
#pragma once

#include <optional>

#include "fixtures.h"
#include "kaldorn/soloindx.h"

namespace {

namespace fs = std::filesystem;
namespace pub = fx::pub;
using fx::Bytes;
using Contents = std::optional<Bytes>;  // no value: no file

// Three records, the second inactive, the third with the longest name (260
// bytes stored) unless `last` is given; two table entries, so the solo header
// lies at kSolo and the second record's name length at kLength.
inline pub::DefinitionIndex three(const std::string& last = std::string(259, 'z')) {
    return {4, 0, 2, {1, 1}, 1, 2, 0, false,
            {{1, {1, 2, 3, 4, 5, 6, 7}, 0, 1, "alpha"}, {2, {}, 9, 0, "beta"}, {3, {0xFF}, 0, 1, last}}};
}
constexpr size_t kSolo = 92, kLength = 169 + 19;
inline const VXDEFDATE kDate{0x01020304, 0x0506, 0x07};

inline Bytes poked(Bytes b, size_t at, uint32_t v, bool stored = false) {
    fx::poke32(b, at, v, stored);
    pub::seal_definition_index(b);
    return b;
}

inline Contents contents(const std::string& p) { return fs::exists(p) ? Contents(fx::read_file(p)) : std::nullopt; }

// The header and every counted record read back.
inline void expect_readable(const std::string& path) {
    tagSOLO_DAT_HEADER_INFO h{};
    tagSOLO_DEF_MEM_RECORD_INFO* recs = nullptr;
    unsigned int count = 0, err = 0;
    EXPECT_TRUE(GetSoloIndexDatHeader(path.c_str(), &h, &err) == 1 &&
                GetDefListFromDatFile(path.c_str(), &recs, &count, &err) == 1 && count == h.dwRecordCount)
        << path;
    ReleaseDefList(recs, count, &err);
}

// A refused call: 0, and the file's bytes (or its absence) and the
// descriptors as they were.
inline void expect_refused(const std::string& path, const std::string& what, const std::function<int()>& call) {
    const Contents before = contents(path);
    const size_t fds = fx::descriptor_count();
    EXPECT_EQ(call(), 0) << what;
    EXPECT_TRUE(fx::descriptor_count() == fds && contents(path) == before) << what;
}

}  // namespace

// Checks shared by the definition index DAT tests: a written file reads
// back, a refused call leaves the file's bytes (or its absence) and the
// descriptor count as they were; the three-record fixture.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "datwriter.h"
#include "kaldorn/soloindx.h"
#include "alloc_faults.h"

namespace defs_test {

inline void expect_readable(const std::string& path) {
    tagSOLO_DAT_HEADER_INFO header{};
    tagSOLO_DEF_MEM_RECORD_INFO* recs = nullptr;
    unsigned int count = 0, err = 0;
    EXPECT_EQ(GetSoloIndexDatHeader(path.c_str(), &header, &err), 1) << path;
    EXPECT_EQ(GetDefListFromDatFile(path.c_str(), &recs, &count, &err), 1) << path;
    EXPECT_EQ(count, +header.dwRecordCount) << path;
    ReleaseDefList(recs, count, &err);
}

inline void expect_refused_untouched(const std::string& path, const std::string& what,
                                     const std::function<int()>& call) {
    std::optional<fixtures::Bytes> before;
    if (std::filesystem::exists(path)) before = fixtures::read_file(path);
    int fds = fixtures::open_descriptor_count();
    EXPECT_EQ(call(), 0) << what;
    EXPECT_EQ(fixtures::open_descriptor_count(), fds) << what;
    EXPECT_EQ(std::filesystem::exists(path) ? std::optional(fixtures::read_file(path)) : std::nullopt, before) << what;
}

// Three records, the second inactive, the third with the longest name (260
// bytes stored), in a file with two table entries.
inline fixtures::DefinitionDat three_records() {
    fixtures::DefinitionDat d;
    d.entries = 2;
    d.dat_version = 1;
    d.last_def_id = 3;
    d.current_def_id = 2;
    d.records = {{1, {1, 2, 3, 4, 5, 6, 7}, 0, 1, "alpha"}, {2, {}, 9, 0, "beta"}, {3, {0xFF}, 0, 1, std::string(259, 'z')}};
    return d;
}

}  // namespace defs_test

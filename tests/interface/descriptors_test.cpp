// Every exported function that opens files, made to fail in each way that
// applies to each path argument: missing, of the wrong type (a file for a
// directory, a directory for a file), garbled (a fixture cut to half its
// length) and unreadable. Each call leaves the process's descriptors exactly
// as they were, gives its documented result, and a failed call changes no file.
#include <unistd.h>

#include <iostream>
#include <sstream>

#include <gtest/gtest.h>

#include "exported_calls.h"

namespace {

using namespace exported;

std::vector<std::string> split(const std::string& s, char by) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string part; std::getline(in, part, by);) out.push_back(part);
    return out;
}

// The argument of `role` broken one way (M missing, T wrong type, G garbled,
// U unreadable), built under dir. Returns the path to pass.
std::string broken(const Installation& inst, char role, char how, const fs::path& dir) {
    const fs::path at = dir / fs::path(default_place(role)).filename();
    if (how == 'M') return (dir / "nowhere" / at.filename()).string();
    if (how == 'T') {
        fs::create_directories(is_directory_role(role) ? dir : at);
        if (is_directory_role(role)) fixtures::write_file(at, {'x'});
        return at.string();
    }
    inst.place(role, at);
    if (how == 'G') {
        std::vector<fs::path> files = {at};
        if (fs::is_directory(at))
            for (const auto& e : fs::recursive_directory_iterator(at)) files.push_back(e.path());
        for (const fs::path& f : files)
            if (fs::is_regular_file(f)) fs::resize_file(f, fs::file_size(f) / 2);
    } else if (fs::exists(at)) {
        fs::permissions(at, fs::perms::none);
    } else {  // an output file: its directory loses its write permission
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    }
    return at.string();
}

TEST(Descriptors, EveryFailingCallClosesWhatItOpenedAndGivesItsDocumentedResult) {
    const bool root = ::geteuid() == 0;
    if (root)
        std::cout << "running as root, which reads files without permission: the unreadable cases are skipped\n";
    for (const Row& row : table()) {
        const std::string roles = row.roles;
        const std::vector<std::string> expected = split(row.broken, '|');
        ASSERT_EQ(expected.size(), roles.size()) << row.name;
        {
            fixtures::TempDir dir(scratch());
            Installation inst(dir.path() / "w");
            unsigned int error = 0;
            EXPECT_EQ(row(inst.paths(row), error), 1) << row.name << " on the intact installation, error " << error;
        }
        for (size_t i = 0; i < roles.size(); ++i) {
            if (roles[i] == 'x') continue;
            std::vector<std::string> outcomes = split(expected[i], ' ');
            if (outcomes.size() == 1) outcomes.assign(4, outcomes[0]);
            ASSERT_EQ(outcomes.size(), 4u) << row.name;
            for (size_t k = 0; k < 4; ++k) {
                const char how = "MTGU"[k];
                if (how == 'U' && root) continue;
                const std::string what = std::string(row.name) + ", argument " + std::to_string(i) + " " + how;
                fixtures::TempDir dir(scratch());
                Installation inst(dir.path() / "w");
                Paths p = inst.paths(row);
                p[i] = broken(inst, roles[i], how, dir.path() / "x");
                const Tree before = snapshot(dir.path());
                const auto fds = open_descriptors();
                unsigned int error = 0;
                const int result = row(p, error);
                EXPECT_EQ(open_descriptors(), fds) << what;
                EXPECT_EQ(outcome(result, error), outcomes[k]) << what;
                if (result == 0) {
                    EXPECT_EQ(changes(before, snapshot(dir.path())), std::vector<std::string>{}) << what;
                }
                for (const fs::path& f : {fs::path(p[i]), dir.path() / "x"})
                    if (fs::exists(f)) fs::permissions(f, fs::perms::owner_all);
            }
        }
    }
}

}  // namespace

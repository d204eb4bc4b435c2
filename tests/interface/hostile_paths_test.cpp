// Hostile paths and names for every exported function that opens files:
// each path argument at every length around the 260-byte path buffers (a
// directory also joined with the names the library puts behind it), as deep
// directories, ending in "/", or with one long last name; definition and
// component names of those lengths or holding "/" and "..". A call gives the
// result it gives on an ordinary path or refuses, and once it refuses a
// length it refuses every longer one; it holds no descriptor afterwards and
// changes no file but those it names for writing. The sanitizer builds catch
// any write past a buffer.
#include <gtest/gtest.h>

#include "exported_calls.h"

namespace {

using namespace exported;

constexpr size_t kLongest = 270;

// Each role from the length whose longest joined path in the library reaches
// 250 characters: directories are joined with index names (18 characters),
// the client also with "engine/00000004_compns.lst", the update directory
// with update file names of up to 36 characters.
size_t shortest(char role) {
    switch (role) {
    case 'c': return 223;
    case 's': case 'r': return 231;
    case 'u': return 213;
    case 'e': return 244;
    default: return 250;
    }
}

// A path of exactly `length` characters below base: 'd' nests 40-character
// directories, '/' does the same and ends in "/", 'w' puts the length into
// the last name. Empty when the last name would exceed what the system allows.
std::string long_path(const fs::path& base, size_t length, char shape) {
    std::string s = base.string();
    const size_t end = shape == '/' ? length - 1 : length;
    while (shape != 'w' && end - s.size() > 50) s += "/" + std::string(39, 'd');
    if (end - s.size() - 1 > 255) return "";
    s += "/" + std::string(end - s.size() - 1, 'n');
    return shape == '/' ? s + "/" : s;
}

// One call and its outcome. No descriptor stays open and nothing under root
// changes but the files the row writes and the directories that hold them;
// what it wrote is put back. tree is root before the call, and after it.
std::string run(const Installation& inst, const Row& row, const Paths& p, const fs::path& root, Tree& tree,
                const std::string& what) {
    const auto fds = open_descriptors();
    unsigned int error = 0;
    const int result = row(p, error);
    EXPECT_EQ(open_descriptors(), fds) << row.name << ", " << what;
    Tree after = snapshot(root);
    bool writes = false;
    for (size_t i = 0; row.roles[i] != '\0'; ++i) writes = writes || is_written(row.roles[i]);
    for (const std::string& changed : changes(tree, after)) {
        bool named = false;
        for (size_t i = 0; row.roles[i] != '\0'; ++i)
            named = named || (is_written(row.roles[i]) && (fs::path(changed) == fs::path(p[i]).lexically_normal() ||
                                                            fs::path(changed) == fs::path(p[i]).parent_path()));
        EXPECT_TRUE(named) << row.name << ", " << what << ": changed " << changed;
    }
    for (size_t i = 0; row.roles[i] != '\0'; ++i)
        if (is_written(row.roles[i])) inst.place(row.roles[i], p[i]);
    tree = writes ? snapshot(root) : std::move(after);
    return outcome(result, error);
}

TEST(HostilePaths, EveryLengthAroundThePathBufferGivesTheOrdinaryResultOrARefusal) {
    fixtures::TempDir dir(scratch());
    const Installation inst(dir.path() / "w");
    Tree tree = snapshot(dir.path());
    std::vector<std::string> ordinary;
    for (const Row& row : table()) ordinary.push_back(run(inst, row, inst.paths(row), dir.path(), tree, "ordinary"));
    for (char role : std::string("csruevdDnlLmkyOGx")) {
        for (char shape : std::string(is_directory_role(role) ? "d/" : role == 'x' ? "w" : "dw")) {
            std::map<std::pair<size_t, size_t>, size_t> refused;  // (row, argument) to the first length refused
            for (size_t length = shortest(role); length <= kLongest; ++length) {
                const fs::path base = dir.path() / "long";
                const std::string at = role == 'x' ? std::string(length, 'q') : long_path(base, length, shape);
                if (at.empty()) continue;
                inst.place(role, at);
                tree = snapshot(dir.path());
                for (size_t r = 0; r < table().size(); ++r) {
                    const Row& row = table()[r];
                    for (size_t i = 0; row.roles[i] != '\0'; ++i) {
                        if (row.roles[i] != role) continue;
                        Paths p = inst.paths(row);
                        p[i] = at;
                        const std::string what = std::string("argument ") + std::to_string(i) + " of " +
                                                 std::to_string(length) + " characters, shape " + shape;
                        const std::string got = run(inst, row, p, dir.path(), tree, what);
                        const auto key = std::make_pair(r, i);
                        if (got == ordinary[r]) {
                            EXPECT_FALSE(refused.count(key)) << row.name << ", " << what << ": accepted after refusing "
                                                             << refused[key] << " characters";
                        } else {
                            EXPECT_EQ(got[0], '0') << row.name << ", " << what;
                            EXPECT_TRUE(role == 'x' || length > shortest(role)) << row.name << ", " << what;
                            refused.emplace(key, length);
                        }
                    }
                }
                fs::remove_all(base);
            }
        }
    }
}

// Names are data: a definition or component record whose name climbs out of
// its directory is read through (verification looks for the file it names),
// but no call writes anywhere but the file it is given. Long names: every
// stored length around the 260-byte name field, and every length that puts
// the engine directory joined with the name around 260.
TEST(HostileNames, RecordNamesWithSeparatorsWriteNothingOutsideTheNamedFiles) {
    std::vector<std::string> names = {"../../../sentinel/victim", "../sentinel", "a/b", "..", ".", "/", "/victim",
                                      "x/../../../../sentinel/victim"};
    const size_t engine = (scratch() / "kaldorn-test-XXXXXX/w/client/engine/").string().size();
    for (size_t length = 250; length <= kLongest; ++length) {
        if (length > engine) names.push_back(std::string(length - engine, 'j'));
        if (length >= 255 && length <= 262) names.push_back(std::string(length, 'n'));
    }
    for (const std::string& name : names) {
        fixtures::TempDir dir(scratch());
        fs::create_directories(dir.path() / "sentinel");
        fixtures::write_file(dir.path() / "sentinel" / "victim", {'v', 'i', 'c', 't', 'i', 'm'});
        const Installation inst(dir.path() / "w", name);
        Tree tree = snapshot(dir.path());
        for (const Row& row : table()) run(inst, row, inst.paths(row), dir.path(), tree, "a record named " + name);
    }
}

}  // namespace

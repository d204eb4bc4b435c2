// Sweeps over every exported function that opens files: broken arguments, hostile path lengths and record names.
// Every call leaves the process's descriptors as they were and changes no file but those it names for writing, none
// when it fails; the sanitizer builds catch any write past a buffer.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <set>
#include <sstream>
#include <tuple>

#include "file_calls.h"
#include "fixtures.h"

namespace {

using namespace calls;

// Memory when the machine offers it and loads libraries from there: the writers flush every file.
fs::path scratch() {
    struct statvfs v{};
    const bool shm = ::access("/dev/shm", W_OK) == 0 && ::statvfs("/dev/shm", &v) == 0 && !(v.f_flag & ST_NOEXEC);
    return shm ? fs::path("/dev/shm") : fs::temp_directory_path();
}

std::vector<std::string> split(const std::string& s, char by) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string part; std::getline(in, part, by);) out.push_back(part);
    return out;
}

// Every entry under root with its type, size, inode and modification time.
using Tree = std::map<std::string, std::tuple<unsigned, long long, unsigned long, long long, long long>>;
Tree snapshot(const fs::path& root) {
    Tree t;
    struct stat s{};
    for (const auto& e : fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied))
        if (::lstat(e.path().c_str(), &s) == 0)
            t[e.path().string()] = {s.st_mode, s.st_size, s.st_ino, s.st_mtim.tv_sec, s.st_mtim.tv_nsec};
    return t;
}

// One call as "result[/error]": no descriptor stays open, nothing under root changes but, on success, the files it
// writes and their directories (put back after). tree: root before the call, then after it.
std::string run(const Installation& inst, const Row& row, const Paths& p, const fs::path& root, Tree& tree) {
    const auto fds = fx::open_descriptors();
    Out o;
    const int result = row(p, o.e, o);
    const std::string got = std::to_string(result) + (o.e == 0 ? "" : "/" + std::to_string(o.e));
    EXPECT_EQ(fx::open_descriptors(), fds) << row.name;
    Tree after = snapshot(root);
    for (const auto& [path, was] : after) tree[path] == was ? (void)tree.erase(path) : (void)tree.emplace(path, was);
    for (const auto& [changed, was] : tree) {
        bool named = false;
        for (size_t i = 0; row.roles[i] != '\0'; ++i) {
            const fs::path at(p[i]);
            named = named || (result == 1 && is_written(row.roles[i]) &&
                              (changed == at.lexically_normal() || changed == at.parent_path()));
        }
        EXPECT_TRUE(named) << row.name << " (" << got << ") changed " << changed;
    }
    for (size_t i = 0; result == 1 && row.roles[i] != '\0'; ++i)
        if (is_written(row.roles[i])) inst.place(row.roles[i], p[i]);
    tree = writes(row) && result == 1 ? snapshot(root) : std::move(after);
    return got;
}

// The argument of `role` broken one way, built under dir: M missing, T of the wrong type (a file for a directory, a
// directory for a file), G garbled (every file cut to half its length), U unreadable (an output file: its directory
// not writable).
std::string broken(const Installation& inst, char role, char how, const fs::path& dir) {
    const fs::path at = dir / fs::path(place_of(role)).filename();
    if (how == 'M') return (dir / "nowhere" / at.filename()).string();
    if (how == 'T') {
        fs::create_directories(is_directory_role(role) ? dir : at);
        if (is_directory_role(role)) pub::write_file(at, {'x'});
        return at.string();
    }
    inst.place(role, at);
    for (auto e = fs::recursive_directory_iterator(fs::is_directory(at) ? at : dir); how == 'G' && e != fs::end(e); ++e)
        if (e->is_regular_file()) fs::resize_file(e->path(), e->file_size() / 2);
    const bool file = fs::exists(at);
    if (how == 'U') fs::permissions(file ? at : dir, file ? fs::perms::none : fs::perms(0500));
    return at.string();
}

TEST(Sweeps, EveryBrokenArgumentGivesTheDocumentedResult) {
    const size_t kinds = ::geteuid() == 0 ? 3 : 4;  // root reads files without permission: no unreadable case
    for (const Row& row : table()) {
        const std::vector<std::string> expected = split(std::string(row.broken, std::strcspn(row.broken, ";")), '|');
        ASSERT_EQ(expected.size(), std::strlen(row.roles)) << row.name;
        for (size_t i = 0; row.roles[i] != '\0'; ++i) {
            std::vector<std::string> outcomes = split(expected[i], ' ');
            if (outcomes.size() == 1) outcomes.assign(4, outcomes[0]);
            for (size_t k = 0; row.roles[i] != 'x' && k < kinds; ++k) {
                SCOPED_TRACE("argument " + std::to_string(i) + " " + "MTGU"[k]);
                fx::TempDir dir(scratch());
                const Installation inst(dir.path() / "w");
                Paths p = inst.paths(row);
                p[i] = broken(inst, row.roles[i], "MTGU"[k], dir.path() / "x");
                Tree tree = snapshot(dir.path());
                EXPECT_EQ(run(inst, row, p, dir.path(), tree), outcomes.at(k)) << row.name;
                for (const fs::path& f : {fs::path(p[i]), dir.path() / "x"})
                    if (fs::exists(f)) fs::permissions(f, fs::perms::owner_all);
            }
        }
    }
}

// Each role from the length whose longest joined path reaches 250 characters: directories join index names (18), the
// client also "engine/00000004_compns.lst", the update directory update file names (up to 36).
size_t shortest(char role) {
    static const size_t lengths[] = {223, 231, 231, 213, 244, 250};
    return lengths[std::min(std::string("csrue").find(role), size_t{5})];
}

// A path of exactly `length` characters below base: 'd' nests 40-character directories, '/' does the same and ends in
// "/", 'w' puts the length into the last name. Empty when the last name would exceed what the system allows.
std::string long_path(const fs::path& base, size_t length, char shape) {
    std::string s = base.string();
    const size_t end = shape == '/' ? length - 1 : length;
    while (shape != 'w' && end - s.size() > 50) s.append("/").append(39, 'd');
    if (end - s.size() - 1 > 255) return "";
    s.append("/").append(end - s.size() - 1, 'n');
    return shape == '/' ? s.append("/") : s;
}

// Every call succeeds on the intact installation; with each path argument at every length around the 260-byte
// buffers, in each shape, it succeeds or refuses (0), and once it refuses, it refuses every longer one.
TEST(Sweeps, EveryLengthAroundThePathBufferGivesTheOrdinaryResultOrARefusal) {
    fx::TempDir dir(scratch());
    const Installation inst(dir.path() / "w");
    Tree tree = snapshot(dir.path());
    for (const Row& row : table()) EXPECT_EQ(run(inst, row, inst.paths(row), dir.path(), tree), "1") << row.name;
    for (char role : std::string("csruevdDnlLmkyOGx")) {
        for (char shape : std::string(is_directory_role(role) ? "d/" : role == 'x' ? "w" : "dw")) {
            std::set<std::pair<size_t, size_t>> refused;  // (row, argument) once refused
            for (size_t length = shortest(role); length <= 270; ++length) {
                const std::string at = role == 'x' ? std::string(length, 'q') : long_path(dir.path() / "l", length,
                                                                                            shape);
                if (at.empty()) continue;
                SCOPED_TRACE(std::to_string(length) + " characters, shape " + shape);
                inst.place(role, at);
                tree = snapshot(dir.path());
                for (size_t r = 0; r < table().size(); ++r) {
                    for (size_t i = 0; table()[r].roles[i] != '\0'; ++i) {
                        if (table()[r].roles[i] != role) continue;
                        Paths p = inst.paths(table()[r]);
                        p[i] = at;
                        const std::string got = run(inst, table()[r], p, dir.path(), tree);
                        if (got == "1") {
                            EXPECT_FALSE(refused.count({r, i})) << table()[r].name << " " << i << ": after a refusal";
                        } else {
                            EXPECT_TRUE(got[0] == '0' && (role == 'x' || length > shortest(role))) << table()[r].name;
                            refused.emplace(r, i);
                        }
                    }
                }
                fs::remove_all(dir.path() / "l");
            }
        }
    }
}

// What a row's call gives for a file holding a record named to reach outside its directory; empty: as for a plain one.
std::string refused(const Row& row) { return std::strchr(row.broken, ';') ? std::strchr(row.broken, ';') + 1 : ""; }

// Records (and a name given to the lookup and append) named to reach outside their directory: the calls reading
// them refuse, the others answer as for a plain name, nothing outside is opened (the sentinel is a FIFO, which would
// block its opener) and the list writers create nothing. Long plain names around the 260-byte field stay data.
TEST(Sweeps, RecordNamesThatReachOutsideAreRefused) {
    std::vector<std::string> names = {"../../../sentinel", "../sentinel", "a/b", "..", ".", "/", "/sentinel", "a\nb",
                                      "\x1f"};
    for (size_t length = 255; length <= 259; ++length) names.push_back(std::string(length, 'n'));
    fx::TempDir plain_dir(scratch());
    const Installation plain(plain_dir.path() / "w", "plain");
    Tree plain_tree = snapshot(plain_dir.path());
    std::vector<std::string> ordinary;
    for (const Row& row : table()) ordinary.push_back(run(plain, row, plain.paths(row), plain_dir.path(), plain_tree));
    for (const std::string& name : names) {
        SCOPED_TRACE("a record named " + name);
        fx::TempDir dir(scratch());
        ASSERT_EQ(::mkfifo((dir.path() / "sentinel").c_str(), 0600), 0);
        const Installation inst(dir.path() / "w", name);
        const bool hostile = name.size() < 255;
        Tree tree = snapshot(dir.path());
        for (size_t r = 0; r < table().size(); ++r) {
            Paths p = inst.paths(table()[r]);
            for (size_t i = 0; table()[r].roles[i] != '\0'; ++i)
                if (table()[r].roles[i] == 'x') p[i] = name;
            const std::string got = run(inst, table()[r], p, dir.path(), tree);
            const std::string want = refused(table()[r]).empty() ? ordinary[r] : refused(table()[r]);
            EXPECT_TRUE(!hostile || got == want) << table()[r].name << ": " << got;
        }
        const std::string out = inst.path('O');
        Out o;
        std::snprintf(o.rec.szFileName, sizeof o.rec.szFileName, "%s", name.c_str());
        o.rec.dwNameLength = U(name.size() + 1);
        EXPECT_TRUE(DumpRecordsToCompnLstFile(out.c_str(), &o.rec, 1, 0, nullptr, &o.e) == !hostile &&
                    o.e == (hostile ? 14u : 0u));
        if (name == "." || name == "..") {
            const std::string component = (dir.path() / "w/client/engine" / name).string();
            EXPECT_TRUE(AddEntrytoCompnLstFile(component.c_str(), 1, 0, out.c_str(), &o.n, &o.e) == 0 && o.e == 14);
        }
        EXPECT_EQ(fs::exists(out), !hostile);
    }
}

}  // namespace

// The list templates, the width conversion, path joining, the engine directory lookup and the logger.
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "fixtures.h"
#include "kaldorn/support.h"
#include "kaldorn/vxlog.h"
#include "support/alloc.h"

namespace {

using FileList = tagKAL_DORN_FILE_INFO_LISTA;

// Nodes copy the record (the link reset) and the flag, behind the tail; a failed allocation or a null record leaves
// the list as it was. (The exported free functions: the C host.)
TEST(Lists, AppendCopiesAndAFailureLeavesTheList) {
    FileList *head = nullptr, *tail = nullptr, image{};
    for (unsigned int kind : {3u, 4u})
        image.dwKind = kind, image.pNext = &image, AddToUpdtFileInfoList(&image, &head, &tail);
    kaldorn::testing::fail_allocation(1);
    EXPECT_EQ(AddToUpdtFileInfoList(&image, &head, &tail), 0);
    kaldorn::testing::fail_allocation(0);
    EXPECT_EQ(AddToUpdtFileInfoList<FileList>(nullptr, &head, &tail), 0);
    EXPECT_TRUE(head->pNext == tail && tail->pNext == nullptr && head->dwKind == 3 && tail->dwKind == 4);
    EXPECT_EQ(FreeUpdtInfoListEx(head), 1);
    EXPECT_EQ(FreeUpdtInfoListEx<FileList>(nullptr), 0);
    tagKAL_DORN_VERSION_LISTEXA *first = nullptr, *last = nullptr;
    tagKAL_DORN_TYPE_INFOEXA rec{};
    rec.dwMajorVersion = 7;
    EXPECT_EQ(AddToUpdtInfoListEx(&rec, 2, &first, &last), 1);
    EXPECT_TRUE(first == last && first->pNext == nullptr && first->uchFlag == 2 && first->stInfo.dwMajorVersion == 7);
    FreeUpdtInfoListEx(first);
}

// Bytes widen by sign extension and units narrow to their low byte; a source of capacity - 1 characters fits, a
// longer one is refused and nothing is written, canaries past the capacity included.
TEST(WideChar, SignExtensionLowBytesAndCapacity) {
    const unsigned short wide[] = {0x01, 0x7F, 0xFF80, 0xFFE9, 0xFFFF, 0x0141, 0x20AC, 0x00E9, 0};
    unsigned short w[9] = {};
    char narrow[9] = {};
    ASSERT_EQ(ConvertToWideCharEx("\x01\x7F\x80\xE9\xFF\x41\xAC\xE9", w, 9), 1);
    EXPECT_EQ(std::memcmp(w, wide, 10), 0);
    ASSERT_EQ(ConvertToMultiByte(wide, narrow, 9), 1);
    EXPECT_EQ(std::memcmp(narrow, "\x01\x7F\x80\xE9\xFF\x41\xAC\xE9", 9), 0);
    for (unsigned int cap : {1u, 2u, 260u}) {
        for (size_t length : {size_t{0}, size_t{cap} - 1, size_t{cap}, size_t{cap} + 500}) {
            SCOPED_TRACE(std::to_string(cap) + " " + std::to_string(length));
            std::vector<unsigned short> source(length + 1, 0xFFE9), wout(cap + 8, 0xAAAA);
            std::vector<char> cout(cap + 8, '\x55');
            source[length] = 0;
            const int fits = length < cap ? 1 : 0;
            EXPECT_EQ(ConvertToWideCharEx(std::string(length, '\xE9').c_str(), wout.data(), cap), fits);
            EXPECT_EQ(ConvertToMultiByte(source.data(), cout.data(), cap), fits);
            EXPECT_TRUE(!fits || (wout[length] == 0 && (length == 0 || wout[0] == 0xFFE9)));
            EXPECT_TRUE(!fits || cout[length] == 0);
            for (size_t i = fits ? length + 1 : 0; i < wout.size(); ++i) {
                ASSERT_EQ(wout[i], 0xAAAA) << i;
                ASSERT_EQ(cout[i], '\x55') << i;
            }
        }
    }
    EXPECT_EACH_EQ(0, ConvertToWideCharEx(nullptr, w, 2), ConvertToWideCharEx("a", nullptr, 2),
                   ConvertToMultiByte(nullptr, narrow, 2), ConvertToMultiByte(wide, nullptr, 2));
    EXPECT_EQ(w[0], 1);
}

// Joins with exactly one "/"; refuses, with an empty string, what does not fit the capacity with its NUL.
TEST(MakeFilePath, JoinsWithOneSlashAndRefusesWhatDoesNotFit) {
    const std::string huge(5000, 'x');
    const struct {
        const char *dir, *name;
        unsigned int cap;
        const char* expected;  // null: refused
    } cases[] = {{"/opt/prod", "4.dat", 260, "/opt/prod/4.dat"}, {"/opt/prod/", "4.dat", 260, "/opt/prod/4.dat"},
                 {"/", "a.dat", 260, "/a.dat"}, {"", "a.dat", 260, "/a.dat"}, {"dir", "a.dat", 10, "dir/a.dat"},
                 {"dir/", "a.dat", 10, "dir/a.dat"}, {"dir", "a.dat", 9, nullptr}, {"dir", "a.dat", 0, nullptr},
                 {huge.c_str(), "a", 260, nullptr}};
    for (const auto& c : cases) {
        char out[300];
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(MakeFilePath(c.dir, c.name, out, c.cap), c.expected != nullptr ? 1 : 0) << c.dir << " " << c.cap;
        EXPECT_TRUE(c.cap == 0 || std::string(out) == (c.expected ? c.expected : "")) << c.dir << " " << c.cap;
        EXPECT_EQ(out[c.cap], 'x') << "nothing written past the capacity";
    }
    char out[260];
    EXPECT_EACH_EQ(0, MakeFilePath(nullptr, "a", out, 260), MakeFilePath("d", nullptr, out, 260),
                   MakeFilePath("d", "a", nullptr, 260));
}

bool sibling_mapped() {
    std::stringstream maps;
    maps << std::ifstream("/proc/self/maps").rdbuf();
    return maps.str().find("orlenmap.dll") != std::string::npos;
}

// The sibling absent, incomplete, failing or answering; no descriptor and no mapping outlive a lookup.
TEST(EngineLocation, EverySiblingContract) {
    const std::string e(258, 'e');
    const char* built = KALDORN_SIBLING;
    const struct {
        const char* built;     // null: no sibling
        std::string location;  // contents of orlenmap.loc
        int result;
        unsigned int error;    // 77: untouched
        std::string engine;    // "=" + text: relative to the client directory
    } cases[] = {{nullptr, "", 0, 77, ""}, {KALDORN_SIBLING_NO_EXPORT, "", 0, 77, ""},
                 {KALDORN_SIBLING_FAILS, "", 0, 4242, ""}, {built, "/opt/engine/3.1\n", 1, 0, "/opt/engine/3.1"},
                 {built, "engine  \r\n", 1, 0, "=engine"}, {built, "", 0, 2, ""} /* no location file */,
                 {built, "\n", 0, 3, ""}, {built, "/" + e + "e", 0, 4, ""}, {built, "/" + e, 1, 0, "/" + e}};
    for (const auto& c : cases) {
        fx::TempDir client;
        if (c.built != nullptr) fx::install_sibling(client.path(), c.built, c.location);
        char engine[260];
        std::memset(engine, 0x5A, sizeof engine);
        unsigned int error = 77;
        const size_t fds = fx::descriptor_count();
        EXPECT_EQ(GetCurrentEngineLocation(client.str().c_str(), 0, engine, 260, &error), c.result) << c.location;
        EXPECT_EQ(error, c.error) << c.location;
        const std::string want = c.engine[0] == '=' ? client.str() + "/" + c.engine.substr(1) : c.engine;
        EXPECT_TRUE(c.result == 1 ? engine == want : c.error != 77 || engine[0] == 0x5A) << c.location;
        EXPECT_TRUE(fx::descriptor_count() == fds && !sibling_mapped()) << c.location;
    }
    char engine[260];
    unsigned int error = 77;
    EXPECT_EACH_EQ(0, GetCurrentEngineLocation(nullptr, 0, engine, 260, &error),
                   GetCurrentEngineLocation("/tmp", 0, nullptr, 260, &error),
                   GetCurrentEngineLocation("/tmp", 0, engine, 260, nullptr),
                   GetCurrentEngineLocation(std::string(250, 'd').c_str(), 0, engine, 260, &error));  // too long
    EXPECT_EQ(error, 77u);
    // The loader wrappers refuse nulls without consulting the loader.
    void* self = VXLoadLibrary(built);
    ASSERT_NE(self, nullptr);
    EXPECT_NE(VXGetProcAddress(self, "GetEngnMapCurrentEngineLocation"), nullptr);
    EXPECT_EQ(VXGetProcAddress(self, nullptr), nullptr);
    EXPECT_EQ(VXLoadLibrary(nullptr), nullptr);
    EXPECT_EQ(VXGetProcAddress(nullptr, "GetEngnMapCurrentEngineLocation"), nullptr);
    VXFreeLibrary(self);
    VXFreeLibrary(nullptr);
    EXPECT_FALSE(sibling_mapped());
}

// Each line: prefix ("UNKNOWN" when none; cut to 259 bytes), one blank, the message cut to 1023 characters, CR LF;
// appended behind what the file held. A write failing at each point in turn: the old lines stay, the new one is
// incomplete and no descriptor stays open. A null format writes nothing (a missing directory and a path too long for
// the member: the sweeps).
TEST(Logger, LinesAndFailures) {
    const std::string p(259, 'p'), pq = p + "q", x(1023, 'x');
    const struct {
        const char* prefix;
        std::string before, message, after;
    } cases[] = {{"Setup", "", "hello", "Setup hello\r\n"}, {nullptr, "old\n", "n=1", "old\nUNKNOWN n=1\r\n"},
                 {"P", "", x + "yy", "P " + x + "\r\n"}, {"", "", "", " \r\n"}, {pq.c_str(), "", "m", p + " m\r\n"}};
    for (const auto& c : cases) {
        fx::TempDir dir;
        if (!c.before.empty()) fx::write_file(dir.file("a.log"), c.before);
        CVXLogger log(dir.file("a.log").c_str(), std::string(500, 'm').c_str(), c.prefix);
        log.WriteToLog(7, "%s", c.message.c_str());
        log.WriteToLog(8, "%s", c.message.c_str());
        EXPECT_EQ(fx::text(dir.file("a.log")), c.after + c.after.substr(c.before.size())) << c.after.substr(0, 20);
        EXPECT_TRUE(!c.before.empty() || fx::fs::status(dir.file("a.log")).permissions() == fx::fs::perms(0600));
    }
    fx::TempDir dir;
    const std::string old = "old\r\n", whole = old + "P m\r\n";
    size_t fds = 0;
    const auto call = [&] {
        fx::write_file(dir.file("a.log"), old);
        fds = fx::descriptor_count();
        CVXLogger(dir.file("a.log").c_str(), nullptr, "P").WriteToLog(0, "m");
        return 0;
    };
    fx::until_through(kaldorn::testing::fail_write, call, [&](long, int) {
        const std::string now = fx::text(dir.file("a.log"));
        EXPECT_EQ(fx::descriptor_count(), fds);
        EXPECT_TRUE(now == whole || (now.size() < whole.size() && now.compare(0, old.size(), old) == 0)) << now;
        return now == whole;
    });
    fx::fs::remove(dir.file("a.log"));
    CVXLogger(dir.file("a.log").c_str(), nullptr, "P").WriteToLog(0, nullptr);
    EXPECT_TRUE(fx::fs::is_empty(dir.path()));
}

// Four processes log 250 lines each into one file at once: every line arrives whole, none overwritten.
TEST(Logger, ProcessesLoggingAtOnceKeepEveryLineWhole) {
    fx::TempDir dir;
    std::vector<pid_t> children;
    for (int k = 0; k < 4; ++k) {
        const pid_t child = ::fork();
        if (child == 0) {
            CVXLogger log(dir.file("a.log").c_str(), nullptr, "P");
            for (int i = 0; i < 250; ++i) log.WriteToLog(0, "%d %s", k, std::string(1000, char('a' + k)).c_str());
            ::_exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) ::waitpid(child, nullptr, 0);
    std::map<std::string, int> lines;  // each line and how often it came
    std::istringstream in(fx::text(dir.file("a.log")));
    for (std::string line; std::getline(in, line);) ++lines[line];
    EXPECT_EQ(lines.size(), 4u);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(lines["P " + std::to_string(k) + " " + std::string(1000, char('a' + k)) + "\r"], 250) << k;
}

}  // namespace

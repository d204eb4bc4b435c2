// The engine directory lookup through the sibling library: every way the
// sibling can be absent, incomplete, failing or answering, and that no
// handle on it stays mapped after a lookup.
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "datwriter.h"
#include "kaldorn/support.h"
#include "solowriter.h"

namespace {

std::string mapped_objects() {
    std::ifstream maps("/proc/self/maps");
    std::stringstream all;
    all << maps.rdbuf();
    return all.str();
}

bool sibling_mapped() { return mapped_objects().find("orlenmap.dll") != std::string::npos; }

// Joins with exactly one "/"; refuses, with an empty string, what does not
// fit the capacity with its NUL, and never writes past the capacity.
TEST(MakeFilePath, JoinsWithOneSlashAndRefusesWhatDoesNotFit) {
    const std::string huge(5000, 'x');
    const struct {
        const char* dir;
        const char* name;
        unsigned int cap;
        const char* expected;  // null: refused
    } cases[] = {
        {"/opt/prod", "00000004_index.dat", 260, "/opt/prod/00000004_index.dat"},
        {"/opt/prod/", "00000004_index.dat", 260, "/opt/prod/00000004_index.dat"},
        {"/", "a.dat", 260, "/a.dat"},
        {"", "a.dat", 260, "/a.dat"},
        {"dir", "a.dat", 10, "dir/a.dat"},
        {"dir/", "a.dat", 10, "dir/a.dat"},
        {"dir", "a.dat", 9, nullptr},
        {"dir", "a.dat", 0, nullptr},
        {huge.c_str(), "a", 260, nullptr},
    };
    for (const auto& c : cases) {
        char out[300];
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(MakeFilePath(c.dir, c.name, out, c.cap), c.expected != nullptr ? 1 : 0) << c.dir << " " << c.cap;
        if (c.cap != 0) {
            EXPECT_STREQ(out, c.expected != nullptr ? c.expected : "") << c.dir << " " << c.cap;
        }
        EXPECT_EQ(out[c.cap], 'x') << "nothing written past the capacity";
    }
    char out[260];
    EXPECT_EQ(MakeFilePath(nullptr, "a", out, 260) + MakeFilePath("d", nullptr, out, 260) +
                  MakeFilePath("d", "a", nullptr, 260),
              0);
}

TEST(LoaderWrappers, RefuseNullArgumentsWithoutConsultingTheLoader) {
    EXPECT_EQ(VXLoadLibrary(nullptr), nullptr);
    EXPECT_EQ(VXGetProcAddress(nullptr, "GetEngnMapCurrentEngineLocation"), nullptr);
    void* self = VXLoadLibrary(KALDORN_SIBLING);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(VXGetProcAddress(self, nullptr), nullptr);
    EXPECT_NE(VXGetProcAddress(self, "GetEngnMapCurrentEngineLocation"), nullptr);
    VXFreeLibrary(self);
    VXFreeLibrary(nullptr);
    EXPECT_FALSE(sibling_mapped());
}

// Which sibling lies in the client directory, and what the lookup gives.
struct SiblingCase {
    const char* what;
    const char* built;     // null: no sibling
    std::string location;  // contents of orlenmap.loc
    int result;
    unsigned int error;    // 77: untouched
    std::string engine;    // expected destination ("=" + text: relative to the client directory)
};

TEST(EngineLocation, EverySiblingContract) {
    const SiblingCase cases[] = {
        {"no sibling", nullptr, "", 0, 77, ""},
        {"sibling without the export", KALDORN_SIBLING_NO_EXPORT, "", 0, 77, ""},
        {"export fails with its own code", KALDORN_SIBLING_FAILS, "", 0, 4242, ""},
        {"absolute location", KALDORN_SIBLING, "/opt/engine/3.1\n", 1, 0, "/opt/engine/3.1"},
        {"relative location, trailing blanks", KALDORN_SIBLING, "engine  \r\n", 1, 0, "=engine"},
        {"location file missing", KALDORN_SIBLING, "", 0, 2, ""},
        {"empty location", KALDORN_SIBLING, "\n", 0, 3, ""},
        {"location longer than the capacity", KALDORN_SIBLING, std::string("/").append(259, 'e'), 0, 4, ""},
        {"location that just fits", KALDORN_SIBLING, std::string("/").append(258, 'e'), 1, 0, std::string("/").append(258, 'e')},
    };
    for (const SiblingCase& c : cases) {
        fixtures::TempDir client;
        if (c.built != nullptr) fixtures::install_sibling(client.path(), c.built, c.location);
        char engine[260];
        std::memset(engine, 0x5A, sizeof engine);
        unsigned int error = 77;
        int fds = fixtures::open_descriptor_count();
        EXPECT_EQ(GetCurrentEngineLocation(client.str().c_str(), 0, engine, sizeof engine, &error), c.result)
            << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        if (c.result == 1) {
            std::string expected = c.engine[0] == '=' ? client.str() + "/" + c.engine.substr(1) : c.engine;
            EXPECT_EQ(std::string(engine), expected) << c.what;
        } else if (c.built == nullptr || c.error == 77) {
            EXPECT_EQ(engine[0], 0x5A) << c.what << ": destination untouched";
        }
        EXPECT_EQ(fixtures::open_descriptor_count(), fds) << c.what;
        EXPECT_FALSE(sibling_mapped()) << c.what << ": the sibling stays loaded";
    }
    char engine[260];
    unsigned int error = 77;
    EXPECT_EQ(GetCurrentEngineLocation(nullptr, 0, engine, 260, &error) +
                  GetCurrentEngineLocation("/tmp", 0, nullptr, 260, &error) +
                  GetCurrentEngineLocation("/tmp", 0, engine, 260, nullptr),
              0);
    EXPECT_EQ(error, 77u);
    // A client directory too long to name the sibling in 260 bytes.
    EXPECT_EQ(GetCurrentEngineLocation(std::string(250, 'd').c_str(), 0, engine, 260, &error), 0);
    EXPECT_EQ(error, 77u);
}

}  // namespace

// Signed releases against the real minisign and sha256sum, a table of attacks and malformed files, the accessors
// against the files, the state file under failed allocations and a kill at every write.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "fixtures.h"
#include "kaldorn/trust.h"
#include "support/ring.h"
#include "trust/writer.h"

namespace {

namespace tr = kaldorn::trust;
namespace fs = std::filesystem;
using fx::Bytes;

const int64_t kNow = 1800000000;
const std::string kSums = "SHA256SUMS", kSig = "SHA256SUMS.minisig";

using fx::text;
int run(const std::string& command) { return WEXITSTATUS(std::system((command + " >/dev/null 2>&1").c_str())); }
std::string comment(uint64_t serial, const std::string& id = "main", int64_t expires = kNow + 3600) {
    tr::ReleaseComment c{{}, serial, expires};
    std::snprintf(c.source, sizeof c.source, "%s", id.c_str());
    char out[256];
    return tr::format_release_comment(c, out, sizeof out) ? out : "";
}

// A source (index DATs, a list, update files, a name with a backslash), its keys and a state directory.
struct Release : ::testing::Test {
    fx::TempDir dir;
    fs::path src = dir.path() / "source", state = dir.path() / "state", pub = dir.path() / "k.pub";
    tr::SecretKey key{};
    void SetUp() override {
        fx::write_version_index(src, 1, fx::kExampleText, 8, 2);
        fx::write_update_files(src, 1, "1101;");
        fx::write_engine(src, 4, {{"patterns.main", "main\n"}, {"back\\slash", "b\n"}});
        fs::create_directories(state);
        ASSERT_TRUE(tr::generate_keys(pub.c_str(), dir.file("k.sec").c_str(), nullptr, 0, nullptr));
        ASSERT_TRUE(tr::load_secret_key(dir.file("k.sec").c_str(), nullptr, 0, key, nullptr));
        sign(5);
    }
    void sign(uint64_t serial, const std::string& id = "main", int64_t expires = kNow + 3600, bool sums = true) {
        tr::ReleaseComment c{{}, serial, expires};
        std::snprintf(c.source, sizeof c.source, "%s", id.c_str());
        ASSERT_TRUE(!sums || tr::write_sums(src.c_str(), nullptr));
        ASSERT_TRUE(tr::sign_sums(src.c_str(), key, c, nullptr));
    }
    void sign_text(const std::string& sums) { fx::write_file(src / kSums, sums), sign(6, "main", kNow + 3600, false); }
    // The code of opening the release (0: opened), the release closed again.
    int open(std::vector<std::string> keys = {}, const std::string& id = "main", int64_t now = kNow,
             KAL_DORN_TRUST_RELEASE** kept = nullptr) {
        if (keys.empty()) keys = {pub.string()};
        std::vector<const char*> k;
        for (const auto& s : keys) k.push_back(s.c_str());
        KAL_DORN_TRUST_RELEASE* r = nullptr;
        const char* s = state.c_str();
        const int ok = KalDornTrustOpenRelease(src.c_str(), k.data(), k.size(), id.c_str(), now, s, &r, &last);
        EXPECT_EQ(ok == 1, r != nullptr) << last.message;
        kept != nullptr ? void(*kept = r) : KalDornTrustCloseRelease(r);
        return ok == 1 ? 0 : last.code;
    }
    KAL_DORN_TRUST_ERROR last{};
    std::string state_file() const { return (state / "release-main.state").string(); }
    void poke(const fs::path& p, size_t at, char c) {
        std::string t = text(p);
        t.at(at) = c;
        fx::write_file(p, t);
    }
};

TEST_F(Release, InteroperatesWithMinisignAndSha256sum) {
    if (run("minisign -v") != 0) GTEST_SKIP() << "minisign not installed";
    const std::string in = "cd " + src.string() + " && ";
    EXPECT_EQ(run(in + "minisign -V -p " + pub.string() + " -m SHA256SUMS"), 0);
    EXPECT_EQ(run(in + "sha256sum -c --strict SHA256SUMS"), 0);
    // minisign's own keys: -W, and encrypted with a passphrase on standard input; its "ED" and legacy "Ed".
    const std::string mk = "cd " + dir.str() + " && minisign -G -p m.pub -s m.sec ";
    ASSERT_EQ(run(mk + "-W"), 0);
    ASSERT_EQ(run("cd " + dir.str() + " && printf 'pw\\npw\\n' | minisign -G -p e.pub -s e.sec"), 0);
    for (const std::string legacy : {"", " -l"}) {
        ASSERT_EQ(run(in + "minisign -S -s ../m.sec -m SHA256SUMS -t '" + comment(6) + "'" + legacy), 0);
        KAL_DORN_TRUST_RELEASE* r = nullptr;
        ASSERT_EQ(open({dir.file("m.pub")}, "main", kNow, &r), 0) << legacy;
        const std::string printed = text(dir.file("m.pub")).substr(39, text(dir.file("m.pub")).find('\n') - 39);
        EXPECT_EQ(std::stoull(KalDornTrustReleaseKeyId(r), nullptr, 16), std::stoull(printed, nullptr, 16));
        KalDornTrustCloseRelease(r);
    }
    ASSERT_TRUE(tr::load_secret_key(dir.file("m.sec").c_str(), nullptr, 0, key, nullptr));
    sign(7);
    EXPECT_EQ(run(in + "minisign -V -p ../m.pub -m SHA256SUMS"), 0);
    EXPECT_TRUE(tr::load_secret_key(dir.file("e.sec").c_str(), "pw", 2, key, nullptr));
    // Our encrypted key (scrypt at N = 2^14, r = 8, p = 2 from these limits), decrypted by minisign to sign.
    ASSERT_TRUE(tr::generate_keys(dir.file("o.pub").c_str(), dir.file("o.sec").c_str(), "secret", 6, nullptr, 1 << 20,
                                  1 << 24));
    KAL_DORN_TRUST_ERROR e{};
    EXPECT_FALSE(tr::load_secret_key(dir.file("o.sec").c_str(), "secreT", 6, key, &e));
    EXPECT_EQ(e.code, tr::kWrongPassphrase);
    ASSERT_EQ(run(in + "printf 'secret\\n' | minisign -S -s ../o.sec -m SHA256SUMS -t '" + comment(8) + "'"), 0);
    EXPECT_EQ(open({pub.string(), dir.file("o.pub")}), 0);
}

TEST_F(Release, AccessorsMatchTheFiles) {
    KAL_DORN_TRUST_RELEASE* r = nullptr;
    const std::string key_text = text(pub).substr(text(pub).find('\n') + 1, 56);
    ASSERT_EQ(open({key_text}, "main", kNow, &r), 0);
    EXPECT_EQ(KalDornTrustReleaseSerial(r), 5u);
    EXPECT_EQ(KalDornTrustReleaseExpires(r), kNow + 3600);
    EXPECT_STREQ(KalDornTrustReleaseSourceId(r), "main");
    size_t listed = 0;
    for (const auto& e : fs::directory_iterator(src)) listed += e.path().filename().string().find(kSums) != 0;
    ASSERT_EQ(KalDornTrustReleaseFileCount(r), listed);
    const int input = ::dup(0);  // no standard input: a checked file opens as descriptor 0
    ::close(0);
    for (size_t i = 0; i < listed; ++i) {
        KAL_DORN_TRUST_FILE f{}, found{};
        ASSERT_EQ(KalDornTrustReleaseFile(r, i, &f), 1);
        EXPECT_EQ(f.size, fs::file_size(src / f.name)) << f.name;
        EXPECT_EQ(KalDornTrustReleaseFindFile(r, f.name, &found), 1) << f.name;
        EXPECT_EQ(KalDornTrustCheckFile(r, f.name, (src / f.name).c_str(), nullptr), 1) << f.name;
    }
    ::dup2(input, 0), ::close(input);
    // The whole directory at once reports each file found, in the release's order; an absent one is skipped, a
    // changed one fails the call with its digest.
    std::vector<std::string> seen;
    const KAL_DORN_TRUST_REPORT note = [](void* c, const char* name, const KAL_DORN_TRUST_ERROR* outcome) {
        static_cast<std::vector<std::string>*>(c)->push_back(name + std::to_string(outcome->code));
    };
    size_t checked = 0;
    EXPECT_EQ(KalDornTrustCheckDirectory(r, src.c_str(), note, &seen, &checked, &last), 1);
    EXPECT_EQ(checked, listed);
    fs::remove(src / "00000004_compns.lst");
    poke(src / "00000001_index.dat", 30, 'x');
    poke(src / "patterns.main", 0, 'x');
    seen.clear();
    EXPECT_EQ(KalDornTrustCheckDirectory(r, src.c_str(), note, &seen, &checked, &last), 0);
    EXPECT_EQ(last.code, KAL_DORN_TRUST_E_DIGEST);
    EXPECT_NE(std::string(last.message).find("/00000001_index.dat has"), std::string::npos) << last.message;
    EXPECT_EQ(checked, listed - 1);
    EXPECT_EQ(seen.at(0), "00000001_index.dat32");
    KalDornTrustCloseRelease(r);
}

// SHA-256 through the lane reader, by calls and through the ring (its rounds refused in turn), against libcrypto's
// one-shot digest: files around every block and read boundary, one absent, one a directory.
TEST(ReleaseDigests, EveryWayOfReadingGivesLibcryptosDigest) {
    fx::TempDir dir;
    std::vector<std::string> names;
    const size_t sizes[] = {0, 1, 63, 64, 65, 4096, 65535, 65536, 65537, 200000};
    for (unsigned i = 0; i < 20; ++i) {  // more files than lanes: the ring is used
        names.push_back(std::string("f").append(std::to_string(i)));
        fx::write_file(dir.file(names.back()), fx::random_bytes(sizes[i % 10], i));
    }
    fs::create_directory(dir.file("d"));
    names.insert(names.end(), {"absent", "d"});
    std::vector<const char*> given;
    for (const auto& n : names) given.push_back(n.c_str());
    const int at = ::open(dir.str().c_str(), O_RDONLY | O_DIRECTORY);
    for (long refused : {0, 1, 2}) {
        for (auto io : {kaldorn::detail::FileIo::calls, kaldorn::detail::FileIo::ring}) {
            kaldorn::testing::refuse_ring_round(refused);
            std::vector<tr::FileDigest> out(names.size());
            ASSERT_TRUE(tr::sha256_files(at, given.data(), nullptr, given.size(), out.data(), io));
            kaldorn::testing::refuse_ring_round(0);
            for (size_t i = 0; i + 2 < names.size(); ++i) {
                const Bytes b = fx::read_file(dir.file(names[i]));
                unsigned char want[32];
                ASSERT_TRUE(tr::sha256(b.data(), b.size(), want));
                EXPECT_EQ(std::memcmp(out[i].sha256, want, 32), 0) << names[i] << " refused " << refused;
                EXPECT_EQ(out[i].length, b.size()) << names[i];
            }
            EXPECT_EQ(out[names.size() - 2].outcome, tr::FileRead::absent);
            EXPECT_EQ(out[names.size() - 1].outcome, tr::FileRead::unreadable);
        }
    }
    ::close(at);
}

TEST_F(Release, BadArgumentsAreRefused) {
    const char* k = pub.c_str();
    const std::string long_id(65, 'a');
    KAL_DORN_TRUST_RELEASE* r = nullptr;
    KAL_DORN_TRUST_ERROR e{};
    const std::vector<std::tuple<const char*, const char* const*, size_t, const char*, KAL_DORN_TRUST_RELEASE**, int>>
        rows = {{nullptr, &k, 1, "main", &r, 1}, {src.c_str(), nullptr, 1, "main", &r, 1},
                {src.c_str(), &k, 0, "main", &r, 1}, {src.c_str(), &k, 1, "a/b", &r, 3},
                {src.c_str(), &k, 1, long_id.c_str(), &r, 3}, {src.c_str(), &k, 1, "main", nullptr, 1}};
    for (const auto& [source, keys, count, id, out, code] : rows) {
        EXPECT_EQ(KalDornTrustOpenRelease(source, keys, count, id, kNow, state.c_str(), out, &e), 0) << id;
        EXPECT_EQ(e.code, code) << id;
    }
    EXPECT_EQ(KalDornTrustCheckFile(nullptr, "a", "b", &e), 0);
    EXPECT_EQ(KalDornTrustForget(state.c_str(), "..", &e), 1);
    EXPECT_EQ(KalDornTrustForget(state.c_str(), "", &e), 0);
    EXPECT_EQ(KalDornTrustReleaseFileCount(nullptr), 0u);
}

TEST(ReleaseComment, ExpiryTimesReadBackAsGlibcWritesThem) {
    for (int64_t t = 0; t < 253402300800; t += 86399 * 97) {  // 1970 to 9999, every hour and day of the month met
        tr::ReleaseComment c{"main", 1, t}, back{};
        char text[128];
        ASSERT_TRUE(tr::format_release_comment(c, text, sizeof text)) << t;
        ASSERT_TRUE(tr::parse_release_comment(text, std::strlen(text), back)) << text;
        EXPECT_EQ(back.expires, t) << text;
    }
}

// An escaped name is cut where a whole escape no longer fits with the NUL.
TEST(ReleaseComment, EscapedNamesAreCutWhole) {
    char out[32];
    tr::escape_text("abcd\x01\x01\x01", 7, out, 16);
    EXPECT_STREQ(out, "abcd\\x01\\x01");
}

// From release 5 opened once, a row's change, then the open (or the check of the file named, downloaded to "d"),
// gives its code and leaves the state file as it was.
using R = Release&;
struct Attack {
    const char* what;
    void (*change)(R);
    int code;
    const char* check = nullptr;
    const char* says = "";  // in the message
};

const std::string kIndex = "00000001_index.dat", kGood = std::string(64, 'd'), kLine = kGood + "  a\n",
                  kLong(8200, 'x');
void edit(const fs::path& p, size_t at, const std::string& inserted) {
    std::string s = text(p);
    fx::write_file(p, s.insert(at, inserted));
}
size_t find(const fs::path& p, const std::string& what, size_t from = 0) { return text(p).find(what, from); }

const std::vector<Attack> kAttacks = {
    {"changed index DAT", [](R t) { t.poke(t.src / kIndex, 40, 'x'); }, 32},
    {"longer index DAT", [](R t) { edit(t.src / kIndex, 0, "x"); }, 31},
    {"index DAT made a FIFO", [](R t) { fs::remove(t.src / kIndex), ::mkfifo((t.src / kIndex).c_str(), 0600); }, 30},
    {"changed SHA256SUMS", [](R t) { t.poke(t.src / kSums, 20, 'g'); }, 13},
    {"changed trusted comment", [](R t) { t.poke(t.src / kSig, find(t.src / kSig, "serial=") + 7, '9'); }, 14},
    {"untrusted key",
     [](R t) { fs::remove(t.pub), tr::generate_keys(t.pub.c_str(), t.dir.file("x").c_str(), 0, 0, 0); }, 10},
    {"another source's release", [](R t) { t.sign(6, "beta"); }, 16},
    {"rollback", [](R t) { t.sign(4); }, 25, nullptr, "serial 4 is older than serial 5"},
    {"same serial, other contents", [](R t) { fx::write_file(t.src / "new.dat", "n"), t.sign(5); }, 26},
    {"expired", [](R t) { t.sign(6, "main", kNow); }, 17, nullptr,
     "6 expired at 2027-01-15T08:00:00Z; the time is now 2027-01-15T08:00:00Z"},
    {"index DAT not listed", [](R t) { fx::write_version_index(t.src, 3, "1;", 1, 1); }, 28},
    {"component list not listed", [](R t) { fs::copy(t.src / "00000004_compns.lst", t.src / "0000000a_compns.lst"); },
     28},
    {"name reaching outside", [](R t) { t.sign_text("# size 1\n" + kGood + "  ../x y\n"); }, 20, nullptr,
     "\"../x y\" is not a single file name"},
    {"escaped control byte", [](R t) { t.sign_text("# size 1\n\\" + kGood + "  a\\nb\n"); }, 20},
    {"duplicate name", [](R t) { t.sign_text("# size 1\n" + kLine + "# size 1\n" + kGood + " *a\n"); }, 21},
    {"CRLF", [](R t) { t.sign_text("# size 1\r\n" + kLine); }, 19},
    {"no size line", [](R t) { t.sign_text(kLine); }, 18},
    {"hostile size", [](R t) { t.sign_text("# size 99999999999999999999999\n" + kLine); }, 18},
    {"upper-case digest", [](R t) { t.sign_text("# size 1\nD" + kLine.substr(1)); }, 18},
    {"oversized SHA256SUMS", [](R t) { fs::resize_file(t.src / kSums, (16 << 20) + 1); }, 12},
    {"no signature", [](R t) { fs::remove(t.src / kSig); }, 6},
    {"bad base64", [](R t) { t.poke(t.src / kSig, find(t.src / kSig, "\n") + 5, '!'); }, 7},
    {"no untrusted comment", [](R t) { t.poke(t.src / kSig, 0, 'U'); }, 7},
    {"wrong algorithm", [](R t) { t.poke(t.src / kSig, find(t.src / kSig, "\n") + 3, 'V'); }, 8},
    {"trusted comment past the limit", [](R t) { edit(t.src / kSig, find(t.src / kSig, "\ntrusted") + 18, kLong); }, 9},
    {"untrusted comment past the limit", [](R t) { edit(t.src / kSig, 19, std::string(1010, 'x')); }, 9},
    {"not a release comment",
     [](R t) { run("minisign -S -s " + t.dir.file("k.sec") + " -m " + (t.src / kSums).string()); },
     15},
    {"bad key file", [](R t) { t.poke(t.pub, 25, '\n'); }, 5},
    {"state truncated", [](R t) { fs::resize_file(t.state_file(), 30), t.sign(6); }, 23, nullptr,
     "\"kaldorn release forget --state "},
    {"state of another source", [](R t) {
         t.sign(6, "beta"), t.open({}, "beta"), fs::rename(t.state / "release-beta.state", t.state_file()), t.sign(6);
     }, 24},
    {"state unwritable", [](R t) { fs::remove_all(t.state), t.sign(6); }, 33},
    {"state moved on by a 255-byte name", [](R t) { fx::write_file(t.src / std::string(255, 'n'), ""), t.sign(6); },
     0},
    {"state forgotten, then older", [](R t) { KalDornTrustForget(t.state.c_str(), "main", nullptr), t.sign(4); }, 0},
    {"downloaded file too short", [](R t) { fx::write_file(t.dir.file("d"), "x"); }, 31, kIndex.c_str(), "holds 1 "},
    {"downloaded file changed", [](R t) { fs::copy(t.src / kIndex, t.dir.file("d")), t.poke(t.dir.file("d"), 3, 'y'); },
     32, kIndex.c_str()},
    {"downloaded file not listed", [](R t) { fs::copy(t.src / kIndex, t.dir.file("d")); }, 29, "iu999999.dat"},
};

TEST_F(Release, EachAttackGivesItsRefusalAndRecordsNothing) {
    ASSERT_EQ(open(), 0);
    const fx::TempDir copy;
    fs::copy(dir.path(), copy.path(), fs::copy_options::recursive);
    for (const Attack& a : kAttacks) {
        fs::remove_all(dir.path()), fs::copy(copy.path(), dir.path(), fs::copy_options::recursive);
        const std::string before = text(state_file());
        a.change(*this);
        KAL_DORN_TRUST_RELEASE* r = nullptr;
        const int code = a.check == nullptr ? open() : open({}, "main", kNow, &r);
        EXPECT_EQ(r == nullptr ? code : (KalDornTrustCheckFile(r, a.check, dir.file("d").c_str(), &last), last.code),
                  a.code) << a.what;
        EXPECT_NE(std::string(last.message).find(a.says), std::string::npos) << a.what << ": " << last.message;
        KalDornTrustCloseRelease(r);
        if (std::string(a.what).rfind("state", 0) != 0) {
            EXPECT_EQ(text(state_file()), before) << a.what;
        }
    }
}

TEST_F(Release, AllocationFailuresAndKillsLeaveAWholeState) {
    ASSERT_EQ(open(), 0);
    const std::string old = text(state_file());
    sign(6);
    fx::each_allocation([&](long nth) {
        const int code = open();
        EXPECT_TRUE(code == 0 || (nth > 0 && code == KAL_DORN_TRUST_E_NO_MEMORY)) << nth << " " << code;
        EXPECT_EQ(code == 0 || text(state_file()) == old, true) << nth;
        fx::write_file(state_file(), old);
    });
    ASSERT_EQ(open(), 0);
    const std::string fresh = text(state_file());
    for (long nth = 1; nth < 100; ++nth) {
        fx::write_file(state_file(), old);
        const pid_t child = ::fork();
        if (child == 0) kaldorn::testing::kill_at_write(nth), ::_exit(open() == 0 ? 0 : 1);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        const std::string left = text(state_file());
        EXPECT_TRUE(left == old || left == fresh) << "killed at write " << nth;
        if (WIFEXITED(status)) break;
    }
}

}  // namespace

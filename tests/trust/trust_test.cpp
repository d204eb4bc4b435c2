// Signed releases against the real minisign and sha256sum, one table of attacks and malformed files, the accessors
// against the files themselves, and the state file under allocation failures and a kill in every write.
#include <sys/wait.h>

#include <cstdlib>
#include <ctime>

#include "fixtures.h"
#include "kaldorn/trust.h"
#include "trust/writer.h"

namespace {

namespace tr = kaldorn::trust;
namespace fs = std::filesystem;
using fx::Bytes;

const int64_t kNow = 1800000000;
const std::string kSums = "SHA256SUMS", kSig = "SHA256SUMS.minisig";

std::string text(const fs::path& p) {
    const Bytes b = fx::read_file(p);
    return {b.begin(), b.end()};
}
int run(const std::string& command) { return WEXITSTATUS(std::system((command + " >/dev/null 2>&1").c_str())); }
std::string comment(uint64_t serial, const std::string& id = "main", int64_t expires = kNow + 3600) {
    tr::ReleaseComment c{{}, serial, expires};
    std::snprintf(c.source, sizeof c.source, "%s", id.c_str());
    char out[256];
    return tr::format_release_comment(c, out, sizeof out) ? out : "";
}

// A source (index DATs, a component list, update files, one name with a backslash), its keys and a state directory.
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
        KAL_DORN_TRUST_ERROR e{};
        const int ok = KalDornTrustOpenRelease(src.c_str(), k.data(), k.size(), id.c_str(), now, state.c_str(), &r, &e);
        EXPECT_EQ(ok == 1, r != nullptr) << e.message;
        kept != nullptr ? void(*kept = r) : KalDornTrustCloseRelease(r);
        return ok == 1 ? 0 : e.code;
    }
    std::string state_file() const { return (state / "release-main.state").string(); }
    void poke(const fs::path& p, size_t at, char c) {
        std::string t = text(p);
        t[at] = c;
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
    ASSERT_EQ(open({}, "main", kNow, &r), 0);
    EXPECT_EQ(KalDornTrustReleaseSerial(r), 5u);
    EXPECT_EQ(KalDornTrustReleaseExpires(r), kNow + 3600);
    EXPECT_STREQ(KalDornTrustReleaseSourceId(r), "main");
    size_t listed = 0;
    for (const auto& e : fs::directory_iterator(src)) listed += e.path().filename().string().find(kSums) != 0;
    ASSERT_EQ(KalDornTrustReleaseFileCount(r), listed);
    for (size_t i = 0; i < listed; ++i) {
        KAL_DORN_TRUST_FILE f{}, found{};
        ASSERT_EQ(KalDornTrustReleaseFile(r, i, &f), 1);
        EXPECT_EQ(f.size, fs::file_size(src / f.name)) << f.name;
        EXPECT_EQ(KalDornTrustReleaseFindFile(r, f.name, &found), 1) << f.name;
        EXPECT_EQ(KalDornTrustCheckFile(r, f.name, (src / f.name).c_str(), nullptr), 1) << f.name;
    }
    KalDornTrustCloseRelease(r);
}

// Each row starts from release 5 opened once; the row's change, then the open (or the check of a downloaded file)
// must give its code and leave the state file as it was.
struct Attack {
    const char* what;
    std::function<int(Release&)> act;
    int code;
};

int check(Release& t, const std::string& name, const fs::path& path) {
    KAL_DORN_TRUST_RELEASE* r = nullptr;
    KAL_DORN_TRUST_ERROR e{};
    t.open({}, "main", kNow, &r);
    KalDornTrustCheckFile(r, name.c_str(), path.c_str(), &e);
    return KalDornTrustCloseRelease(r), e.code;
}

const std::string kIndex = "00000001_index.dat", kGood = std::string(64, 'd');
const std::vector<Attack> kAttacks = {
    {"changed index DAT", [](Release& t) { return t.poke(t.src / kIndex, 40, 'x'), t.open(); }, 32},
    {"longer index DAT", [](Release& t) { return fx::write_file(t.src / kIndex, text(t.src / kIndex) + "x"), t.open(); }, 31},
    {"changed SHA256SUMS", [](Release& t) { return t.poke(t.src / kSums, 20, 'f'), t.open(); }, 13},
    {"changed trusted comment", [](Release& t) { return t.poke(t.src / kSig, text(t.src / kSig).find("serial=") + 7, '9'), t.open(); }, 14},
    {"untrusted key", [](Release& t) {
         tr::generate_keys(t.dir.file("x.pub").c_str(), t.dir.file("x.sec").c_str(), nullptr, 0, nullptr);
         return t.open({t.dir.file("x.pub")}); }, 10},
    {"another source's release", [](Release& t) { return t.sign(6, "beta"), t.open(); }, 16},
    {"opened for another source", [](Release& t) { return t.open({}, "beta"); }, 16},
    {"rollback", [](Release& t) { return t.sign(4), t.open(); }, 25},
    {"same serial, other contents", [](Release& t) { return fx::write_file(t.src / "new.dat", "n"), t.sign(5), t.open(); }, 26},
    {"expired", [](Release& t) { return t.open({}, "main", kNow + 3600); }, 17},
    {"index DAT not listed", [](Release& t) { return fx::write_version_index(t.src, 3, "1;", 1, 1), t.open(); }, 28},
    {"component list not listed", [](Release& t) { return fs::copy(t.src / "00000004_compns.lst", t.src / "0000000a_compns.lst"), t.open(); }, 28},
    {"name reaching outside", [](Release& t) { return t.sign_text("# size 1\n" + kGood + "  ../x\n"), t.open(); }, 20},
    {"escaped control byte", [](Release& t) { return t.sign_text("# size 1\n\\" + kGood + "  a\\nb\n"), t.open(); }, 20},
    {"duplicate name", [](Release& t) { return t.sign_text("# size 1\n" + kGood + "  a\n# size 1\n" + kGood + " *a\n"), t.open(); }, 21},
    {"CRLF", [](Release& t) { return t.sign_text("# size 1\r\n"), t.open(); }, 19},
    {"no size line", [](Release& t) { return t.sign_text(kGood + "  a\n"), t.open(); }, 18},
    {"hostile size", [](Release& t) { return t.sign_text("# size 99999999999999999999999\n" + kGood + "  a\n"), t.open(); }, 18},
    {"upper-case digest", [](Release& t) { return t.sign_text("# size 1\nD" + kGood.substr(1) + "  a\n"), t.open(); }, 18},
    {"oversized SHA256SUMS", [](Release& t) { return fs::resize_file(t.src / kSums, (16 << 20) + 1), t.open(); }, 12},
    {"no signature", [](Release& t) { return fs::remove(t.src / kSig), t.open(); }, 6},
    {"bad base64", [](Release& t) { return t.poke(t.src / kSig, text(t.src / kSig).find('\n') + 5, '!'), t.open(); }, 7},
    {"wrong algorithm", [](Release& t) { return t.poke(t.src / kSig, text(t.src / kSig).find('\n') + 2, 'V'), t.open(); }, 8},
    {"trusted comment past the limit", [](Release& t) {
         std::string s = text(t.src / kSig);
         return fx::write_file(t.src / kSig, s.insert(s.find("trusted comment: ", 20) + 17, std::string(8200, 'x'))), t.open(); }, 9},
    {"untrusted comment past the limit", [](Release& t) {
         std::string s = text(t.src / kSig);
         return fx::write_file(t.src / kSig, s.insert(19, std::string(1010, 'x'))), t.open(); }, 9},
    {"not a release comment", [](Release& t) {
         return run("minisign -S -s " + t.dir.file("k.sec") + " -m " + (t.src / kSums).string()), t.open(); }, 15},
    {"bad key file", [](Release& t) { return t.poke(t.pub, 25, '\n'), t.open(); }, 5},
    {"state truncated", [](Release& t) { return fs::resize_file(t.state_file(), 30), t.sign(6), t.open(); }, 23},
    {"state of another source", [](Release& t) {
         t.sign(6, "beta"), t.open({}, "beta");
         return fs::rename(t.state / "release-beta.state", t.state_file()), t.sign(6), t.open(); }, 24},
    {"state unwritable", [](Release& t) { return fs::remove_all(t.state), t.sign(6), t.open(); }, 33},
    {"downloaded file too short", [](Release& t) { return fx::write_file(t.dir.file("d"), "x"), check(t, kIndex, t.dir.file("d")); }, 31},
    {"downloaded file changed", [](Release& t) {
         fs::copy(t.src / kIndex, t.dir.file("d"), fs::copy_options::overwrite_existing), t.poke(t.dir.file("d"), 3, 'y');
         return check(t, kIndex, t.dir.file("d")); }, 32},
    {"downloaded file not listed", [](Release& t) { return check(t, "iu999999.dat", t.src / kIndex); }, 29},
};

TEST_F(Release, EachAttackGivesItsRefusalAndRecordsNothing) {
    ASSERT_EQ(open(), 0);
    const fx::TempDir copy;
    const fs::path saved = copy.path();
    fs::copy(dir.path(), saved, fs::copy_options::recursive);
    for (const Attack& a : kAttacks) {
        fs::remove_all(src), fs::remove_all(state), fs::remove(pub);
        fs::copy(saved / "source", src), fs::copy(saved / "state", state), fs::copy(saved / "k.pub", pub);
        const std::string before = text(state_file());
        EXPECT_EQ(a.act(*this), a.code) << a.what;
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

// release keygen, sign, verify and forget: a publisher's signed releases of a
// source directory, checked as a host checks them through
// libkaldorn-trust.so; and --trust on the commands that plan from a source,
// which then refuse a source whose release does not verify.
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "commands.h"
#include "kaldorn/trust.h"
#include "support/fd_guard.h"
#include "trust/formats.h"
#include "trust/writer.h"

namespace tool {

namespace {

namespace tr = kaldorn::trust;

std::string time_text(int64_t seconds) {
    char out[32];
    tr::time_text(seconds, out, sizeof out);
    return out;
}

// A refusal of the release library, with its code in the document's "release".
[[noreturn]] void refuse(const KAL_DORN_TRUST_ERROR& e, Json doc, const std::string& what) {
    doc["release"] = {{"verified", false}, {"code", e.code}, {"message", e.message}};
    throw Failure{what + ": " + e.message + " (release code " + std::to_string(e.code) + ")", kExitRefused, nullptr,
                  doc};
}

// A writer's refusal: no document of its own beyond the head.
[[noreturn]] void writer_failed(const KAL_DORN_TRUST_ERROR& e) { throw Failure{e.message}; }

struct Opened {
    KAL_DORN_TRUST_RELEASE* release = nullptr;
    Opened() = default;
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;
    ~Opened() { KalDornTrustCloseRelease(release); }
};

Json summary(const KAL_DORN_TRUST_RELEASE* r) {
    return {{"verified", true},
            {"source_id", KalDornTrustReleaseSourceId(r)},
            {"serial", KalDornTrustReleaseSerial(r)},
            {"expires", time_text(KalDornTrustReleaseExpires(r))},
            {"key_id", KalDornTrustReleaseKeyId(r)},
            {"listed", KalDornTrustReleaseFileCount(r)}};
}

// A scratch state directory for a check that records nothing, removed with it.
struct ScratchState {
    std::string path;
    ScratchState() {
        std::string t = (std::filesystem::temp_directory_path() / "kaldorn-state-XXXXXX").string();
        if (::mkdtemp(t.data()) == nullptr)
            throw Failure{"no scratch state directory (" + std::string(std::strerror(errno)) + ")"};
        path = t;
    }
    ~ScratchState() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

// Opens the release of dir against the keys, for the source id; with no state
// directory, the serial is checked against nothing and recorded nowhere.
void open_release(const TrustArgs& t, const std::string& dir, Opened& opened, const Json& doc, const char* what) {
    for (const std::string& key : t.keys) check_length(key);
    if (!check_directory(dir)) throw Failure{escaped(dir) + ": no such directory"};
    std::unique_ptr<ScratchState> scratch(t.state.empty() ? new ScratchState : nullptr);
    if (!t.state.empty() && !check_directory(t.state)) throw Failure{escaped(t.state) + ": no such directory"};
    std::vector<const char*> keys;
    for (const std::string& key : t.keys) keys.push_back(key.c_str());
    KAL_DORN_TRUST_ERROR e{};
    const std::string& state = scratch ? scratch->path : t.state;
    if (KalDornTrustOpenRelease(dir.c_str(), keys.data(), keys.size(), t.source_id.c_str(),
                                static_cast<int64_t>(std::time(nullptr)), state.c_str(), &opened.release, &e) != 1)
        refuse(e, doc, std::string(what) + " " + escaped(dir));
}

// A passphrase: the first line of a file, or asked twice (new keys) or once
// on the terminal without echo.
std::string passphrase(const std::string& file, bool twice) {
    if (!file.empty()) {
        check_input(file);
        std::ifstream in(file);
        std::string line;
        std::getline(in, line);
        if (line.empty()) throw Failure{escaped(file) + ": holds no passphrase on its first line"};
        return line;
    }
    kaldorn::detail::FdGuard tty(::open("/dev/tty", O_RDWR | O_CLOEXEC));
    if (!tty.valid()) usage("no terminal to ask for the passphrase: give --passphrase-file FILE (or -W for a new key)");
    termios saved{};
    const bool restore = ::tcgetattr(tty.get(), &saved) == 0;
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    if (restore) ::tcsetattr(tty.get(), TCSAFLUSH, &quiet);
    std::string got[2];
    for (int i = 0; i < (twice ? 2 : 1); ++i) {
        const char* prompt = i == 0 ? "Passphrase: " : "\nPassphrase again: ";
        if (::write(tty.get(), prompt, std::strlen(prompt)) < 0) break;
        for (char c; ::read(tty.get(), &c, 1) == 1 && c != '\n';) got[i] += c;
    }
    if (restore) ::tcsetattr(tty.get(), TCSAFLUSH, &saved);
    if (::write(tty.get(), "\n", 1) < 0) {}
    if (got[0].empty()) throw Failure{"no passphrase given"};
    if (twice && got[0] != got[1]) throw Failure{"the two passphrases differ"};
    return got[0];
}

struct Args {
    TrustArgs trust;
    std::string source, public_key, secret_key, passphrase_file, expires = "30d";
    uint64_t serial = 0;
    bool unencrypted = false, quiet = false;
};

void run_keygen(const Args& a) {
    for (const std::string* p : {&a.public_key, &a.secret_key}) {
        check_length(*p);
        struct stat st {};
        if (::lstat(p->c_str(), &st) == 0) throw Failure{escaped(*p) + ": exists; keygen never replaces a key file"};
    }
    const std::string pass = a.unencrypted ? "" : passphrase(a.passphrase_file, true);
    KAL_DORN_TRUST_ERROR e{};
    if (!tr::generate_keys(a.public_key.c_str(), a.secret_key.c_str(), a.unencrypted ? nullptr : pass.c_str(),
                           pass.size(), &e))
        writer_failed(e);
    // The key id, from the public key just written (the secret one would cost its key derivation again).
    kaldorn::detail::HeapPtr<char> text;
    size_t size = 0;
    tr::PublicKey key{};
    if (tr::read_small_file(a.public_key.c_str(), tr::kKeyFileMax, text, size) != tr::ReadResult::ok ||
        !tr::parse_public_key(text.get(), size, key, &e))
        throw Failure{escaped(a.public_key) + ": cannot be read back"};
    char id[17];
    tr::key_id_text(key.id, id);
    Json doc = document("release keygen");
    doc["public"] = a.public_key, doc["secret"] = a.secret_key, doc["key_id"] = id, doc["encrypted"] = !a.unencrypted;
    answer(doc);
    if (!run().json)
        std::cout << "key " << id << ": public " << a.public_key << ", secret " << a.secret_key
                  << (a.unencrypted ? " (unencrypted)" : " (encrypted)") << '\n';
}

// An expiry: an RFC 3339 time in UTC, or a duration from now (N followed by
// s, m, h, d or w).
int64_t expiry(const std::string& text) {
    int64_t at = 0;
    if (tr::parse_utc_time(text.data(), text.size(), at)) return at;
    size_t digits = 0;
    while (digits < text.size() && digits < 9 && text[digits] >= '0' && text[digits] <= '9') ++digits;
    const std::string units = "smhdw";
    const int64_t scale[] = {1, 60, 3600, 86400, 604800};
    if (digits == 0 || digits + 1 != text.size() || units.find(text.back()) == std::string::npos)
        usage("--expires '" + escaped(text) + "' is neither a duration (30d, 12h, 2w) nor a time like " +
              "2027-01-07T00:00:00Z");
    const int64_t count = std::stoll(text.substr(0, digits));
    return static_cast<int64_t>(std::time(nullptr)) + count * scale[units.find(text.back())];
}

void run_sign(const Args& a) {
    if (!check_directory(a.source)) throw Failure{escaped(a.source) + ": no such directory"};
    check_input(a.secret_key);
    tr::ReleaseComment comment{{}, a.serial, expiry(a.expires)};
    if (!tr::valid_source_id(a.trust.source_id.c_str()))
        usage("--source-id '" + escaped(a.trust.source_id) + "' is not 1 to 64 of A-Z a-z 0-9 . _ -");
    std::memcpy(comment.source, a.trust.source_id.c_str(), a.trust.source_id.size() + 1);
    tr::SecretKey key{};
    KAL_DORN_TRUST_ERROR e{};
    if (!tr::load_secret_key(a.secret_key.c_str(), nullptr, 0, key, &e)) {
        if (e.code != tr::kWrongPassphrase) writer_failed(e);  // unreadable or not a key: no passphrase helps
        const std::string pass = passphrase(a.passphrase_file, false);
        if (!tr::load_secret_key(a.secret_key.c_str(), pass.c_str(), pass.size(), key, &e)) writer_failed(e);
    }
    if (!tr::write_sums(a.source.c_str(), &e) || !tr::sign_sums(a.source.c_str(), key, comment, &e)) writer_failed(e);
    char id[17];
    tr::key_id_text(key.id, id);
    Json doc = document("release sign");
    doc["source"] = a.source, doc["source_id"] = a.trust.source_id, doc["serial"] = a.serial;
    doc["expires"] = time_text(comment.expires), doc["key_id"] = id;
    answer(doc);
    if (!run().json)
        std::cout << "release " << a.serial << " of source " << a.trust.source_id << " signed by key " << id
                  << ", expires " << time_text(comment.expires) << ": " << a.source << "/SHA256SUMS and "
                  << a.source << "/SHA256SUMS.minisig written\n";
}

void run_verify(const Args& a) {
    Json doc = document("release verify");
    doc["source"] = a.source;
    doc["state"] = a.trust.state.empty() ? Json(nullptr) : Json(a.trust.state);
    Opened opened;
    open_release(a.trust, a.source, opened, doc, "release of");
    doc["release"] = summary(opened.release);
    // Each file as the library reports it: a document entry, or a line as
    // sha256sum -c prints it (with --quiet, failures only).
    struct Report {
        bool json, quiet;
        Json files = Json::array();
    } report{run().json, a.quiet};
    const KAL_DORN_TRUST_REPORT note = [](void* c, const char* name, const KAL_DORN_TRUST_ERROR* o) {
        auto& r = *static_cast<Report*>(c);
        if (r.json) {
            Json f = {{"file", name}, {"ok", o->code == 0}};
            if (o->code != 0) f["failure"] = {{"code", o->code}, {"message", o->message}};
            r.files.push_back(std::move(f));
        } else if (o->code != 0) {
            std::cout << escaped(name) << ": FAILED (" << o->message << ")\n";
        } else if (!r.quiet) {
            std::cout << escaped(name) << ": OK\n";
        }
    };
    size_t checked = 0;
    KAL_DORN_TRUST_ERROR e{};
    const bool all = KalDornTrustCheckDirectory(opened.release, a.source.c_str(), note, &report, &checked, &e) == 1;
    doc["files"] = std::move(report.files);
    doc["checked"] = checked;
    if (!all && e.code != KAL_DORN_TRUST_E_SIZE && e.code != KAL_DORN_TRUST_E_DIGEST &&
        e.code != KAL_DORN_TRUST_E_FILE_UNREADABLE)
        refuse(e, doc, "files of " + escaped(a.source));
    if (!all) {
        doc["release"]["verified"] = false;
        throw Failure{escaped(a.source) + ": " + e.message, kExitRefused, nullptr, doc};
    }
    answer(doc);
    if (!run().json)
        std::cout << "release " << KalDornTrustReleaseSerial(opened.release) << " of source " << a.trust.source_id
                  << " (key " << KalDornTrustReleaseKeyId(opened.release) << ", expires "
                  << time_text(KalDornTrustReleaseExpires(opened.release)) << "): " << checked << " of "
                  << KalDornTrustReleaseFileCount(opened.release) << " listed files present, all verified"
                  << (a.trust.state.empty() ? "; no --state: the serial was checked against no earlier release" : "")
                  << '\n';
}

void run_forget(const Args& a) {
    if (!check_directory(a.trust.state)) throw Failure{escaped(a.trust.state) + ": no such directory"};
    KAL_DORN_TRUST_ERROR e{};
    if (KalDornTrustForget(a.trust.state.c_str(), a.trust.source_id.c_str(), &e) != 1) throw Failure{e.message};
    Json doc = document("release forget");
    doc["state"] = a.trust.state, doc["source_id"] = a.trust.source_id;
    answer(doc);
    if (!run().json)
        std::cout << "source " << a.trust.source_id << ": no release recorded in " << a.trust.state
                  << " any more; the next one verified is accepted whatever its serial\n";
}

}  // namespace

void add_trust_options(CLI::App& cmd, TrustArgs& t, const char* planned) {
    cmd.add_option("--trust", t.keys,
                   std::string("Plan only when ") + planned + " holds a release signed by one of these public keys")
        ->type_name("PUB")
        ->expected(1, -1);
    cmd.add_option("--source-id", t.source_id, "With --trust: the source id the release must be signed for");
    cmd.add_option("--state", t.state, "With --trust: where the accepted serials are kept (refuses older releases)")
        ->type_name("DIR");
}

void check_release(const TrustArgs& t, const std::string& dir) {
    if (t.keys.empty()) {
        if (!t.source_id.empty() || !t.state.empty()) usage("--source-id and --state go with --trust");
        return;
    }
    if (t.source_id.empty() || t.state.empty()) usage("--trust needs --source-id ID and --state DIR");
    Opened opened;
    try {
        open_release(t, dir, opened, Json::object(), "release of");
    } catch (Failure& f) {  // the verdict goes into the command's own document
        if (f.doc.contains("release")) run().release = f.doc["release"];
        f.doc = nullptr;
        throw;
    }
    run().release = summary(opened.release);
}

void register_release_commands(CLI::App& app) {
    auto a = std::make_shared<Args>();
    auto* release = app.add_subcommand("release", "Signed releases of a source: keys, signing, verifying");
    release->require_subcommand(1);
    auto sub = [&](const char* name, const char* help, void (*run)(const Args&)) {
        return subcommand(*release, name, help, a, run);
    };
    const char* from_file = "The passphrase: FILE's first line (default: asked on the terminal)";
    auto* keygen = sub("keygen", "Make a key pair in minisign's files (never replacing one)", run_keygen);
    keygen->add_option("--public", a->public_key, "Public key file to write")->required()->type_name("FILE");
    keygen->add_option("--secret", a->secret_key, "Secret key file to write (keep it offline)")
        ->required()
        ->type_name("FILE");
    keygen->add_flag("-W", a->unencrypted, "Leave the secret key unencrypted (no passphrase)");
    keygen->add_option("--passphrase-file", a->passphrase_file, from_file)->type_name("FILE");

    auto* sign = sub("sign", "Write SOURCE/SHA256SUMS of every file and its signature SHA256SUMS.minisig", run_sign);
    sign->add_option("SOURCE", a->source, "Source directory")->required();
    sign->add_option("--key", a->secret_key, "Secret key file")->required()->type_name("SECRET");
    sign->add_option("--source-id", a->trust.source_id, "The source the release is for (1 to 64 of A-Z a-z 0-9 . _ -)")
        ->required()
        ->type_name("ID");
    sign->add_option("--serial", a->serial, "Release serial number, above the last one published")
        ->required()
        ->type_name("N");
    sign->add_option("--expires", a->expires, "A duration from now (30d, 12h, 2w) or a UTC time 2027-01-07T00:00:00Z")
        ->capture_default_str()
        ->type_name("WHEN");
    sign->add_option("--passphrase-file", a->passphrase_file, from_file)->type_name("FILE");

    auto* verify = sub("verify", "Check SOURCE's release and every listed file present in it", run_verify);
    verify->add_option("SOURCE", a->source, "Source directory")->required();
    verify->add_option("--trust", a->trust.keys, "Trusted public keys (the signature's key id picks one)")
        ->required()
        ->expected(1, -1)
        ->type_name("PUB");
    verify->add_option("--source-id", a->trust.source_id, "The source id the release must be signed for")
        ->required()
        ->type_name("ID");
    verify->add_option("--state", a->trust.state, "Check the serial against DIR and record it there (default: none)")
        ->type_name("DIR");
    verify->add_flag("--quiet", a->quiet, "Print no line for a file that verifies, as sha256sum -c --quiet");

    auto* forget = sub("forget", "Forget the serial accepted for a source (after a key compromise)", run_forget);
    forget->add_option("--state", a->trust.state, "State directory")->required()->type_name("DIR");
    forget->add_option("--source-id", a->trust.source_id, "Source id")->required()->type_name("ID");
}

}  // namespace tool

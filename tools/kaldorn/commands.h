// The kaldorn host tool: shared helpers, and the registration of each command
// family. Every command can print one JSON document (format 2).
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kaldorn.h"
#include "kaldorn/soloindx.h"
#include "kaldorn/vxcminfo.h"
#include "publish/publish.h"

namespace tool {

// Keys keep the order in which they were added, so documents read top down.
using Json = nlohmann::ordered_json;

// Raised when a key changes meaning or disappears.
inline constexpr int kJsonFormat = 2;

// Exit status: 0 an answer, 1 input refused or a file that cannot be read or
// written (standard output included), 2 a usage error, a combination no entry
// point answers, or anything unexpected.
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;

// Thrown to end a command: the message goes to stderr; with --json the
// document the command had gathered (or the bare head) gets a "failure"
// member {"status", "code", "message"}.
struct Failure {
    std::string message;
    int status = kExitRefused;
    Json code = nullptr;  // the library's error code, when one was given
    Json doc = nullptr;
};

// The failure member of a document, or of one file's entry in it.
Json failure_json(const Failure& failure);

// Ends the command with a usage error (status 2).
[[noreturn]] void usage(const std::string& message);

// What one run of the tool carries from its command line to its end.
struct Run {
    bool json = false, strict = false, force = false;
    Json doc = nullptr;  // the answer, printed at the end with --json
    Json warnings = Json::array();
    Json release = nullptr;  // the release the answer was planned from (--trust)
};
Run& run();

// Qualifies an answer ("no index DAT in X: planning from version 1.0"): a
// line on stderr, kept for the document; with --strict it ends the command
// with status 1 instead.
void warn(const std::string& message);

// The document of the answer: {"format": 2, "command": command, ...}.
Json document(const std::string& command);
void answer(Json doc);

// A count on stderr, rewritten in place, for long work on a terminal (a
// total of 0: a note that the work goes on); silent when stderr is not a
// terminal so that scripts see only results.
class Progress {
public:
    Progress(const char* what, size_t total);
    void step(size_t done);
    void done();

private:
    const char* what_;
    size_t total_;
    bool shown_;
    size_t last_ = 0;
    bool printed_ = false;
};

// A subcommand of a family whose commands share one record of arguments:
// its callback runs `run` over them.
template <typename Args>
CLI::App* subcommand(CLI::App& family, const char* name, const char* help, const std::shared_ptr<Args>& args,
                     void (*run)(const Args&)) {
    auto* cmd = family.add_subcommand(name, help);
    cmd->callback([args, run] { run(*args); });
    return cmd;
}

// What an error code of the library means, for every KALDORN_E_* code.
std::string meaning(unsigned int code);
// "MAJOR.MINOR".
std::string version_text(unsigned int major, unsigned int minor);
// A 16-byte MD5 digest as 32 lower-case hex digits.
std::string hex_digest(const unsigned char* digest);
// The 7 stored bytes of a definition date stamp as 14 hex digits, file order.
std::string date_hex(const tagVXDEFDATE& date);
// "%08x_%08x.dat": the definition file of id in product.
std::string definition_file(unsigned int product, unsigned int id);
// "%08x_index.dat" of product in dir, joined with one "/".
std::string index_file(const std::string& dir, unsigned int product);
// A definition record: id, file, name, date, data, status.
Json definition_record(const tagSOLO_DEF_MEM_RECORD_INFO& r, unsigned int product);

// A number option or argument: decimal, or hex after "0x".
unsigned int parse_number(const std::string& text, const std::string& what);
CLI::Option* add_number(CLI::App& cmd, const std::string& name, unsigned int& value, const std::string& help);

// A record array handed out by the library, given back to it through its
// release function when the command is done with it.
template <typename Record, int (*Release)(Record*, unsigned int, unsigned int*)>
struct HandedOut {
    Record* data = nullptr;
    unsigned int count = 0;
    HandedOut() = default;
    HandedOut(const HandedOut&) = delete;
    HandedOut& operator=(const HandedOut&) = delete;
    ~HandedOut() {
        unsigned int error = 0;
        Release(data, count, &error);
    }
    const Record* begin() const { return data; }
    const Record* end() const { return data + count; }
};
using DefinitionRecords = HandedOut<tagSOLO_DEF_MEM_RECORD_INFO, ReleaseDefList>;
using ComponentRecords = HandedOut<tagVX_COMPONENT_FILE_MEM_RECORD_INFO, ReleaseCompnList>;

// Every record of the array, as definition_record gives it.
Json definition_records(const DefinitionRecords& records, unsigned int product);

// A name with bytes below 0x20, 0x7f and "\\" written as "\\xNN", as every
// message shows the names it holds.
std::string escaped(const std::string& name);
// The first stored record of a component list (or of a definition index
// DAT) whose name reaches outside its directory, as "record N is named ...";
// empty when there is none or the records do not decode that far.
std::string refused_record(const std::string& path, bool component_list);

// ---- Files (files.cpp) ----

// Refuses (status 1) a path the library cannot take: 260 bytes or more.
void check_length(const std::string& path);
// Checks a file the command reads, without opening a FIFO or a device: it
// must be a regular file this process may read ("-" passes). False when it
// does not exist and may_be_missing; otherwise a Failure naming the cause.
bool check_input(const std::string& path, bool may_be_missing = false);
// Whether a directory argument exists; a Failure when it cannot be used.
bool check_directory(const std::string& path);

// A regular file of a directory, with what its status says.
struct DirFile {
    std::string path, name;
    long long size, mtime;
};
// The regular files of a directory in byte order of their names; every other
// entry is a warning naming it and why it is skipped.
std::vector<DirFile> regular_files(const std::string& dir);

// Refuses an existing output that is not a regular file, or (unless --force)
// one that is not empty and for which is_kind says no.
void check_output(const std::string& path, const char* kind, bool (*is_kind)(const std::string&));
// Writes a whole file through a copy renamed over it: an existing file keeps
// its mode and owner; a new one gets 0666 & ~umask (published) or 0600.
void write_output(const std::string& path, const kaldorn::publish::Bytes& bytes, bool published);
// Whether a file opens with a component list's magic, or reads as an index DAT.
bool is_component_list(const std::string& path);
bool is_index_dat(const std::string& path);

// A path as the 16-bit entry points take it, widened as the library does.
std::vector<unsigned short> widen(const std::string& s);
// A 0-terminated 16-bit name at any address (packed records put names at
// odd addresses), narrowed unit by unit to its low byte.
std::string narrow(const unsigned char* units, size_t max_units);

// A component list as one JSON object (path, platform identifiers,
// records); throws Failure naming the file when it cannot be read.
Json component_list(const std::string& path);
void print_component_list(const Json& list);

// ---- Signed releases (cmd_release.cpp) ----

// --trust PUB... --source-id ID --state DIR of a command that plans from a
// source directory.
struct TrustArgs {
    std::vector<std::string> keys;
    std::string source_id, state;
};
// Adds the three options; planned names what must hold the release.
void add_trust_options(CLI::App& cmd, TrustArgs& trust, const char* planned);
// With --trust, refuses (status 1) to go on unless dir holds a release signed
// by one of the keys for the source id, not expired and not older than the
// one recorded in the state directory, that lists every index DAT and
// component list present with its size and SHA-256; the release goes into
// the document. Without --trust, nothing.
void check_release(const TrustArgs& trust, const std::string& dir);
// The directory a file lies in ("." for a bare name).
std::string directory_of(const std::string& path);

void register_plan_commands(CLI::App& app);     // plan, delete, oprid, client
void register_show_command(CLI::App& app);      // show
void register_checksum_commands(CLI::App& app); // crc32, md5
void register_index_commands(CLI::App& app);    // index build
void register_compns_commands(CLI::App& app);   // compns ...
void register_defs_commands(CLI::App& app);     // defs ...
void register_release_commands(CLI::App& app);  // release ... (when built with the release checks)

// The bash completion script for every command, option and option value
// registered in app.
std::string bash_completion(const CLI::App& app);

// The source's version text as a timeline with the client's position and
// each chosen version marked (plan --explain).
void print_timeline(unsigned int product, const std::string& client, const std::string& source,
                    const std::vector<std::string>& chosen_versions);

}  // namespace tool

// The kaldorn host tool: shared helpers, and the registration of each command
// family. Every read command can print one JSON document (format 1).
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "kaldorn.h"
#include "kaldorn/soloindx.h"
#include "kaldorn/vxcminfo.h"

namespace tool {

// Keys keep the order in which they were added, so documents read top down.
using Json = nlohmann::ordered_json;

// Exit codes: 0 success, 1 an answer that is an error code or a file that
// cannot be used, 2 a usage error (CLI11's own and usage()).
inline constexpr int kExitFailure = 1;

// Thrown by commands to end with a message on stderr and exit status 1.
struct Failure {
    std::string message;
};

// Ends the tool with a usage error (status 2), as CLI11 reports its own.
[[noreturn]] void usage(const std::string& message);

// A count on stderr, rewritten in place, for long work on a terminal; silent
// when stderr is not a terminal so that scripts see only results.
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
};

// The head of every JSON document: {"format": 1, "command": command}.
Json document(const std::string& command);
void print_json(const Json& doc);
// Adds the --json flag of a read command.
void add_json_flag(CLI::App& cmd, bool& json);

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

// A name with bytes below 0x20, 0x7f and "\\" written as "\\xNN".
std::string escaped(const std::string& name);
// True when a file's name may go into a list; otherwise says on stderr that
// the file is skipped (a name with control bytes would be refused on reading).
bool plain_file_name(const std::filesystem::path& file);
// The first stored record of a component list (or of a definition index
// DAT) whose name reaches outside its directory, as "record N is named ...";
// empty when there is none or the records do not decode that far.
std::string refused_record(const std::string& path, bool component_list);

// A path as the 16-bit entry points take it, widened as the library does.
std::vector<unsigned short> widen(const std::string& s);
// A 0-terminated 16-bit name at any address (packed records put names at
// odd addresses), narrowed unit by unit to its low byte.
std::string narrow(const unsigned char* units, size_t max_units);

// A component list as one JSON object (path, platform identifiers,
// records); throws Failure naming the file when it cannot be read.
Json component_list(const std::string& path);
void print_component_list(const Json& list);

void register_plan_commands(CLI::App& app);     // plan, delete, oprid, client
void register_show_command(CLI::App& app);      // show
void register_checksum_commands(CLI::App& app); // crc32, md5
void register_index_commands(CLI::App& app);    // index build
void register_compns_commands(CLI::App& app);   // compns ...
void register_defs_commands(CLI::App& app);     // defs ...

// The bash completion script for every command, option and option value
// registered in app.
std::string bash_completion(const CLI::App& app);

// The source's version text as a timeline with the client's position and
// each chosen version marked (plan --explain).
void print_timeline(unsigned int product, const std::string& client, const std::string& source,
                    const std::vector<std::string>& chosen_versions);

}  // namespace tool

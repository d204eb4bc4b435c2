// The kaldorn host tool: each command family registers its subcommands here.
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "kaldorn.h"
#include <string>
#include <vector>

namespace tool {

// Exit codes: 0 success, 1 an answer that is an error code or a file that
// cannot be used, 2 a usage error (CLI11's own).
inline constexpr int kExitFailure = 1;

// Thrown by commands to end with a message on stderr and exit status 1.
struct Failure {
    std::string message;
};

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

// Prints a JSON document or, when json is false, nothing (the caller prints text).
void print_json(const nlohmann::json& doc);

// A 16-byte MD5 digest as 32 lower-case hex digits.
std::string hex_digest(const unsigned char* digest);

// A path as the 16-bit entry points take it, widened as the library does.
std::vector<unsigned short> widen(const std::string& s);
// What an error code of the version planners and entry points means.
const char* meaning(unsigned int code);
// The update file a version record names ("iu%04d%02d..." or "eu..."), by
// the library's own rule.
std::string update_file_name(unsigned int product, const tagKAL_DORN_TYPE_INFO& record);

// "%08x_index.dat" of product in dir, joined with one "/".
std::string index_file(const std::string& dir, unsigned int product);
// Text form of an answer document ("question", "product", "ok", "error",
// "meaning", "failure", "files"): the heading, with "FAILED (...)" for a
// failed answer (false: nothing more to print); then the file count, or
// "nothing" with the code (false: no files to list).
bool print_heading(const nlohmann::json& doc);
bool print_file_count(const nlohmann::json& doc);
// Prints the answers (as JSON, or each with print_text) and fails, naming
// the files, when one of them failed.
void report(const std::vector<nlohmann::json>& answers, bool json, void (*print_text)(const nlohmann::json&));

// A component list as one JSON document (records, platform identifiers);
// throws Failure naming the file when it cannot be read.
nlohmann::json component_list_doc(const std::string& path);
void print_component_list(const nlohmann::json& doc);

void register_checksum_commands(CLI::App& app);
void register_publish_commands(CLI::App& app);
void register_entry_commands(CLI::App& app);
void register_index_commands(CLI::App& app);
void register_plan_commands(CLI::App& app);
void register_compns_commands(CLI::App& app);
void register_defs_commands(CLI::App& app);
void register_solo_commands(CLI::App& app);

}  // namespace tool

// The kaldorn host tool: each command family registers its subcommands here.
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <string>

namespace tool {

// Exit codes: 0 success, 1 an answer that is an error code or a file that
// cannot be used, 2 a usage error (CLI11's own).
inline constexpr int kExitFailure = 1;

// Thrown by commands to end with a message on stderr and exit status 1.
struct Failure {
    std::string message;
};

// Prints a JSON document or, when json is false, nothing (the caller prints text).
void print_json(const nlohmann::json& doc);

// A 16-byte MD5 digest as 32 lower-case hex digits.
std::string hex_digest(const unsigned char* digest);

void register_checksum_commands(CLI::App& app);
void register_index_commands(CLI::App& app);
void register_plan_commands(CLI::App& app);
void register_compns_commands(CLI::App& app);
void register_defs_commands(CLI::App& app);
void register_solo_commands(CLI::App& app);

}  // namespace tool

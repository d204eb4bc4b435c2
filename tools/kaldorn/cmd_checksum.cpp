// crc32 and md5 of files, one line per file as cksum-style tools print them
// (md5 exactly as md5sum does, so that md5sum -c reads it). "-" is standard
// input; a directory, FIFO or device is refused, never read.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "kaldorn/crc32.h"
#include "kaldorn/md5lib.h"

namespace tool {

namespace {

// md5sum's line: a name holding "\\", a line feed or a carriage return is
// written with them escaped, and the line then starts with "\\".
std::string sum_line(const std::string& hex, const std::string& name) {
    std::string out;
    for (char c : name) out += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    return (out.size() == name.size() ? "" : "\\") + hex + "  " + out + '\n';
}

// Prints a line per file, or gathers one document; a file that cannot be
// read is a message, and fails the command once every file is done.
void sum_files(const char* command, const std::vector<std::string>& paths, std::string (*sum)(const std::string&)) {
    Json doc = document(command);
    doc["files"] = Json::array();
    std::string failures;
    for (const auto& p : paths) {
        std::string hex;
        try {
            check_input(p);
            hex = sum(p == "-" ? "/dev/stdin" : p);
            if (hex.empty()) throw Failure{escaped(p) + ": cannot be read"};
        } catch (const Failure& f) {
            failures += (failures.empty() ? "" : "\n") + f.message;
            doc["files"].push_back({{"path", p}, {"failure", failure_json(f)}});
            continue;
        }
        doc["files"].push_back({{"path", p}, {command, hex}});
        if (!run().json) std::cout << sum_line(hex, p);
    }
    if (!failures.empty()) throw Failure{failures, kExitRefused, nullptr, doc};
    answer(doc);
}

std::string crc32_of(const std::string& path) {
    CVXCrc32 crc;
    unsigned int value = 0;
    if (crc.GetFileCrc32open(path.c_str(), &value) != 1) return "";
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", value);
    return hex;
}

std::string md5_of(const std::string& path) {
    CMd5 md5;
    unsigned char digest[16];
    return md5.CalculateMD5(path.c_str(), digest) == 1 ? hex_digest(digest) : "";
}

void add(CLI::App& app, const char* name, const char* help, std::string (*sum)(const std::string&)) {
    auto paths = std::make_shared<std::vector<std::string>>();
    auto* cmd = app.add_subcommand(name, help);
    cmd->add_option("FILE", *paths, "Regular files; - reads standard input")->required();
    cmd->callback([paths, name, sum] { sum_files(name, *paths, sum); });
}

}  // namespace

void register_checksum_commands(CLI::App& app) {
    add(app, "crc32", "Standard CRC-32 of files (8 hex digits, then the name)", crc32_of);
    add(app, "md5", "MD5 digests of files in md5sum's format", md5_of);
}

}  // namespace tool

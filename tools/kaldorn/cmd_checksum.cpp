// crc32 and md5 of files, one line per file as cksum-style tools print them
// (md5 exactly as md5sum does, so that md5sum -c reads it).
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

struct FileArgs {
    std::vector<std::string> paths;
    bool json = false;
};

// Prints "HEX  PATH" per file, or one document; hex is empty for a file
// that cannot be read, which fails the command once every file is done.
void run(const char* command, const FileArgs& args, std::string (*sum)(const std::string&)) {
    Json doc = document(command);
    doc["files"] = Json::array();
    std::string failures;
    for (const auto& p : args.paths) {
        std::string hex = sum(p);
        if (hex.empty()) failures += (failures.empty() ? "" : "\nkaldorn: ") + p + ": cannot be read";
        else if (args.json) doc["files"].push_back({{"path", p}, {command, hex}});
        else std::cout << hex << "  " << p << '\n';
    }
    if (args.json) print_json(doc);
    if (!failures.empty()) throw Failure{failures};
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
    auto args = std::make_shared<FileArgs>();
    auto* cmd = app.add_subcommand(name, help);
    cmd->add_option("files", args->paths, "Files")->required();
    add_json_flag(*cmd, args->json);
    cmd->callback([args, name, sum] { run(name, *args, sum); });
}

}  // namespace

void register_checksum_commands(CLI::App& app) {
    add(app, "crc32", "Standard CRC-32 of files (8 hex digits, then the name)", crc32_of);
    add(app, "md5", "MD5 digests of files in md5sum's format", md5_of);
}

}  // namespace tool

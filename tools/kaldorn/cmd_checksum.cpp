// crc32 and md5 of files, printed like cksum-style tools (md5 as md5sum does).
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "kaldorn/crc32.h"
#include "kaldorn/md5lib.h"

namespace tool {

std::string hex_digest(const unsigned char* d) {
    char out[33];
    for (int i = 0; i < 16; ++i) std::snprintf(out + 2 * i, 3, "%02x", d[i]);
    return out;
}

namespace {

struct FileArgs {
    std::vector<std::string> files;
    bool json = false;
};

void run_crc32(const FileArgs& args) {
    CVXCrc32 crc;
    nlohmann::json doc = nlohmann::json::array();
    for (const auto& f : args.files) {
        unsigned int value = 0;
        if (crc.GetFileCrc32open(f.c_str(), &value) != 1) throw Failure{f + ": cannot be opened"};
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", value);
        if (args.json)
            doc.push_back({{"file", f}, {"crc32", hex}});
        else
            std::cout << hex << "  " << f << '\n';
    }
    if (args.json) print_json(doc);
}

void run_md5(const FileArgs& args) {
    CMd5 md5;
    nlohmann::json doc = nlohmann::json::array();
    for (const auto& f : args.files) {
        unsigned char digest[16];
        if (md5.CalculateMD5(f.c_str(), digest) != 1) throw Failure{f + ": cannot be read"};
        if (args.json)
            doc.push_back({{"file", f}, {"md5", hex_digest(digest)}});
        else
            std::cout << hex_digest(digest) << "  " << f << '\n';
    }
    if (args.json) print_json(doc);
}

}  // namespace

void register_checksum_commands(CLI::App& app) {
    auto crc_args = std::make_shared<FileArgs>();
    auto* crc = app.add_subcommand("crc32", "Print the standard CRC-32 of files (8 hex digits, then the name)");
    crc->add_option("files", crc_args->files, "Files to checksum")->required()->check(CLI::ExistingFile);
    crc->add_flag("--json", crc_args->json, "Print a JSON array of {file, crc32}");
    crc->callback([crc_args] { run_crc32(*crc_args); });

    auto md5_args = std::make_shared<FileArgs>();
    auto* md5 = app.add_subcommand("md5", "Print MD5 digests of files in md5sum's format");
    md5->add_option("files", md5_args->files, "Files to digest")->required()->check(CLI::ExistingFile);
    md5->add_flag("--json", md5_args->json, "Print a JSON array of {file, md5}");
    md5->callback([md5_args] { run_md5(*md5_args); });
}

}  // namespace tool

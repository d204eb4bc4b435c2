// compns: build, extend, verify, merge and diff component lists, and read or
// set their platform identifiers (show prints a whole list).
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "kaldorn/vxcminfo.h"

namespace tool {

namespace {

using Rec = tagVX_COMPONENT_FILE_MEM_RECORD_INFO;

[[noreturn]] void fail(const std::string& what, unsigned int code) {
    throw Failure{what + ": " + meaning(code) + " (code " + std::to_string(code) + ")"};
}

Json record(const Rec& r) {
    return {{"file", std::string(r.szFileName)}, {"flag", r.dwFlag}, {"size", r.dwFileSize},
            {"md5", hex_digest(r.uchMD5Digest)},  {"tag", r.dwTag}};
}

void print_records(const Json& records) {
    for (const auto& r : records)
        std::printf("%s  flag %u  tag %u  %10u  %s\n", r["md5"].get<std::string>().c_str(), r["flag"].get<unsigned>(),
                    r["tag"].get<unsigned>(), r["size"].get<unsigned>(), r["file"].get<std::string>().c_str());
}

struct Args {
    std::string list, dir, dir2, older, newer, output, file;
    unsigned int flag = 1;
    std::vector<unsigned int> ids;
    bool json = false;
};

void run_build(const Args& a) {
    std::vector<std::string> files;
    std::error_code ec, status;
    for (const auto& e : std::filesystem::directory_iterator(a.dir, ec))
        if (e.is_regular_file(status) && plain_file_name(e.path())) files.push_back(e.path().string());
    if (ec) throw Failure{a.dir + ": cannot be read as a directory: " + ec.message()};
    std::sort(files.begin(), files.end());
    std::vector<Rec> recs(files.size());
    unsigned int code = 0;
    Progress progress("hashing", files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        if (GetCompnLstFileRecord(files[i].c_str(), a.flag, &recs[i], &code) != 1) fail(files[i], code);
        progress.step(i + 1);
    }
    progress.done();
    if (DumpRecordsToCompnLstFile(a.list.c_str(), recs.data(), static_cast<unsigned int>(recs.size()), 0, nullptr,
                                  &code) != 1)
        fail(a.list, code);
    std::cout << recs.size() << " components of " << a.dir << " written to " << a.list << '\n';
}

void run_add(const Args& a) {
    unsigned int reserved = 0, code = 0;
    if (AddEntrytoCompnLstFile(a.file.c_str(), a.flag, 0, a.list.c_str(), &reserved, &code) != 1)
        fail(code == KALDORN_E_NO_FILE && ::access(a.file.c_str(), F_OK) == 0 ? a.list : a.file, code);
    std::cout << (code == KALDORN_E_ALREADY_PRESENT ? "already up to date: " : "entry written: ") << a.file << '\n';
}

void run_verify(const Args& a) {
    ComponentRecords recs;
    unsigned int code = 0;
    const char* second = a.dir2.empty() ? nullptr : a.dir2.c_str();
    if (VerifyCompnsFileRecords(a.list.c_str(), a.dir.c_str(), second, &recs.data, &recs.count, &code) != 1)
        fail(a.list, code);
    Json doc = document("compns verify");
    doc["list"] = a.list;
    doc["directories"] = a.dir2.empty() ? Json{a.dir} : Json{a.dir, a.dir2};
    doc["files"] = Json::array();
    for (const Rec& r : recs) {
        auto present = [&](const std::string& d) {
            return !d.empty() && std::filesystem::exists(std::filesystem::path(d) / r.szFileName);
        };
        const char* state = present(a.dir) || present(a.dir2) ? "damaged" : "missing";
        doc["files"].push_back({{"file", std::string(r.szFileName)}, {"state", state}});
        if (!a.json) std::cout << state << "  " << r.szFileName << '\n';
    }
    if (a.json)
        print_json(doc);
    else
        std::cout << recs.count << " component(s) need repair\n";
}

void run_merge(const Args& a) {
    unsigned int count = 0, code = 0;
    if (MergeCompnLstFilesEx(a.older.c_str(), a.newer.c_str(), a.output.c_str(), &count, &code) != 1)
        fail(a.older + " + " + a.newer + " -> " + a.output, code);
    std::cout << count << " records written to " << a.output << '\n';
}

void run_diff(const Args& a) {
    ComponentRecords recs;
    unsigned int code = 0;
    if (GenerateDiffforCompnLstFiles(a.older.c_str(), a.newer.c_str(), &recs.data, &recs.count, &code) != 1)
        fail(a.older + " / " + a.newer, code);
    Json doc = document("compns diff");
    doc["older"] = a.older;
    doc["newer"] = a.newer;
    doc["records"] = Json::array();
    for (const Rec& r : recs) doc["records"].push_back(record(r));
    if (a.json) return print_json(doc);
    print_records(doc["records"]);
    std::cout << recs.count << " new or changed record(s)\n";
}

void run_platform(const Args& a) {
    unsigned int code = 0, id[3] = {};
    if (!a.ids.empty() && SetCompnListFilePlatformId(a.list.c_str(), a.ids[0], a.ids[1], a.ids[2], &code) != 1)
        fail(a.list, code);
    if (GetCompnListFilePlatformId(a.list.c_str(), &id[0], &id[1], &id[2], &code) != 1) fail(a.list, code);
    Json doc = document("compns platform");
    doc["list"] = a.list;
    doc["platform"] = {id[0], id[1], id[2]};
    if (a.json)
        print_json(doc);
    else
        std::cout << id[0] << ' ' << id[1] << ' ' << id[2] << '\n';
}

}  // namespace

Json component_list(const std::string& path) {
    ComponentRecords recs;
    unsigned int code = 0, id[3] = {};
    if (GetCompnListFromLstFile(path.c_str(), &recs.data, &recs.count, &code) != 1) {
        const std::string refused = code == KALDORN_E_RECORD_PAST_END ? refused_record(path, true) : "";
        if (!refused.empty()) throw Failure{path + ": " + refused + " (code 18)"};
        fail(path, code);
    }
    GetCompnListFilePlatformId(path.c_str(), &id[0], &id[1], &id[2], &code);
    Json doc = {{"path", path},
                {"type", "component list"},
                {"checksum_ok", true},
                {"platform", {id[0], id[1], id[2]}},
                {"records", Json::array()}};
    for (const Rec& r : recs) doc["records"].push_back(record(r));
    return doc;
}

void print_component_list(const Json& doc) {
    const auto& id = doc["platform"];
    std::cout << doc["path"].get<std::string>() << ": component list, head checksum ok, " << doc["records"].size()
              << " records, platform identifiers " << id[0] << ' ' << id[1] << ' ' << id[2] << '\n';
    std::cout.flush();
    print_records(doc["records"]);
}

void register_compns_commands(CLI::App& app) {
    auto a = std::make_shared<Args>();
    auto* compns = app.add_subcommand("compns", "Build, verify, merge and diff component lists");
    compns->require_subcommand(1);
    auto sub = [&](const char* name, const char* help, void (*run)(const Args&)) {
        auto* s = compns->add_subcommand(name, help);
        s->callback([a, run] { run(*a); });
        return s;
    };
    auto* build = sub("build", "Write a list of every regular file in a directory", run_build);
    build->add_option("dir", a->dir, "Installation directory")->required();
    build->add_option("list", a->list, "List file to write")->required();
    build->add_option("--flag", a->flag, "Flag of every record (1: verified)");

    auto* add = sub("add", "Add or refresh the entry of one file, creating the list if needed", run_add);
    add->add_option("file", a->file, "Component file")->required();
    add->add_option("list", a->list, "Component list")->required();
    add->add_option("--flag", a->flag, "Flag of the record (1: verified)");

    auto* verify = sub("verify", "Report missing and damaged components of an installation", run_verify);
    verify->add_option("list", a->list, "Component list")->required();
    verify->add_option("dir", a->dir, "Installation directory")->required();
    verify->add_option("dir2", a->dir2, "Second directory searched for missing components");
    add_json_flag(*verify, a->json);

    auto* merge = sub("merge", "Merge an older and a newer list into a file", run_merge);
    merge->add_option("older", a->older, "Older list (may be missing)")->required();
    merge->add_option("newer", a->newer, "Newer list")->required();
    merge->add_option("output", a->output, "List to write (may be an input)")->required();

    auto* diff = sub("diff", "Show the newer list's new or changed records", run_diff);
    diff->add_option("older", a->older, "Older list (may be missing)")->required();
    diff->add_option("newer", a->newer, "Newer list")->required();
    add_json_flag(*diff, a->json);

    auto* platform = sub("platform", "Print, or set and print, the three platform identifiers", run_platform);
    platform->add_option("list", a->list, "Component list")->required();
    platform->add_option("--set", a->ids, "Three values to store")->expected(3);
    add_json_flag(*platform, a->json);
}

}  // namespace tool

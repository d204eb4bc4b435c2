// compns: build, extend, verify, merge and diff component lists, and read or
// set their platform identifiers (show prints a whole list).
#include <fcntl.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "commands.h"
#include "kaldorn/vxcminfo.h"
#include "support/bytes.h"
#include "support/fd_guard.h"
#include "support/fileio.h"
#include "support/path.h"

namespace tool {

namespace {

using Rec = tagVX_COMPONENT_FILE_MEM_RECORD_INFO;
namespace pub = kaldorn::publish;

// A list whose head counts more records than its bytes can hold makes the
// reader ask for more memory than there is: say so, not "out of memory".
std::string count_problem(const std::string& path) {
    kaldorn::detail::FdGuard fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    unsigned char raw[4];  // the record count closes the 80-byte head
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || st.st_size < 80 || ::pread(fd.get(), raw, 4, 76) != 4) return "";
    const unsigned long long count = kaldorn::detail::load_le32(raw);
    const auto room = static_cast<unsigned long long>(st.st_size - 80) / 41;
    if (count <= room) return "";
    return "its head counts " + std::to_string(count) + " records, more than its " + std::to_string(st.st_size) +
           " bytes hold (at least 41 a record)";
}

// Why a list does not read, from the reader's code, naming the list.
[[noreturn]] void fail_list(const std::string& path, unsigned int code) {
    std::string why = code == KALDORN_E_RECORD_PAST_END ? refused_record(path, true)
                      : code == KALDORN_E_NO_MEMORY     ? count_problem(path)
                                                        : "";
    throw Failure{escaped(path) + ": " + (why.empty() ? meaning(code) : why) + " (code " + std::to_string(code) + ")",
                  kExitRefused, code};
}

// Reads each list that is there; the first that does not read ends the command.
void check_lists(const std::vector<std::string>& paths) {
    for (const auto& p : paths) {
        ComponentRecords recs;
        unsigned int code = 0;
        if (::access(p.c_str(), F_OK) == 0 && GetCompnListFromLstFile(p.c_str(), &recs.data, &recs.count, &code) != 1)
            fail_list(p, code);
    }
}

[[noreturn]] void fail(const std::string& what, unsigned int code) {
    throw Failure{escaped(what) + ": " + meaning(code) + " (code " + std::to_string(code) + ")", kExitRefused, code};
}

Json record(const Rec& r) {
    return {{"file", std::string(r.szFileName)}, {"flag", r.dwFlag}, {"size", r.dwFileSize},
            {"md5", hex_digest(r.uchMD5Digest)},  {"tag", r.dwTag}};
}

pub::Component component(const Rec& r) {
    pub::Component c{r.dwFlag, r.dwFileSize, {}, r.dwTag, r.szFileName, {}};
    std::memcpy(c.digest.data(), r.uchMD5Digest, sizeof r.uchMD5Digest);
    std::memcpy(c.reserved.data(), r.uchReserved, sizeof r.uchReserved);
    return c;
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
    TrustArgs trust;  // verify, merge, diff: the release of LIST's or NEWER's directory
};

// Tells the user what was written (text), or says it in the document.
void written(Json doc, const std::string& text) {
    if (!run().json) std::cout << text << '\n';
    answer(std::move(doc));
}

void run_build(const Args& a) {
    check_output(a.list, "a component list", is_component_list);
    const std::vector<DirFile> files = regular_files(a.dir);
    std::vector<pub::Component> recs;
    Progress progress("hashing", files.size());
    for (const auto& f : files) {
        Rec r{};
        unsigned int code = 0;
        if (GetCompnLstFileRecord(f.path.c_str(), a.flag, &r, &code) != 1) fail(f.path, code);
        recs.push_back(component(r));
        progress.step(recs.size());
    }
    progress.done();
    write_output(a.list, pub::component_list(recs), true);
    Json doc = document("compns build");
    doc.update(Json{{"directory", a.dir}, {"list", a.list}, {"records", recs.size()}});
    written(doc, std::to_string(recs.size()) + " components of " + a.dir + " written to " + a.list);
}

std::string parent(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// A list names the files of one directory by their names alone: the
// component must lie in the installation directory itself.
void check_installed(const Args& a) {
    const std::string dir = a.dir.empty() ? parent(a.list) : a.dir, name = a.file.substr(a.file.rfind('/') + 1);
    if (!kaldorn::detail::is_plain_name(name.c_str(), name.size() + 1))
        throw Failure{escaped(a.file) + ": its name holds a control byte, which no reader takes back"};
    struct stat in {}, at {};
    if (::stat(parent(a.file).c_str(), &in) == 0 && ::stat(dir.c_str(), &at) == 0 && in.st_dev == at.st_dev &&
        in.st_ino == at.st_ino)
        return;
    throw Failure{escaped(a.file) + ": not in the installation directory " + escaped(dir) +
                  (a.dir.empty() ? " (the list's; --dir names another)" : "") +
                  ": a list names the files of one directory by their names alone"};
}

void run_add(const Args& a) {
    check_input(a.file);
    check_input(a.list, true);
    check_installed(a);
    unsigned int reserved = 0, code = 0;
    if (AddEntrytoCompnLstFile(a.file.c_str(), a.flag, 0, a.list.c_str(), &reserved, &code) != 1) {
        check_lists({a.list});
        fail(code == KALDORN_E_DIGEST ? a.file : a.list, code);
    }
    const bool same = code == KALDORN_E_ALREADY_PRESENT;
    Json doc = document("compns add");
    doc.update(Json{{"list", a.list}, {"file", a.file}, {"written", !same}});
    written(doc, escaped(a.list) + (same ? ": already holds " : ": entry written for ") + escaped(a.file));
}

// Whether an entry of an open directory is a FIFO or a device (a link is
// followed): opening or reading it would block, or never end.
bool may_block(DIR* dir, const dirent& e) {
    const mode_t type = kaldorn::detail::entry_type(::dirfd(dir), e);
    return S_ISFIFO(type) || S_ISCHR(type) || S_ISBLK(type);
}

// The components the library will read must not block it. One listing of
// each directory finds the entries that would; only when there is one is the
// list read to see whether it names one, which is then refused.
void check_components(const Args& a) {
    std::set<std::string> blocking;
    for (const auto* d : {&a.dir, &a.dir2}) {
        std::unique_ptr<DIR, int (*)(DIR*)> dir(d->empty() ? nullptr : ::opendir(d->c_str()), ::closedir);
        while (const dirent* e = dir ? ::readdir(dir.get()) : nullptr)
            if (may_block(dir.get(), *e)) blocking.insert(*d + "/" + e->d_name);
    }
    if (blocking.empty()) return;
    ComponentRecords recs;
    unsigned int code = 0;
    if (GetCompnListFromLstFile(a.list.c_str(), &recs.data, &recs.count, &code) != 1) fail_list(a.list, code);
    for (const Rec& r : recs)
        for (const auto* d : {&a.dir, &a.dir2})
            if (!d->empty() && blocking.count(*d + "/" + r.szFileName) != 0) check_input(*d + "/" + r.szFileName);
}

void run_verify(const Args& a) {
    check_input(a.list);
    check_release(a.trust, directory_of(a.list));
    for (const auto* d : {&a.dir, &a.dir2})
        if (!d->empty() && !check_directory(*d)) throw Failure{escaped(*d) + ": no such directory"};
    check_components(a);
    ComponentRecords recs;
    unsigned int code = 0;
    Progress progress("verifying", 0);
    progress.step(0);
    const char* second = a.dir2.empty() ? nullptr : a.dir2.c_str();
    const int ok = VerifyCompnsFileRecords(a.list.c_str(), a.dir.c_str(), second, &recs.data, &recs.count, &code);
    progress.done();
    if (ok != 1) {
        check_lists({a.list});
        fail(code == KALDORN_E_OPEN ? "a component's path under " + a.dir : a.list, code);
    }
    Json doc = document("compns verify");
    doc["list"] = a.list;
    doc["directories"] = a.dir2.empty() ? Json{a.dir} : Json{a.dir, a.dir2};
    doc["files"] = Json::array();
    for (const Rec& r : recs) {
        auto present = [&](const std::string& d) {
            return !d.empty() && ::access((d + "/" + r.szFileName).c_str(), F_OK) == 0;
        };
        const char* state = present(a.dir) || present(a.dir2) ? "damaged" : "missing";
        doc["files"].push_back({{"file", std::string(r.szFileName)}, {"state", state}});
        if (!run().json) std::cout << state << "  " << r.szFileName << '\n';
    }
    if (!run().json) std::cout << recs.count << " component(s) need repair\n";
    answer(doc);
}

// The older list may be missing: the answer then rests on the newer alone.
void check_pair(const Args& a) {
    if (!check_input(a.older, true))
        warn("no list " + escaped(a.older) + ": the answer rests on " + escaped(a.newer) + " alone");
    check_input(a.newer);
}

void run_merge(const Args& a) {
    check_pair(a);
    check_release(a.trust, directory_of(a.newer));
    if (a.output != a.older && a.output != a.newer) check_output(a.output, "a component list", is_component_list);
    check_length(a.output);
    unsigned int count = 0, code = 0;
    if (MergeCompnLstFilesEx(a.older.c_str(), a.newer.c_str(), a.output.c_str(), &count, &code) != 1) {
        check_lists({a.older, a.newer});
        fail(a.output, code);
    }
    Json doc = document("compns merge");
    doc.update(Json{{"older", a.older}, {"newer", a.newer}, {"output", a.output}, {"records", count}});
    written(doc, std::to_string(count) + " records written to " + a.output);
}

void run_diff(const Args& a) {
    check_pair(a);
    check_release(a.trust, directory_of(a.newer));
    ComponentRecords recs;
    unsigned int code = 0;
    if (GenerateDiffforCompnLstFiles(a.older.c_str(), a.newer.c_str(), &recs.data, &recs.count, &code) != 1) {
        check_lists({a.older, a.newer});
        fail(a.older + ", " + a.newer, code);
    }
    Json doc = document("compns diff");
    doc["older"] = a.older;
    doc["newer"] = a.newer;
    doc["records"] = Json::array();
    for (const Rec& r : recs) doc["records"].push_back(record(r));
    if (!run().json) {
        print_records(doc["records"]);
        std::cout << recs.count << " new or changed record(s)\n";
    }
    answer(doc);
}

// Setting rewrites the whole list through a copy, its records as they are.
void run_platform(const Args& a) {
    check_input(a.list);
    ComponentRecords recs;
    unsigned int code = 0, id[3] = {};
    if (!a.ids.empty()) {
        if (GetCompnListFromLstFile(a.list.c_str(), &recs.data, &recs.count, &code) != 1) fail_list(a.list, code);
        std::vector<pub::Component> all;
        for (const Rec& r : recs) all.push_back(component(r));
        write_output(a.list, pub::component_list(all, {a.ids[0], a.ids[1], a.ids[2]}), false);
    }
    if (GetCompnListFilePlatformId(a.list.c_str(), &id[0], &id[1], &id[2], &code) != 1) fail_list(a.list, code);
    Json doc = document("compns platform");
    doc["list"] = a.list;
    doc["platform"] = {id[0], id[1], id[2]};
    if (!run().json) std::cout << id[0] << ' ' << id[1] << ' ' << id[2] << '\n';
    answer(doc);
}

}  // namespace

Json component_list(const std::string& path) {
    ComponentRecords recs;
    unsigned int code = 0, id[3] = {};
    if (GetCompnListFromLstFile(path.c_str(), &recs.data, &recs.count, &code) != 1) fail_list(path, code);
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
        return subcommand(*compns, name, help, a, run);
    };
    auto* build = sub("build", "Write a list of every regular file in a directory", run_build);
    build->add_option("DIR", a->dir, "Installation directory")->required();
    build->add_option("LIST", a->list, "List file to write (new files: mode 0666 less the umask)")->required();
    add_number(*build, "--flag", a->flag, "Flag of every record (1: verified)")->default_str("1");
    build->add_flag("--force", run().force, "Replace a LIST that is not a component list");

    auto* add = sub("add", "Add or refresh the entry of one file, creating the list if needed", run_add);
    add->add_option("FILE", a->file, "Component file, in the installation directory")->required();
    add->add_option("LIST", a->list, "Component list")->required();
    add_number(*add, "--flag", a->flag, "Flag of the record (1: verified)")->default_str("1");
    add->add_option("--dir", a->dir, "Installation directory (default: the list's directory)");

    auto* verify = sub("verify", "Report missing and damaged components of an installation", run_verify);
    verify->add_option("LIST", a->list, "Component list")->required();
    verify->add_option("DIR", a->dir, "Installation directory")->required();
    verify->add_option("DIR2", a->dir2, "Second directory searched for missing components");
    add_trust_options(*verify, a->trust, "LIST's directory");

    auto* merge = sub("merge", "Merge an older and a newer list into a file", run_merge);
    merge->add_option("OLDER", a->older, "Older list (may be missing)")->required();
    merge->add_option("NEWER", a->newer, "Newer list")->required();
    merge->add_option("OUTPUT", a->output, "List to write (may be an input)")->required();
    merge->add_flag("--force", run().force, "Replace an OUTPUT that is not a component list");
    add_trust_options(*merge, a->trust, "NEWER's directory");

    auto* diff = sub("diff", "Show the newer list's new or changed records", run_diff);
    diff->add_option("OLDER", a->older, "Older list (may be missing)")->required();
    diff->add_option("NEWER", a->newer, "Newer list")->required();
    add_trust_options(*diff, a->trust, "NEWER's directory");

    auto* platform = sub("platform", "Print, or set and print, the three platform identifiers", run_platform);
    platform->add_option("LIST", a->list, "Component list")->required();
    platform->add_option("--set", a->ids, "Three values to store")->expected(3)->type_name("NUM");
}

}  // namespace tool

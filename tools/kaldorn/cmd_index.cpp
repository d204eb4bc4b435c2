// index build: the publisher's side, which the library itself does not do.
// Both index DATs are assembled whole in memory by the publisher's writers
// and written once, through a copy that replaces the output only when
// complete, so nothing of the layout is repeated here.
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "commands.h"
#include "kaldorn/nupdtinf.h"
#include "kaldorn/soloindx.h"
#include "publish/publish.h"
#include "support/bytes.h"
#include "support/fileio.h"
#include "support/path.h"

namespace tool {

namespace {

namespace pub = kaldorn::publish;

struct Build {
    std::string output, text_file, dir;
    unsigned int product = 1;
    std::string version;  // "MAJOR.MINOR" of the DB version
};

std::pair<unsigned int, unsigned int> parse_version(const std::string& v) {
    unsigned int major = 0, minor = 0;
    char dot = 0;
    std::istringstream in(v);
    if (!(in >> major >> dot >> minor) || dot != '.' || !in.eof())
        usage("--version must read MAJOR.MINOR, not '" + v + "'");
    return {major, minor};
}

void build_version(const Build& b) {
    auto [major, minor] = parse_version(b.version);
    check_input(b.text_file);
    check_output(b.output, "an index DAT", is_index_dat);
    std::string text;
    {
        kaldorn::detail::FdGuard in(kaldorn::detail::open_read(b.text_file.c_str()));
        char chunk[4096];
        size_t got;
        while (in.valid() && (got = kaldorn::detail::read_full(in.get(), chunk, sizeof chunk)) > 0)
            text.append(chunk, got);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    // Refuse a text the planners would reject, or one without the DB version.
    tagUPDT_BUFFER_DATA data{reinterpret_cast<unsigned char*>(text.data()), static_cast<unsigned int>(text.size())};
    std::vector<tagUPDT_VERSION_BUFFER> entries(text.size());
    unsigned int count = 0, type = 0;
    int at = 0;
    tagKAL_DORN_DBVERSION_INFO db{major, minor};
    if (ConvertDATBufferFormat(&data, entries.data(), static_cast<unsigned int>(entries.size()), &count) != 1)
        throw Failure{escaped(b.text_file) + ": not a version text (tokens 1, 0001; and 0010;)"};
    if (GetVersionIndex(entries.data(), count, &db, &at, &type) != 1)
        throw Failure{escaped(b.text_file) + ": version " + b.version + " is not in the text"};
    write_output(b.output, pub::version_index({b.product, 0, 0, {1, 1}, db, text}), true);
    Json doc = document("index build");
    doc.update(Json{{"path", b.output}, {"type", "version index DAT"}, {"db_version", b.version}});
    answer(doc);
    if (!run().json) std::cout << "version index DAT written to " << b.output << '\n';
}

// One record per regular file of the directory, in name order, as the
// library's appender would add them one by one: ids from 1, each record's
// date stamp the file's modification time and its data the file's size;
// names that differ in ASCII case alone are one definition, dated by the
// last. The last one is stamped current, as UpdateSoloIndexDatFile stamps
// (DAT version 1, revision 1).
void build_definitions(const Build& b) {
    check_output(b.output, "an index DAT", is_index_dat);
    const std::vector<DirFile> files = regular_files(b.dir);
    if (files.empty()) throw Failure{escaped(b.dir) + ": holds no definition files"};
    pub::DefinitionIndex index;
    index.product = b.product;
    index.revision = 1;
    index.dat_version = 1;
    index.stamped = true;
    std::unordered_map<std::string, size_t> by_name;
    Progress progress("adding", files.size());
    for (const auto& f : files) {
        std::string key = f.name;
        for (char& c : key) c = static_cast<char>(kaldorn::detail::fold_ascii(static_cast<unsigned char>(c)));
        auto [it, fresh] = by_name.try_emplace(key, index.records.size());
        if (fresh) index.records.push_back({static_cast<uint32_t>(index.records.size() + 1), {}, 0, 1, f.name});
        pub::Definition& r = index.records[it->second];
        kaldorn::detail::store_le32(r.date.data(), static_cast<uint32_t>(f.mtime));
        r.data = static_cast<uint32_t>(f.size);
        index.current = r.id;
        progress.step(static_cast<size_t>(&f - files.data()) + 1);
    }
    progress.done();
    write_output(b.output, pub::definition_index(index), true);
    Json doc = document("index build");
    doc.update(Json{{"path", b.output}, {"type", "definition index DAT"}, {"records", index.records.size()},
                    {"current_def_id", index.current}});
    answer(doc);
    if (!run().json)
        std::cout << index.records.size() << " definitions of " << b.dir << " written to " << b.output << ", current "
                  << index.current << '\n';
}

}  // namespace

void register_index_commands(CLI::App& app) {
    auto* index = app.add_subcommand("index", "Publisher side: write index DATs with correct checksums");
    index->require_subcommand(1);
    auto b = std::make_shared<Build>();
    auto* build =
        index->add_subcommand("build", "Write a version index DAT (--text) or a definition index DAT (--dir)");
    build->add_option("OUTPUT", b->output, "Index DAT to write (new files: mode 0666 less the umask)")->required();
    build->add_option("--text", b->text_file, "File holding the version text (tokens 1, 0001;, 0010;)")
        ->type_name("FILE");
    build->add_option("--dir", b->dir, "Directory of definition files, one record each")->type_name("DIR");
    add_number(*build, "--product", b->product, "Product identifier")->default_str("1");
    build->add_option("--version", b->version, "DB version of a version index DAT")->type_name("MAJOR.MINOR");
    build->add_flag("--force", run().force, "Replace an OUTPUT that is not an index DAT");
    build->callback([b] {
        if (!b->text_file.empty() && !b->dir.empty()) usage("index build takes --text or --dir, not both");
        if (!b->text_file.empty()) {
            if (b->version.empty()) usage("--text needs --version MAJOR.MINOR");
            build_version(*b);
        } else if (!b->dir.empty()) {
            if (!b->version.empty()) usage("--version is for --text only");
            build_definitions(*b);
        } else {
            usage("index build needs --text FILE --version MAJOR.MINOR, or --dir DIR");
        }
    });
}

}  // namespace tool

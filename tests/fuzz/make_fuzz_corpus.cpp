// Writes the seed corpus of every fuzz target into DIR/<target>/, built by
// the fixture writers: valid files of each kind, the example's among them.
#include <filesystem>
#include <iostream>

#include "compnwriter.h"
#include "datwriter.h"
#include "planwriter.h"

namespace fs = std::filesystem;
using fixtures::Bytes;

static void seed(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    fs::create_directories(dir);
    fixtures::write_file(dir / name, bytes);
}

// Two files as one input: a little-endian 16-bit split point, then both.
static Bytes pair(const Bytes& a, const Bytes& b) {
    Bytes out{static_cast<uint8_t>(a.size() & 0xff), static_cast<uint8_t>(a.size() >> 8)};
    out.insert(out.end(), a.begin(), a.end());
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

static Bytes version(const std::string& text, uint32_t major, uint32_t minor, uint32_t entries = 0) {
    fixtures::VersionDat v;
    v.text = text;
    v.db_major = major;
    v.db_minor = minor;
    v.entries = entries;
    return fixtures::build_version_dat(v);
}

static Bytes definitions(uint32_t dat_version, uint32_t records) {
    fixtures::DefinitionDat d;
    d.dat_version = dat_version;
    for (uint32_t i = 1; i <= records; ++i)
        d.records.push_back({i, {0x10, 0x0b, 0x1a, 0x07, 0xea, 0x07, static_cast<uint8_t>(i)}, 0, 1,
                             "patterns." + std::to_string(i)});
    d.last_def_id = d.current_def_id = records;
    return fixtures::build_definition_dat(d);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_fuzz_corpus DIR\n";
        return 2;
    }
    fs::path root = argv[1];
    const std::string example = fixtures::kExampleText;
    const Bytes source = version(example, 8, 2), client = version(example, 2, 2);
    const Bytes longer = version(fixtures::repeated_text(40), 3, 1, 2), empty = version("", 0, 0);
    seed(root / "fuzz_version_index", "example_source", source);
    seed(root / "fuzz_version_index", "example_client", client);
    seed(root / "fuzz_version_index", "long_text", longer);
    seed(root / "fuzz_version_index", "empty_text", empty);
    seed(root / "fuzz_planning", "example", pair(client, source));
    seed(root / "fuzz_planning", "long", pair(version(fixtures::repeated_text(40), 1, 1), longer));
    seed(root / "fuzz_planning", "same", pair(source, source));

    const Bytes defs1 = definitions(1, 2), defs2 = definitions(2, 3), none = definitions(1, 0);
    seed(root / "fuzz_definition_index", "example_client", defs1);
    seed(root / "fuzz_definition_index", "example_source", defs2);
    seed(root / "fuzz_definition_index", "no_records", none);
    seed(root / "fuzz_solo_compare", "example", pair(defs1, defs2));
    seed(root / "fuzz_solo_compare", "from_nothing", pair(none, defs2));
    for (const auto& [name, file] : {std::pair{"two", defs1}, {"three", defs2}, {"none", none}}) {
        // stamp id 7, record id 2, value 9, status 1, a date, then "patterns.new"
        Bytes input{7, 0, 0, 0, 2, 0, 0, 0, 9, 0, 0, 0, 1, 0x10, 0x0b, 12};
        input.reserve(input.size() + file.size() + 12);
        input.insert(input.end(), file.begin(), file.end());
        for (char c : std::string("patterns.new")) input.push_back(static_cast<uint8_t>(c));
        seed(root / "fuzz_definition_writers", name, input);
    }

    using fixtures::entry_for;
    seed(root / "fuzz_component_list", "example_client",
         fixtures::list_bytes({entry_for("engine.core", "engine core v2\n"), entry_for("patterns.main", "patterns main\n"),
                               entry_for("patterns.extra", "patterns extra\n"), entry_for("readme.txt", "readme\n", 0)}));
    seed(root / "fuzz_component_list", "one", fixtures::list_bytes({entry_for("a", "")}));
    seed(root / "fuzz_component_list", "empty", fixtures::list_bytes({}));

    seed(root / "fuzz_checksums", "empty", {});
    seed(root / "fuzz_checksums", "short", {'a', 'b', 'c'});
    seed(root / "fuzz_checksums", "random", fixtures::random_bytes(1500, 7));
    seed(root / "fuzz_checksums", "index", source);
    return 0;
}

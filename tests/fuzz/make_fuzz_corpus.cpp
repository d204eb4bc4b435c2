// Writes the seed corpus of every fuzz target into DIR/<target>/: valid files
// of each kind from the publisher's writers.
#include <iostream>

#include "files.h"

namespace pub = kaldorn::publish;
using fx::Bytes;

static Bytes cat(Bytes a, const Bytes& b) { return a.insert(a.end(), b.begin(), b.end()), a; }

static Bytes pair(const Bytes& a, const Bytes& b) {  // a little-endian 16-bit split point, then both files
    return cat(cat({static_cast<uint8_t>(a.size()), static_cast<uint8_t>(a.size() >> 8)}, a), b);
}

static Bytes version(const std::string& text, uint32_t major, uint32_t minor, uint32_t entries = 0) {
    return pub::version_index({1, 0, entries, {1, 1}, {major, minor}, text});
}

static Bytes definitions(uint32_t dat_version, uint32_t records) {
    pub::DefinitionIndex d{.dat_version = dat_version, .current = records, .records = {}};
    for (uint32_t i = 1; i <= records; ++i)
        d.records.push_back(fx::def(i, static_cast<uint8_t>(i), "patterns." + std::to_string(i)));
    return pub::definition_index(d);
}

static Bytes writers(const Bytes& file) {  // stamp id 7, record id 2, value 9, status 1, a date, the file, a name
    const std::string name = "patterns.new";
    return cat(cat({7, 0, 0, 0, 2, 0, 0, 0, 9, 0, 0, 0, 1, 0x10, 0x0b, 12}, file), Bytes(name.begin(), name.end()));
}

int main(int argc, char** argv) {
    if (argc != 2) return std::cerr << "usage: make_fuzz_corpus DIR\n", 2;
    std::string long_text;
    for (size_t i = 0; i < 40; ++i) long_text += i % 9 == 2 || i % 9 == 5 ? "0001;" : i % 9 == 8 ? "0010;" : "1";
    const Bytes source = version(fx::kExampleText, 8, 2), client = version(fx::kExampleText, 2, 2),
                longer = version(long_text, 3, 1, 2);
    const Bytes defs1 = definitions(1, 2), defs2 = definitions(2, 3), none = definitions(1, 0);
    const std::vector<pub::Component> components = {
        pub::component("engine.core", "engine core v2\n"), pub::component("patterns.main", "patterns main\n"),
        pub::component("patterns.extra", "patterns extra\n"), pub::component("readme.txt", "readme\n", 0)};
    const std::vector<std::tuple<const char*, const char*, Bytes>> seeds = {
        {"fuzz_version_index", "example_source", source}, {"fuzz_version_index", "example_client", client},
        {"fuzz_version_index", "long_text", longer}, {"fuzz_version_index", "empty_text", version("", 0, 0)},
        {"fuzz_planning", "example", pair(client, source)}, {"fuzz_planning", "same", pair(source, source)},
        {"fuzz_planning", "long", pair(version(long_text, 1, 1), longer)},
        {"fuzz_definition_index", "example_client", defs1}, {"fuzz_definition_index", "example_source", defs2},
        {"fuzz_definition_index", "no_records", none}, {"fuzz_solo_compare", "example", pair(defs1, defs2)},
        {"fuzz_solo_compare", "from_nothing", pair(none, defs2)}, {"fuzz_definition_writers", "two", writers(defs1)},
        {"fuzz_definition_writers", "three", writers(defs2)}, {"fuzz_definition_writers", "none", writers(none)},
        {"fuzz_component_list", "example_client", pub::component_list(components)},
        {"fuzz_component_list", "one", pub::component_list({pub::component("a", "")})},
        {"fuzz_component_list", "empty", pub::component_list({})}, {"fuzz_checksums", "empty", {}},
        {"fuzz_checksums", "short", {'a', 'b', 'c'}}, {"fuzz_checksums", "random", fx::random_bytes(1500, 1)},
        {"fuzz_checksums", "index", source}};
    for (const auto& [target, name, bytes] : seeds)
        fx::write_file(std::filesystem::path(argv[1]) / target / name, bytes);
    return 0;
}

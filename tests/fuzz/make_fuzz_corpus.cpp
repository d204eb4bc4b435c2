// Writes the seed corpus of every fuzz target into DIR/<target>/: valid files
// of each kind from the publisher's writers.
#include <iostream>

#include "publish/publish.h"

namespace fs = std::filesystem;
namespace pub = kaldorn::publish;
using pub::Bytes;

// Two files as one input: a little-endian 16-bit split point, then both.
static Bytes pair(const Bytes& a, const Bytes& b) {
    Bytes out{static_cast<uint8_t>(a.size() & 0xff), static_cast<uint8_t>(a.size() >> 8)};
    out.insert(out.end(), a.begin(), a.end());
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

static Bytes version(const std::string& text, uint32_t major, uint32_t minor, uint32_t entries = 0) {
    return pub::version_index({1, 0, entries, {1, 1}, {major, minor}, text});
}

static Bytes definitions(uint32_t dat_version, uint32_t records) {
    pub::DefinitionIndex d;
    d.dat_version = dat_version;
    d.current = records;
    for (uint32_t i = 1; i <= records; ++i)
        d.records.push_back({i, {0x10, 0x0b, 0x1a, 0x07, 0xea, 0x07, static_cast<uint8_t>(i)}, 0, 1, "patterns." + std::to_string(i)});
    return pub::definition_index(d);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_fuzz_corpus DIR\n";
        return 2;
    }
    const auto seed = [root = fs::path(argv[1])](const std::string& target, const std::string& name, const Bytes& b) {
        fs::create_directories(root / target);
        return pub::write_file(root / target / name, b) ? 0 : 1;
    };
    std::string long_text;  // 40 tokens: dailies, weeklies and a monthly per series
    for (size_t i = 0; i < 40; ++i) long_text += i % 9 == 2 || i % 9 == 5 ? "0001;" : i % 9 == 8 ? "0010;" : "1";
    const std::string example = "110001;110001;110010;110001;110001;110010;110001;11";
    const Bytes source = version(example, 8, 2), client = version(example, 2, 2), longer = version(long_text, 3, 1, 2);
    const Bytes defs1 = definitions(1, 2), defs2 = definitions(2, 3), none = definitions(1, 0);
    int failed = seed("fuzz_version_index", "example_source", source) + seed("fuzz_version_index", "example_client", client) +
                 seed("fuzz_version_index", "long_text", longer) + seed("fuzz_version_index", "empty_text", version("", 0, 0)) +
                 seed("fuzz_planning", "example", pair(client, source)) + seed("fuzz_planning", "same", pair(source, source)) +
                 seed("fuzz_planning", "long", pair(version(long_text, 1, 1), longer)) +
                 seed("fuzz_definition_index", "example_client", defs1) + seed("fuzz_definition_index", "example_source", defs2) +
                 seed("fuzz_definition_index", "no_records", none) + seed("fuzz_solo_compare", "example", pair(defs1, defs2)) +
                 seed("fuzz_solo_compare", "from_nothing", pair(none, defs2));
    for (const auto& [name, file] : {std::pair{"two", defs1}, {"three", defs2}, {"none", none}}) {
        // stamp id 7, record id 2, value 9, status 1, a date, then "patterns.new"
        Bytes input{7, 0, 0, 0, 2, 0, 0, 0, 9, 0, 0, 0, 1, 0x10, 0x0b, 12};
        input.insert(input.end(), file.begin(), file.end());
        for (char c : std::string("patterns.new")) input.push_back(static_cast<uint8_t>(c));
        failed += seed("fuzz_definition_writers", name, input);
    }
    failed += seed("fuzz_component_list", "example_client",
                   pub::component_list({pub::component("engine.core", "engine core v2\n"), pub::component("patterns.main", "patterns main\n"),
                                        pub::component("patterns.extra", "patterns extra\n"), pub::component("readme.txt", "readme\n", 0)})) +
              seed("fuzz_component_list", "one", pub::component_list({pub::component("a", "")})) +
              seed("fuzz_component_list", "empty", pub::component_list({})) + seed("fuzz_checksums", "empty", {}) +
              seed("fuzz_checksums", "short", {'a', 'b', 'c'}) + seed("fuzz_checksums", "index", source);
    Bytes random(1500);
    for (size_t i = 0; i < random.size(); ++i) random[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    return failed + seed("fuzz_checksums", "random", random) == 0 ? 0 : 1;
}

// Writes the installations the C host plans against: for products 1 and 3 indexes of the 23-token example text
// (client45 at a version not in it), its update files and the flagged versions 381.1 and 386.26; under solo/, the
// solo products.
#include "files.h"

using fx::def;
using Defs = std::vector<fx::pub::Definition>;

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const fx::fs::path root = argv[1], solo = root / "solo";
    fx::fs::remove_all(root);
    // 380 weeklies close series 1 to 380; then D381.1, weeklies 381.2 and 382.1 to 385.1, the dailies 386.1 to 386.28.
    std::string flagged;
    for (int i = 0; i < 380; ++i) flagged += "0001;";
    flagged += "10001;0001;0001;0001;0001;" + std::string(28, '1');
    const std::tuple<const char*, uint32_t, uint32_t> example[] = {
        {"source", 8, 2}, {"source91", 9, 1}, {"client41", 4, 1}, {"client45", 4, 5},
        {"client52", 5, 2}, {"client\xE9", 5, 2}, {"client83", 8, 3}};
    const std::tuple<const char*, uint32_t, uint32_t> flags[] = {
        {"flagged", 386, 28}, {"client381", 381, 1}, {"client386", 386, 26}};
    for (uint32_t p : {1u, 3u}) {
        for (auto [dir, major, minor] : example) fx::write_version_index(root / dir, p, fx::kExampleText, major, minor);
        for (auto [dir, major, minor] : flags) fx::write_version_index(root / dir, p, flagged, major, minor);
        fx::write_update_files(root / "updates", p, fx::kExampleText);
    }
    // Clients at DAT version 1 whose sibling names an engine missing engine.dll with a damaged Readme.TXT (past 5:
    // beside the index; 777 and 788 bound the internet's range), whose list fails, listing a stray component, or with
    // no sibling. The source re-dates 2 and 5, adds 6; references re-date 5, 2 too (refboth), or share its version
    // (ref2).
    const auto defs = [](uint8_t day2, uint8_t day5, bool six) {
        Defs d = {def(1, 1, "a"), def(2, day2, "patterns.main"), def(5, day5, "engine.dll"), def(7, 1, "readme.txt")};
        if (six) d.insert(d.begin() + 3, def(6, 1, "patterns.extra"));
        return d;
    };
    const Defs abc = {def(1, 1, "a"), def(2, 1, "b"), def(3, 1, "c")};
    const std::vector<fx::Part> parts = {
        {"a", "a"}, {"engine.dll", "engine", fx::Part::Missing}, {"Readme.TXT", "readme", fx::Part::Damaged}};
    for (uint32_t p : {4u, 5u, 777u, 778u, 787u, 788u}) {
        for (const char* client : {"client", "badlist", "stray", "nosibling"})
            fx::write_definitions(solo / client, p, 1, 0x1a, defs(1, 1, false));
        fx::write_definitions(solo / "source", p, 2, 6, defs(2, 2, true));
        fx::write_definitions(solo / "reference", p, 3, 6, defs(2, 3, true));
        fx::write_definitions(solo / "refboth", p, 3, 6, defs(3, 3, true));
        fx::write_definitions(solo / "ref2", p, 2, 6, defs(3, 3, true));
        for (auto [dir, dat, current] : {std::tuple{"source123", 1u, 3u}, {"source9", 1u, 9u}, {"same", 0u, 3u}})
            fx::write_definitions(solo / dir, p, dat, current, abc);
        fx::write_engine(solo / (p < 6 ? "engine" : "client"), p, parts);
        fx::write_file(solo / "badengine" / kaldorn::publish::component_list_name(p), "not a component list");
        fx::write_engine(solo / "strayengine", p, {{"stray.bin", "stray", fx::Part::Missing}});
    }
    const std::pair<const char*, const char*> siblings[] = {
        {"client", "../engine"}, {"badlist", "../badengine"}, {"stray", "../strayengine"}};
    for (auto [client, engine] : siblings) fx::install_sibling(solo / client, KALDORN_SIBLING, engine);
    return 0;
}

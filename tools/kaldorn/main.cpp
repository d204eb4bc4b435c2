// kaldorn: a host tool over kaldorn.so for the command line.
#include <cstdio>
#include <iostream>

#include "commands.h"

namespace tool {
void print_json(const nlohmann::json& doc) { std::cout << doc.dump(2) << '\n'; }
}  // namespace tool

int main(int argc, char** argv) {
    CLI::App app{"kaldorn: plan and inspect incremental updates of an installed product"};
    app.set_version_flag("--version", std::string(KALDORN_VERSION));
    app.require_subcommand(1);
    tool::register_checksum_commands(app);
    tool::register_publish_commands(app);
    tool::register_entry_commands(app);
    tool::register_index_commands(app);
    tool::register_plan_commands(app);
    tool::register_compns_commands(app);
    tool::register_defs_commands(app);
    tool::register_solo_commands(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? 0 : 2;
    } catch (const tool::Failure& f) {
        std::cerr << "kaldorn: " << f.message << '\n';
        return tool::kExitFailure;
    }
    return 0;
}

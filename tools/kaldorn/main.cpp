// kaldorn: a host tool over kaldorn.so for the command line.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string_view>

#include "commands.h"

namespace tool {

void usage(const std::string& message) { throw CLI::ValidationError(message); }

Json document(const std::string& command) { return {{"format", 1}, {"command", command}}; }

void print_json(const Json& doc) { std::cout << doc.dump(2) << '\n'; }

void add_json_flag(CLI::App& cmd, bool& json) { cmd.add_flag("--json", json, "Print one JSON document (format 1)"); }

Progress::Progress(const char* what, size_t total) : what_(what), total_(total), shown_(::isatty(2) == 1) {}

void Progress::step(size_t done) {
    if (!shown_ || (done - last_ < 64 && done != total_)) return;
    last_ = done;
    std::fprintf(stderr, "\r%s %zu/%zu", what_, done, total_);
}

void Progress::done() {
    if (shown_ && last_ > 0) std::fprintf(stderr, "\r\033[K");
}

}  // namespace tool

int main(int argc, char** argv) {
    CLI::App app{"kaldorn: plan and inspect incremental updates of an installed product"};
    app.set_version_flag("--version", std::string(KALDORN_VERSION));
    app.require_subcommand(1);
    tool::register_plan_commands(app);
    tool::register_show_command(app);
    tool::register_checksum_commands(app);
    tool::register_index_commands(app);
    tool::register_compns_commands(app);
    tool::register_defs_commands(app);
    // Not in --help: the build runs it to write the completion script it installs.
    if (argc == 3 && std::string_view(argv[1]) == "--completion" && std::string_view(argv[2]) == "bash") {
        std::cout << tool::bash_completion(app);
        return 0;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? 0 : 2;
    } catch (const tool::Failure& f) {
        std::cout.flush();
        std::cerr << "kaldorn: " << f.message << '\n';
        return tool::kExitFailure;
    }
    return 0;
}

// kaldorn: a host tool over kaldorn.so for the command line. Every run ends
// here: one message per problem on stderr, with --json exactly one document
// on stdout, and an exit status that follows one rule for every command.

// gcc 12 reports a null dereference inside CLI11's string splitting as this
// file inlines it, which its flow analysis alone sees (no pointer there is null).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wnull-dereference"
#endif

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string_view>

#include "commands.h"

namespace tool {

Run& run() {
    static Run state;
    return state;
}

Json failure_json(const Failure& f) { return {{"status", f.status}, {"code", f.code}, {"message", f.message}}; }

void usage(const std::string& message) { throw Failure{message, kExitUsage}; }

void warn(const std::string& message) {
    if (run().strict) throw Failure{message + " (--strict)"};
    std::cerr << "kaldorn: warning: " << message << '\n';
    run().warnings.push_back(message);
}

Json document(const std::string& command) { return {{"format", kJsonFormat}, {"command", command}}; }

void answer(Json doc) { run().doc = std::move(doc); }

Progress::Progress(const char* what, size_t total) : what_(what), total_(total), shown_(::isatty(2) == 1) {}

void Progress::step(size_t done) {
    if (!shown_ || (printed_ && done - last_ < 64 && done != total_)) return;
    last_ = done;
    printed_ = true;
    if (total_ == 0)
        std::fprintf(stderr, "\r%s...", what_);  // work whose length is not known ahead
    else
        std::fprintf(stderr, "\r%s %zu/%zu", what_, done, total_);
}

void Progress::done() {
    if (printed_) std::fprintf(stderr, "\r\033[K");
}

namespace {

constexpr const char* kFooter =
    "Exit status: 0 an answer, 1 input refused or a file that cannot be read or written, 2 a usage error.\n"
    "Paths handed to the library hold at most 259 bytes (260 with the final NUL).";

// Names and descriptions in two columns; a name that fills the first column
// puts its description on the next line.
class Formatter : public CLI::Formatter {
public:
    Formatter() { column_width(34); }
    std::string make_option(const CLI::Option* opt, bool positional) const override {
        std::string name = "  " + make_option_name(opt, positional) + make_option_opts(opt);
        name += name.size() + 2 > column_width_ ? "\n" + std::string(column_width_, ' ')
                                                 : std::string(column_width_ - name.size(), ' ');
        return name + make_option_desc(opt) + "\n";
    }
};

// Length of the valid UTF-8 sequence at s[i], or 0: overlong forms,
// surrogates and code points past U+10FFFF are not valid.
size_t utf8_length(const std::string& s, size_t i) {
    const auto at = [&s](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = at(i);
    if (c < 0x80) return 1;
    const size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    const unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    if (at(i + 1) < low || at(i + 1) > high) return 0;
    for (size_t k = 2; k < n; ++k)
        if ((at(i + k) & 0xC0) != 0x80) return 0;
    return n;
}

// A string that is not valid UTF-8 becomes {"escaped": S}: S is the string
// with each byte outside a valid sequence written "\xNN" and each backslash
// doubled. Valid strings stay as they are.
void make_valid(Json& j) {
    if (j.is_structured()) {
        for (auto& v : j) make_valid(v);
        return;
    }
    if (!j.is_string()) return;
    const auto& s = j.get_ref<const std::string&>();
    std::string out;
    bool valid = true;
    for (size_t i = 0, n = 0; i < s.size(); i += n) {
        n = utf8_length(s, i);
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(s[i]));
        if (n == 0) valid = false, n = 1, out += hex;
        else out += s[i] == '\\' ? "\\\\" : s.substr(i, n);
    }
    if (!valid) j = Json{{"escaped", out}};
}

// The command the words before the first option name ("compns verify"); a
// word that names no command is a usage error.
void command_path(const CLI::App& app, int argc, char** argv, std::string& path) {
    const CLI::App* at = &app;
    for (int i = 1; i < argc && !at->get_subcommands({}).empty() && argv[i][0] != '-'; ++i) {
        const auto subs = at->get_subcommands({});
        auto found =
            std::find_if(subs.begin(), subs.end(), [&](const CLI::App* s) { return s->get_name() == argv[i]; });
        path += (path.empty() ? "" : " ") + std::string(argv[i]);
        if (found == subs.end()) usage("unknown command '" + escaped(path) + "' (kaldorn help lists the commands)");
        at = *found;
    }
}

// --json and --strict on every command that does the work, the exit status
// and the path limit under every help text.
void finish_commands(CLI::App& cmd) {
    cmd.footer(std::string(kFooter) +
               (cmd.get_parent() == nullptr ? "\nkaldorn --completion bash prints the bash completion script." : ""));
    for (CLI::App* sub : cmd.get_subcommands({})) finish_commands(*sub);
    if (!cmd.get_subcommands({}).empty() || cmd.get_name() == "help" || cmd.get_parent() == nullptr) return;
    cmd.add_flag("--json", run().json, "Print one JSON document (format 2), also on failure");
    cmd.add_flag("--strict", run().strict, "Fail (status 1) where a warning would qualify the answer");
    for (CLI::Option* opt : cmd.get_options())
        if (opt->get_positional() && opt->get_type_name() == "TEXT") opt->type_name("");
}

void register_help_command(CLI::App& app) {
    auto words = std::make_shared<std::vector<std::string>>();
    auto* help = app.add_subcommand("help", "Describe the tool, or a COMMAND and its options");
    help->add_option("COMMAND", *words, "A command, as 'plan' or 'compns verify'")->type_name("");
    help->callback([&app, words] {
        const CLI::App* at = &app;
        std::string path = "kaldorn";
        for (const auto& w : *words) {
            const auto subs = at->get_subcommands({});
            auto found = std::find_if(subs.begin(), subs.end(), [&](const CLI::App* s) { return s->get_name() == w; });
            if (found == subs.end()) usage("unknown command '" + escaped(w) + "' (kaldorn help lists the commands)");
            at = *found;
            path += " " + w;
        }
        std::cout << at->get_formatter()->make_help(at, path, CLI::AppFormatMode::Normal);
    });
}

// Flushes standard output; a write that failed there fails the run.
int close_stdout(int status) {
    std::cout.flush();
    if (std::cout && std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return status;
    std::cerr << "kaldorn: standard output: cannot be written (" << std::strerror(errno) << ")\n";
    return std::max(status, kExitRefused);
}

int execute(CLI::App& app, int argc, char** argv) {
    std::string command;
    Failure failure{"", 0};
    try {
        command_path(app, argc, argv, command);
        if (argc == 1) usage("a command is required (kaldorn help lists the commands)");
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {  // --help, --version
        return close_stdout(app.exit(e));
    } catch (const CLI::ParseError& e) {
        failure = {(command.empty() ? "" : command + ": ") + e.what() + " (kaldorn help " + command + ")", kExitUsage};
    } catch (const Failure& f) {
        failure = f;
    } catch (const std::exception& e) {
        failure = {std::string("unexpected failure: ") + e.what(), kExitUsage};
    } catch (...) {
        failure = {"unexpected failure", kExitUsage};
    }
    if (run().json || std::find(argv + 1, argv + argc, std::string_view("--json")) != argv + argc) {
        Json doc = !failure.doc.is_null() ? failure.doc : !run().doc.is_null() ? run().doc : document(command);
        if (!run().release.is_null() && !doc.contains("release")) doc["release"] = run().release;
        if (!run().warnings.empty()) doc["warnings"] = run().warnings;
        if (failure.status != 0)
            doc["failure"] = failure_json(failure);
        make_valid(doc);
        std::cout << doc.dump(2) << '\n';
    }
    if (failure.status != 0) {
        std::cout.flush();
        for (size_t at = 0, end = 0; at < failure.message.size(); at = end + 1) {
            end = std::min(failure.message.find('\n', at), failure.message.size());
            std::cerr << "kaldorn: " << failure.message.substr(at, end - at) << '\n';
        }
    }
    return close_stdout(failure.status);
}

}  // namespace

}  // namespace tool

int main(int argc, char** argv) {
    CLI::App app{"kaldorn: plan and inspect incremental updates of an installed product", "kaldorn"};
    app.formatter(std::make_shared<tool::Formatter>());
    app.set_version_flag("--version", std::string(KALDORN_VERSION));
    app.require_subcommand(1);
    tool::register_plan_commands(app);
    tool::register_show_command(app);
    tool::register_checksum_commands(app);
    tool::register_index_commands(app);
    tool::register_compns_commands(app);
    tool::register_defs_commands(app);
    tool::register_release_commands(app);
    tool::register_help_command(app);
    tool::finish_commands(app);
    // The build runs it to write the completion script it installs.
    if (argc == 3 && std::string_view(argv[1]) == "--completion" && std::string_view(argv[2]) == "bash") {
        std::cout << tool::bash_completion(app);
        return tool::close_stdout(0);
    }
    return tool::execute(app, argc, argv);
}

// The bash completion script of the tool, written from the registered
// command tree itself so that it names exactly the commands, options and
// option values the parser accepts.
#include <sstream>

#include "commands.h"

namespace tool {
namespace {

// The choices of an option whose validator accepts a fixed set: CLI11 shows
// such a set in the type name as "TEXT:{a,b,c}".
std::string choices(const CLI::Option& opt) {
    const std::string type = opt.get_type_name();
    const auto open = type.find('{'), close = type.rfind('}');
    if (open == std::string::npos || close == std::string::npos || close < open) return {};
    std::string words = type.substr(open + 1, close - open - 1);
    for (char& c : words)
        if (c == ',') c = ' ';
    return words;
}

// One case line per command path for its subcommands and options, and one
// per option that takes a value from a fixed set.
void walk(const CLI::App& app, const std::string& path, std::ostream& commands, std::ostream& values) {
    std::string subs, opts;
    for (const CLI::App* sub : app.get_subcommands({})) subs += (subs.empty() ? "" : " ") + sub->get_name();
    for (const CLI::Option* opt : app.get_options()) {
        std::string names;
        for (const auto& s : opt->get_snames()) names += " -" + s;
        for (const auto& l : opt->get_lnames()) names += " --" + l;
        if (names.empty()) continue;  // a positional argument
        opts += names;
        const std::string set = choices(*opt);
        if (set.empty()) continue;
        for (const auto& l : opt->get_lnames())
            values << "    \"" << path << " --" << l << "\") values=\"" << set << "\";;\n";
    }
    commands << "    \"" << path << "\") subs=\"" << subs << "\" opts=\"" << opts.substr(opts.empty() ? 0 : 1)
             << "\";;\n";
    for (const CLI::App* sub : app.get_subcommands({})) walk(*sub, path + " " + sub->get_name(), commands, values);
}

}  // namespace

std::string bash_completion(const CLI::App& app) {
    std::ostringstream commands, values;
    walk(app, "kaldorn", commands, values);
    std::ostringstream out;
    out << "# bash completion for kaldorn (written by kaldorn --completion bash)\n"
           "_kaldorn_command() {  # subcommands and options of a command path\n"
           "    subs=\"\" opts=\"\"\n"
           "    case $1 in\n"
        << commands.str()
        << "    esac\n"
           "}\n"
           "_kaldorn_values() {  # the values an option takes, when it takes one of a set\n"
           "    values=\"\"\n"
           "    case $1 in\n"
        << values.str()
        << "    esac\n"
           "}\n"
           "_kaldorn() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    local path=kaldorn subs opts values i\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        _kaldorn_command \"$path\"\n"
           "        [[ \" $subs \" == *\" ${COMP_WORDS[i]} \"* ]] && path+=\" ${COMP_WORDS[i]}\"\n"
           "    done\n"
           "    _kaldorn_command \"$path\"\n"
           "    _kaldorn_values \"$path $prev\"\n"
           "    if [[ -n $values ]]; then mapfile -t COMPREPLY < <(compgen -W \"$values\" -- \"$cur\")\n"
           "    elif [[ $cur == -* ]]; then mapfile -t COMPREPLY < <(compgen -W \"$opts\" -- \"$cur\")\n"
           "    elif [[ -n $subs ]]; then mapfile -t COMPREPLY < <(compgen -W \"$subs\" -- \"$cur\")\n"
           "    else mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
           "    fi\n"
           "}\n"
           "complete -o filenames -F _kaldorn kaldorn\n";
    return out.str();
}

}  // namespace tool

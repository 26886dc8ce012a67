// confmodel-host-manual: writes the manual page confmodel-host(1) and the
// bash completion of confmodel-host from the command table, the very one
// --help shows, so that the three never disagree.
//   confmodel-host-manual man DOCDIR LIBRARY FILE
//   confmodel-host-manual bash FILE
// DOCDIR is where the README and docs/ are installed, LIBRARY the module an
// installed program loads by default.
#include "exit_status.h"
#include "program.h"
#include "running/hosts.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

using Filter = std::function<bool(const CLI::Option *)>;
const Filter positional = [](const CLI::Option *o) { return o->get_positional(); };
const Filter named = [](const CLI::Option *o) { return o->nonpositional(); };

// Text as roff takes it: backslashes escaped, a dash that begins a word (an
// option) a minus, and no line that begins with a control character.
std::string roff(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\\') out += "\\e";
        else if (text[i] == '-' && (i == 0 || text[i - 1] == ' ' || text[i - 1] == '-' || text[i - 1] == ','))
            out += "\\-";
        else
            out += text[i];
    }
    return out.compare(0, 1, ".") == 0 || out.compare(0, 1, "'") == 0 ? "\\&" + out : out;
}

// An option's words as the usage shows them ("--wait SECONDS"); its value's
// name is what precedes CLI11's own additions.
std::string option_words(const CLI::Option *o) {
    std::string names = o->get_name(false, true);
    if (o->get_positional() || o->get_expected_max() == 0) return "\\fB" + roff(names) + "\\fR";
    const std::string type = o->get_type_name();
    return "\\fB" + roff(names) + "\\fR \\fI" + type.substr(0, type.find(':')) + "\\fR";
}

// A command's example, the line of its help's closing text that runs it.
std::string example(const CLI::App &command) {
    std::istringstream footer(command.get_footer());
    for (std::string line; std::getline(footer, line);)
        if (line.find("confmodel-host ") != std::string::npos)
            return line.substr(line.find("confmodel-host "));
    return "";
}

// The usage line's words after the command's name.
std::string usage(const CLI::App &command) {
    auto formatter = std::dynamic_pointer_cast<CLI::Formatter>(command.get_formatter());
    std::string line = formatter->make_usage(&command, "");
    line = line.substr(line.find(" " + command.get_name() + " ") + command.get_name().size() + 1);
    return line.substr(0, line.find('\n'));
}

void options(std::ostream &out, const CLI::App &app, const Filter &which) {
    for (const CLI::Option *o : app.get_options(which)) {
        if (o->get_name() == "--help") continue;
        out << ".TP\n" << option_words(o) << "\n" << roff(o->get_description()) << "\n";
    }
}

void manual(std::ostream &out, const CLI::App &app, const std::string &docdir) {
    out << ".TH CONFMODEL-HOST 1 \"\" \"confmodel " CONFMODEL_HOST_VERSION "\" \"User Commands\"\n"
        << ".SH NAME\nconfmodel-host \\- " << roff(app.get_description()) << "\n"
        << ".SH SYNOPSIS\n.B confmodel-host\n[\\fIOPTIONS\\fR] \\fICOMMAND\\fR ...\n";
    for (const CLI::App *command : app.get_subcommands({}))
        out << ".br\n.B confmodel-host\n\\fB" << command->get_name() << "\\fR" << roff(usage(*command))
            << "\n";
    out << ".SH DESCRIPTION\n" << roff(sources_text()) << "\n"
        << ".SH OPTIONS\nThe program's own, before the command.\n";
    options(out, app, named);
    out << ".TP\n\\fB\\-h\\fR, \\fB\\-\\-help\\fR\nshow the help, of the program or of a command\n"
        << ".SH COMMANDS\n";
    for (const CLI::App *command : app.get_subcommands({})) {
        out << ".SS \"" << command->get_name() << roff(usage(*command)) << "\"\n"
            << roff(command->get_description()) << "\n";
        options(out, *command, positional);
        options(out, *command, named);
        for (const CLI::App *action : command->get_subcommands({})) {
            out << ".TP\n\\fB" << action->get_name() << "\\fR";
            for (const CLI::Option *o : action->get_options(positional))
                out << " \\fI" << roff(o->get_name()) << "\\fR";
            out << "\n" << roff(action->get_description()) << "\n";
        }
        out << ".PP\nExample:\n.RS\n.EX\n" << roff(example(*command)) << "\n.EE\n.RE\n";
    }
    out << ".SH \"EXIT STATUS\"\n"
           "The status alone tells a script whether a store file changed: only 0, 3 and 4 follow "
           "a change, and always do.\n";
    for (const ExitMeaning &e : exit_meanings)
        out << ".TP\n.B " << e.status << "\n" << roff(e.meaning) << "\n";
    out << ".SH \"SEE ALSO\"\n"
        << roff(docdir) << "/README.md, the program and the module; " << roff(docdir)
        << "/docs/records.md, the records of a dump and a change set; " << roff(docdir)
        << "/docs/changes.md, the running hosts of apply.\n";
}

void completion(std::ostream &out, const CLI::App &app) {
    auto words = [](const CLI::App &at, bool with_options, bool with_commands) {
        std::string list;
        if (with_options)
            for (const CLI::Option *o : at.get_options(named))
                for (const std::string &name : o->get_lnames())
                    list += (list.empty() ? "--" : " --") + name;
        if (with_commands)
            for (const CLI::App *sub : at.get_subcommands({}))
                list += (list.empty() ? "" : " ") + sub->get_name();
        return list;
    };
    std::string files, values, commands;
    auto values_of = [&](const CLI::App &at) {
        for (const CLI::Option *o : at.get_options(named)) {
            const std::string type = o->get_type_name();
            const std::string value = type.substr(0, type.find(':'));
            if (value == "PATH" || value == "FILE") files += (files.empty() ? "" : "|") + o->get_name();
            else if (o->get_name() == "--host")
                values += "    --host) COMPREPLY=($(compgen -W \"" + std::string(host_name(Host::simple)) +
                          " " + host_name(Host::faithful) + "\" -- \"$cur\")); return ;;\n";
            else if (o->get_expected_max() != 0)
                values += "    " + o->get_name() + ") COMPREPLY=(); return ;;\n";
        }
    };
    values_of(app);
    std::string cases = "    \"\") options=\"" + words(app, true, false) + "\" actions=\"" +
                        words(app, false, true) + "\" ;;\n";
    for (const CLI::App *command : app.get_subcommands({})) {
        values_of(*command);
        commands += (commands.empty() ? "" : "|") + command->get_name();
        cases += "    " + command->get_name() + ") options=\"" + words(*command, true, false) +
                 "\" actions=\"" + words(*command, false, true) + "\" ;;\n";
    }
    out << "# bash completion for confmodel-host, written from its command table.\n"
           "_confmodel_host() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    local command=\"\" word options actions\n"
           "    for word in \"${COMP_WORDS[@]:1:COMP_CWORD-1}\"; do\n"
           "        case $word in\n"
           "        " << commands << ") [ -n \"$command\" ] || command=$word ;;\n"
           "        esac\n"
           "    done\n"
           "    case $prev in\n"
           "    " << files << ") COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
        << values
        << "    esac\n"
           "    case $command in\n"
        << cases
        << "    esac\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
           "    else\n"
           "        COMPREPLY=($(compgen -W \"$actions\" -- \"$cur\") $(compgen -f -- \"$cur\"))\n"
           "    fi\n"
           "}\n"
           "complete -o filenames -F _confmodel_host confmodel-host\n";
}

} // namespace

int main(int argc, char **argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (!(what == "man" && argc == 5) && !(what == "bash" && argc == 3)) {
        std::cerr << "usage: confmodel-host-manual man DOCDIR LIBRARY FILE | bash FILE\n";
        return EXIT_BAD;
    }
    Settings settings;
    if (what == "man") settings.library = argv[3];
    Program program(settings);
    std::ofstream out(argv[argc - 1]);
    if (what == "man")
        manual(out, program.app(), argv[2]);
    else
        completion(out, program.app());
    out.close();
    if (!out) {
        std::cerr << "confmodel-host-manual: " << argv[argc - 1] << ": cannot be written\n";
        return EXIT_BAD;
    }
    return EXIT_OK;
}

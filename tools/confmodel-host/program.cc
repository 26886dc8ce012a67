#include "program.h"

#include "arguments.h"
#include "exit_status.h"
#include "input/fields.h"
#include "input/text.h"
#include "output/vocabulary.h"
#include "running/module.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iostream>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <sstream>
#include <string>

namespace {

// Every message in one style: the program's name first, then the file or
// the command it is about.
std::string message(const std::string &text) {
    const std::string program = "confmodel-host: ";
    return text.compare(0, program.size(), program) == 0 ? text : program + text;
}

// A word of the command line as a shell would take it again.
std::string shell_word(const std::string &word) {
    const char plain[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./=:+,@%";
    if (!word.empty() && word.find_first_not_of(plain) == std::string::npos) return word;
    std::string out = "'";
    for (char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The text after `first`, in lines of at most `width` columns, the later
// ones indented as far as the first.
std::string wrapped(const std::string &text, const std::string &first, size_t width) {
    const std::string indent(first.size(), ' ');
    std::string out, line = first;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (line.size() > indent.size() && line.size() + 1 + word.size() > width) {
            out += line + "\n";
            line = indent;
        }
        line += (line.size() > indent.size() ? " " : "") + word;
    }
    return out + line + "\n";
}

std::string footer() {
    std::string out = "\n" + wrapped(sources_text(), "", 76) +
                      wrapped("The README and docs/ (records.md: dumps and change sets; "
                              "changes.md: apply's hosts; json.md: what --json writes) are in " +
                                  documentation_dir() + ".",
                              "", 76) +
                      R"(
Exit status, which alone tells a script whether a store file changed (only
0, 3 and 4 follow a change, and always do):
)";
    for (const ExitMeaning &e : exit_meanings)
        out += wrapped(e.meaning, "  " + std::to_string(e.status) + "  ", 76);
    return out;
}

// A size in bytes: a decimal from 1 to what a size_t holds, alone or with
// a binary unit as the limits' messages print them ("2MiB", "1 MiB"). Taken
// as the number of bytes.
const CLI::Validator size(
    [](std::string &text) {
        static const std::pair<const char *, int> units[] = {
            {"bytes", 0}, {"KiB", 10}, {"MiB", 20}, {"GiB", 30}, {"TiB", 40}};
        const std::string most = std::to_string(std::numeric_limits<size_t>::max());
        const std::string refused = "not a size from 1 to " + most +
                                    " bytes (a number, or one with KiB, MiB, GiB or TiB): " + text;
        size_t digits = text.find_first_not_of("0123456789");
        std::string number = text.substr(0, digits);
        int shift = 0;
        if (digits != std::string::npos) {
            const size_t start = text.find_first_not_of(' ', digits);
            const std::string unit = start == std::string::npos ? "" : text.substr(start);
            auto known = std::find_if(std::begin(units), std::end(units),
                                      [&](const auto &u) { return unit == u.first; });
            if (known == std::end(units)) return refused;
            shift = known->second;
        }
        if (!decimal(number).empty() || number == "0" ||
            (number.size() == most.size() ? number > most : number.size() > most.size()))
            return refused;
        // In 64 bits: a size_t of 32 cannot be shifted by TiB's 40.
        const uint64_t value = std::stoull(number);
        if (value > uint64_t(std::numeric_limits<size_t>::max()) >> shift) return refused;
        text = std::to_string(value << shift);
        return std::string();
    },
    "SIZE");

// Usage lines as a command is really given: every word from the program's
// name on, each command's arguments after it ("confmodel-host show SOURCE port
// N"), and a command's subcommands listed with their arguments.
class Formatter : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App *app, std::string) const override {
        std::vector<const CLI::App *> chain;
        for (const CLI::App *at = app; at != nullptr; at = at->get_parent())
            chain.insert(chain.begin(), at);
        std::string out = "Usage:";
        for (const CLI::App *at : chain) {
            out += " " + at->get_name() + words(at, at == app);
            if (at == app && !at->get_subcommands({}).empty())
                out += at->get_parent() == nullptr ? " COMMAND ..." : actions(at);
        }
        return out + "\n";
    }
    std::string make_subcommand(const CLI::App *sub) const override {
        std::stringstream out;
        CLI::detail::format_help(out, sub->get_name() + words(sub, false) + actions(sub),
                                 sub->get_description(), column_width_);
        return out.str();
    }
    // An option's value by its name alone ("--wait SECONDS"), without CLI11's
    // types, ranges and "REQUIRED": the description says what it takes.
    std::string make_option_opts(const CLI::Option *o) const override {
        if (o->get_positional() || o->get_expected_max() == 0) return "";
        const std::string type = o->get_type_name();
        return " " + type.substr(0, type.find(':'));
    }

  private:
    // A command's actions, where it has any, the same in every usage line.
    static std::string actions(const CLI::App *app) {
        if (app->get_subcommands({}).empty()) return "";
        return app->get_require_subcommand_min() > 0 ? " ACTION ..." : " [ACTION ...]";
    }
    // "[OPTIONS]" where a command takes options (the program's own only in
    // its own line), then its positional arguments.
    static std::string words(const CLI::App *app, bool last) {
        std::string out;
        auto options = app->get_options([](const CLI::Option *o) {
            return o->nonpositional() && o->get_name() != "--help";
        });
        if (!options.empty() && (last || app->get_parent() != nullptr)) out += " [OPTIONS]";
        for (const CLI::Option *o : app->get_options([](const CLI::Option *o) { return o->get_positional(); }))
            out += " " + (o->get_required() ? o->get_name(true, false) : "[" + o->get_name(true, false) + "]");
        return out;
    }
};

// A command or action that is missing, or a word taken for one that names
// none: "confmodel-host: dcbx: "frob" is not an action (set, reset,
// test-and-set)", where CLI11 would say "A subcommand is required". Empty for
// other errors.
std::string command_error(const CLI::App &app) {
    const CLI::App *at = &app;
    for (bool deeper = true; deeper;) {
        deeper = false;
        for (const CLI::App *sub : at->get_subcommands())
            if (sub->parsed()) at = sub, deeper = true;
    }
    if (at->get_subcommands({}).empty()) return "";
    std::string names;
    for (const CLI::App *sub : at->get_subcommands({}))
        names += (names.empty() ? "" : ", ") + sub->get_name();
    const char *what = at->get_parent() == nullptr ? "a command" : "an action";
    const std::string command =
        at->get_parent() == nullptr ? at->get_name() : "confmodel-host: " + at->get_name();
    std::vector<std::string> left = app.remaining(true);
    if (!left.empty())
        return command + ": " + quote(left.front()) + " is not " + what + " (" + names + ")";
    if (at->get_require_subcommand_min() > 0)
        return command + ": " + what + " is required (" + names + ")";
    return "";
}

// Marks a word that follows "--" and would read as an option, so that CLI11
// takes it for an operand; every operand drops the mark again. Words after
// "--" that read as none stay as they are: actions are still actions
// ("show -- -odd.jsonl port 1").
const char operand_mark = '\x01';

// The words are in reverse, as CLI11 takes them.
void mark_operands(std::vector<std::string> &reversed) {
    auto first = std::find(reversed.rbegin(), reversed.rend(), "--");
    if (first == reversed.rend()) return;
    auto dashes = std::prev(first.base());
    for (auto word = reversed.begin(); word != dashes; ++word)
        if (!word->empty() && (*word)[0] == '-') word->insert(word->begin(), operand_mark);
    reversed.erase(dashes);
}

void unmark_operands(CLI::App &app) {
    for (CLI::Option *o : app.get_options([](const CLI::Option *o) { return o->get_positional(); }))
        o->transform([](std::string word) {
            return word.empty() || word[0] != operand_mark ? word : word.substr(1);
        });
    for (CLI::App *sub : app.get_subcommands({}))
        unmark_operands(*sub);
}

// The help asked for: that of the deepest command given, or of the action a
// command's operand names ("show port --help" is port's help, not show's).
const CLI::App &help_target(const CLI::App &app) {
    const CLI::App *at = &app;
    for (bool deeper = true; deeper;) {
        deeper = false;
        for (const CLI::App *sub : at->get_subcommands())
            if (sub->parsed()) at = sub, deeper = true;
    }
    for (const CLI::Option *o : at->get_options([](const CLI::Option *o) { return o->get_positional(); }))
        for (const std::string &word : o->results())
            for (const CLI::App *action : at->get_subcommands({}))
                if (action->get_name() == word) return *action;
    return *at;
}

// CLI11's own messages begin in capitals ("The following argument was not
// expected"); the program's do not.
std::string lower_first(std::string text) {
    if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[0])) &&
        std::islower(static_cast<unsigned char>(text[1])))
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// The program, the module it loads, and the libraries it reads and keeps
// stores with, by version.
std::string version_text(const std::string &library) {
    std::string out = "confmodel-host " CONFMODEL_HOST_VERSION "\n  module  " + library;
    Module module;
    const std::string error = load_module(library.c_str(), module);
    if (error.empty()) {
        const std::string soname = module_soname(module);
        out += soname.empty() ? ", which names no SONAME" : ", SONAME " + soname;
    } else {
        out += ": cannot be loaded: " + error;
    }
    unload_module(module);
    out += "\n  store   " + Store::engine() + "\n  JSON    nlohmann/json " +
           std::to_string(NLOHMANN_JSON_VERSION_MAJOR) + "." +
           std::to_string(NLOHMANN_JSON_VERSION_MINOR) + "." +
           std::to_string(NLOHMANN_JSON_VERSION_PATCH);
    const std::string fast = fast_parser();
    return out + (fast.empty() ? "" : ", " + fast) + "\n  --json  format " +
           std::to_string(json_format) + " (docs/json.md)\n";
}

} // namespace

std::string sources_text() {
    return "SOURCE, OLD and NEW are configurations: a dump in JSON Lines, - for standard input, "
           "or a store file, told apart by their content. Every line the module logs goes to "
           "standard error with its priority and the record, or the change, that caused it. "
           "confmodel-host COMMAND --help tells a command's arguments.";
}

std::string documentation_dir() {
    const std::string library = default_library();
    if (library == CONFMODEL_HOST_BUILD_LIBRARY) return CONFMODEL_HOST_SOURCE_DIR;
    // The installed program's own directory, then the way to the docs.
    return library.substr(0, library.size() - strlen(CONFMODEL_HOST_INSTALLED_LIBRARY)) +
           CONFMODEL_HOST_INSTALLED_DOCDIR;
}

Program::Program(Settings &settings)
    : app_("Loads the module as the device's host does, builds the model from a configuration, "
           "and shows it.",
           "confmodel-host"),
      settings_(settings), wait_seconds_(Store::default_wait_ms / 1000.0) {
    app_.formatter(std::make_shared<Formatter>());
    app_.set_help_flag("-h,--help", "show this help");
    app_.require_subcommand(1);
    app_.fallthrough();
    app_.add_option("--library", settings.library,
                    "the module to load (default: " + settings.library + ")")
        ->type_name("PATH");
    app_.add_option("--max-line", settings.limits.max_line,
                    "the longest line of a dump (or row of a store), in bytes or with KiB, MiB or "
                    "GiB (default 1 MiB)")
        ->transform(size)
        ->type_name("SIZE");
    app_.add_option("--max-input", settings.limits.max_input,
                    "the largest dump, likewise (default 1 GiB)")
        ->transform(size)
        ->type_name("SIZE");
    app_.add_flag("--read-only", settings.read_only,
                  "open store files read-only: nothing is ever written to them");
    app_.add_flag("--quiet", settings.quiet,
                  "no progress on standard error (shown only there, and only on a terminal)");
    app_.add_option("--wait", wait_seconds_,
                    "how long to wait for a store file another process has locked, in seconds "
                    "(default 5)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, 86400.0));
    // Last of the program's own, so that it tells of the --library given.
    app_.set_version_flag(
        "--version", [this] { return version_text(settings_.library); },
        "show the program's version, the module's path and SONAME, and the libraries' versions");
    for (const Command &command : commands) {
        CLI::App *sub = app_.add_subcommand(command.name);
        sub->group("Commands");
        runs_.emplace_back(sub, command.declare(*sub));
        for (CLI::App *action : sub->get_subcommands({}))
            action->group("Actions");
    }
    unmark_operands(app_);
    // Set last, so that the commands' help does not repeat it.
    app_.footer(footer());
}

CommandRun Program::parse(int argc, char **argv, int *status) {
    std::vector<std::string> words;
    for (int i = argc - 1; i > 0; i--)
        words.emplace_back(argv[i]);
    mark_operands(words);
    try {
        app_.parse(words);
    } catch (const CLI::CallForVersion &e) {
        std::cout << e.what();
        *status = EXIT_OK;
        return nullptr;
    } catch (const CLI::CallForHelp &) {
        std::cout << help_target(app_).help();
        *status = EXIT_OK;
        return nullptr;
    } catch (const CLI::ParseError &e) {
        std::string command = command_error(app_);
        std::cerr << (command.empty() ? "confmodel-host: " + lower_first(e.what()) : command) << "\n"
                  << "Run confmodel-host --help for the commands.\n";
        *status = EXIT_BAD;
        return nullptr;
    }
    settings_.wait_ms = static_cast<int>(wait_seconds_ * 1000 + 0.5);
    settings_.command = "confmodel-host";
    for (int i = 1; i < argc; i++)
        settings_.command += " " + shell_word(argv[i]);
    for (const auto &[command, run] : runs_)
        if (command->parsed()) return run;
    *status = EXIT_BAD;
    return nullptr;
}

int run_command(const CommandRun &run, Session &session) {
    try {
        return run(session);
    } catch (const Failure &e) {
        std::cerr << message(e.what()) << "\n";
    } catch (const std::bad_alloc &) {
        std::cerr << "confmodel-host: out of memory\n";
    } catch (const std::exception &e) {
        std::cerr << "confmodel-host: " << escaped(e.what()) << "\n";
    }
    return EXIT_BAD;
}

int exit_status(const Session &session, int status, bool output_lost) {
    if (!session.changed().empty() && (output_lost || status == EXIT_BAD)) {
        std::cerr << "confmodel-host: the store was changed all the same: " << session.changed() << "\n";
        return EXIT_INCOMPLETE;
    }
    return output_lost ? EXIT_BAD : status;
}

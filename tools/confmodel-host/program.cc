#include "program.h"

#include "arguments.h"
#include "input/text.h"

#include <iostream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>

namespace {

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
    std::string out = R"(
SOURCE is a configuration: a dump in JSON Lines (docs/records.md), - for
standard input, or a store file, told apart by their content. Every line the
module logs goes to standard error with its priority and the record, or the
change, that caused it.

Exit status, which alone tells a script whether a store file changed (only
0, 3 and 4 follow a change, and always do):
)";
    for (const ExitMeaning &e : exit_meanings)
        out += wrapped(e.meaning, "  " + std::to_string(e.status) + "  ", 76);
    return out;
}

// A size: a plain decimal from 1 to what a size_t holds, compared as text so
// that nothing beyond it can wrap around.
const CLI::Validator size(
    [](std::string &text) {
        const std::string most = std::to_string(std::numeric_limits<size_t>::max());
        if (!decimal(text).empty() || text[0] == '-' || text == "0" ||
            (text.size() == most.size() ? text > most : text.size() > most.size()))
            return "not a size from 1 to " + most + " bytes: " + text;
        return std::string();
    },
    "BYTES");

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
                out += at->get_parent() == nullptr ? " COMMAND ..." : " ACTION ...";
        }
        return out + "\n";
    }
    std::string make_subcommand(const CLI::App *sub) const override {
        std::stringstream out;
        std::string actions = sub->get_subcommands({}).empty() ? ""
                              : sub->get_require_subcommand_min() > 0 ? " ACTION"
                                                                      : " [ACTION]";
        CLI::detail::format_help(out, sub->get_name() + words(sub, false) + actions,
                                 sub->get_description(), column_width_);
        return out.str();
    }

  private:
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
// none: "dcbx: "frob" is not an action (set, reset, test-and-set)", where
// CLI11 would say "A subcommand is required". Empty for other errors.
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
        at->get_parent() == nullptr ? at->get_name() : "confmodel-host " + at->get_name();
    std::vector<std::string> left = app.remaining(true);
    if (!left.empty())
        return command + ": " + quote(left.front()) + " is not " + what + " (" + names + ")";
    if (at->get_require_subcommand_min() > 0)
        return command + ": " + what + " is required (" + names + ")";
    return "";
}

} // namespace

Program::Program(Settings &settings)
    : app_("Loads the module as the device's host does, builds the model from a configuration, "
           "and shows it.",
           "confmodel-host"),
      settings_(settings), wait_seconds_(Store::default_wait_ms / 1000.0) {
    app_.footer(footer());
    app_.formatter(std::make_shared<Formatter>());
    app_.require_subcommand(1);
    app_.fallthrough();
    app_.add_option("--library", settings.library,
                    "the module to load (default: " + settings.library + ")");
    app_.add_option("--max-line", settings.limits.max_line,
                    "the longest line of a dump (or row of a store), in bytes (default 1 MiB)")
        ->check(size);
    app_.add_option("--max-input", settings.limits.max_input,
                    "the largest dump, in bytes (default 1 GiB)")
        ->check(size);
    app_.add_flag("--read-only", settings.read_only,
                  "open store files read-only: nothing is ever written to them");
    app_.add_option("--wait", wait_seconds_,
                    "how long to wait for a store file another process has locked, in seconds "
                    "(default 5)")
        ->check(CLI::Range(0.0, 86400.0));
    for (const Command &command : commands) {
        CLI::App *sub = app_.add_subcommand(command.name);
        runs_.emplace_back(sub, command.declare(*sub));
    }
}

CommandRun Program::parse(int argc, char **argv, int *status) {
    try {
        app_.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        *status = app_.exit(e);
        return nullptr;
    } catch (const CLI::ParseError &e) {
        std::string command = command_error(app_);
        std::cerr << (command.empty() ? "confmodel-host: " + std::string(e.what()) : command) << "\n"
                  << "Run confmodel-host --help for the commands.\n";
        *status = EXIT_BAD;
        return nullptr;
    }
    settings_.wait_ms = static_cast<int>(wait_seconds_ * 1000 + 0.5);
    for (const auto &[command, run] : runs_)
        if (command->parsed()) return run;
    *status = EXIT_BAD;
    return nullptr;
}

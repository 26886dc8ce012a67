// confmodel-host: acts as the device's host program. Loads the module, replays
// a configuration through it, and shows what the module made of it. This file
// only reads the command line and dispatches to a command.
#include "commands.h"
#include "input/progress.h"
#include "input/text.h"

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <iostream>
#include <limits>
#include <memory>
#include <new>
#include <sstream>

namespace {

const char footer[] = R"(
SOURCE is a configuration: a dump in JSON Lines (docs/records.md), - for
standard input, or a store file, told apart by their content. Every line the
module logs goes to standard error with its priority and the record, or the
change, that caused it.

Exit status, which alone tells a script whether a store file changed (only
0, 3 and 4 follow a change, and always do):
  0  done; import created the store, dcbx with status 0 and apply --commit
     changed it
  1  done, nothing changed, and the answer is no: a lookup found nothing,
     check found problems, the models differ (diff), the running model
     diverges from a fresh start (apply), the module's DCBX status is EBUSY
     or EINVAL, a dcbx or apply --commit that leaves every record as it was
     (or dcbx on a dump, which keeps nothing)
  2  failed, and nothing changed: a usage error; an unreadable, malformed or
     refused input (a file that is no store of this version); a module that
     cannot be loaded; a store that is locked, read-only or failing (a DCBX
     call's other statuses); import onto a file that exists; a commit
     refused (the module refused a record, or the store changed since it
     was read); output that cannot be written
  3  apply --commit committed, and the running model diverges
  4  a store was changed, but what had to follow failed (the output, or
     --result, could not be written); the message says what was changed
)";

// Plain decimal only: strtoll's base 0, which CLI11 uses, would read "010" as 8.
const CLI::Validator decimal(
    [](std::string &text) {
        size_t digits = text.compare(0, 1, "-") == 0 ? 1 : 0;
        if (text.size() == digits || text.find_first_not_of("0123456789", digits) != std::string::npos ||
            (text[digits] == '0' && text.size() > digits + 1))
            return std::string("not a decimal number: ") + text;
        return std::string();
    },
    "DECIMAL");

CLI::Option *number(CLI::App *app, const char *name, int64_t &value, int64_t min, int64_t max,
                    const char *text) {
    return app->add_option(name, value, text)
        ->required()
        ->check(decimal)
        ->check(CLI::Range(min, max));
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

// A word of the command line as a shell would take it again.
std::string shell_word(const std::string &word) {
    const char plain[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./=:+,@%";
    if (!word.empty() && word.find_first_not_of(plain) == std::string::npos) return word;
    std::string out = "'";
    for (char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

int main(int argc, char **argv) {
    // A closed pipe is output that cannot be written, to be reported with the
    // exit status that says whether a store changed, not a silent death.
    signal(SIGPIPE, SIG_IGN);
    CLI::App app{"Loads the module as the device's host does, builds the model from a "
                 "configuration, and shows it.",
                 "confmodel-host"};
    app.footer(footer);
    app.formatter(std::make_shared<Formatter>());
    app.require_subcommand(1);
    app.fallthrough();
    Settings settings;
    app.add_option("--library", settings.library,
                   "the module to load (default: " + settings.library + ")");
    app.add_option("--max-line", settings.limits.max_line,
                   "the longest line of a dump (or row of a store), in bytes (default 1 MiB)")
        ->check(size);
    app.add_option("--max-input", settings.limits.max_input,
                   "the largest dump, in bytes (default 1 GiB)")
        ->check(size);
    app.add_flag("--read-only", settings.read_only,
                 "open store files read-only: nothing is ever written to them");
    double wait_seconds = Store::default_wait_ms / 1000.0;
    app.add_option("--wait", wait_seconds,
                   "how long to wait for a store file another process has locked, in seconds "
                   "(default 5)")
        ->check(CLI::Range(0.0, 86400.0));
    bool quiet = false;
    app.add_flag("--quiet", quiet,
                 "no progress on standard error (shown only there, and only on a terminal)");

    std::string source;

    CLI::App *show = app.add_subcommand("show", "show the model, or answer a lookup");
    show->add_option("SOURCE", source, "the configuration")->required();
    bool as_json = false, as_dot = false;
    auto *json_flag = show->add_flag("--json", as_json, "as one JSON document");
    show->add_flag("--dot", as_dot, "xnets, xnetgroups and port groups as a Graphviz graph")
        ->excludes(json_flag);
    show->require_subcommand(0, 1);
    Query query;
    CLI::App *port = show->add_subcommand(
        "port", "the first port group whose ports include port N (numbered from 1, as in "
                "/ports/portN); exit 1 when none does");
    number(port, "N", query.number, INT32_MIN + 1LL, INT32_MAX, "the port");
    CLI::App *vlan = show->add_subcommand("vlan", "the first xnet with internal VLAN id VID");
    number(vlan, "VID", query.number, INT32_MIN, INT32_MAX, "the VLAN id");
    CLI::App *portgroup =
        show->add_subcommand("portgroup", "the first port group with that number or pathname");
    portgroup->add_option("NUMBER|PATH", query.text, "a number, or a pathname")->required();
    CLI::App *xnetgroup = show->add_subcommand(
        "xnetgroup", "the xnetgroup PATH; SEP ends its xnet's pathname, as in: xnetgroup "
                     "/xnets/prod/xnetgroups/a /xnetgroups/");
    xnetgroup->add_option("PATH", query.text, "the xnetgroup's pathname")->required();
    xnetgroup->add_option("SEP", query.separator, "the separator")->required();

    CLI::App *check = app.add_subcommand(
        "check", "show no model: list the module's and the host's findings on standard output; "
                 "exit 1 if any");
    check->add_option("SOURCE", source, "the configuration")->required();
    check->add_flag("--json", as_json, "as one JSON document");

    CLI::App *dcbx = app.add_subcommand(
        "dcbx", "change a remote device's DCBX-pending flag through the module, showing the "
                "value its transaction read, the status, and the value it left; exit 1 for "
                "EBUSY or EINVAL, 2 for any other failure");
    dcbx->add_option("SOURCE", source, "the configuration")->required();
    dcbx->add_flag("--json", as_json, "as JSON");
    dcbx->require_subcommand(1);
    DcbxCall call;
    int64_t key = 0;
    CLI::App *set = dcbx->add_subcommand("set", "set the flag to \"true\"");
    CLI::App *reset = dcbx->add_subcommand("reset", "set it to \"false\"");
    CLI::App *test_and_set =
        dcbx->add_subcommand("test-and-set", "set it to NEW if it holds EXPECTED");
    for (CLI::App *action : {set, reset, test_and_set})
        number(action, "KEY", key, 0, UINT32_MAX, "the device's key");
    test_and_set->add_option("EXPECTED", call.expected, "the value it must hold")->required();
    test_and_set->add_option("NEW", call.new_value, "the value to write")->required();

    std::string other;
    CLI::App *diff = app.add_subcommand(
        "diff", "the change set that turns OLD into NEW, and its effect on the model; exit 0 "
                "when the two models are the same, 1 when they differ");
    diff->add_option("OLD", source, "the configuration before")->required();
    diff->add_option("NEW", other, "the configuration after")->required();
    bool changes_only = false;
    auto *diff_json = diff->add_flag("--json", as_json, "as one JSON document");
    diff->add_flag("--changes", changes_only, "only the change set, as a change file")
        ->excludes(diff_json);

    CLI::App *apply = app.add_subcommand(
        "apply", "take change sets in turn into the running model as a running host does, "
                 "showing each step, its cost and effect, and where the running model differs "
                 "from a fresh start of the changed configuration; exit 1 when it does");
    apply->add_option("SOURCE", source, "the configuration")->required();
    std::vector<std::string> change_sets;
    apply->add_option("CHANGES", change_sets, "change sets (docs/records.md), taken in turn")
        ->required();
    ApplyOptions apply_options;
    std::string host = host_name(Host::simple);
    apply->add_option("--host", host,
                      "the running host: simple (the default: what this host does) or faithful "
                      "(never drifts from a restart); docs/changes.md")
        ->check(CLI::IsMember({host_name(Host::simple), host_name(Host::faithful)}));
    apply->add_flag("--each", apply_options.each,
                    "compare with a fresh start after each change set, not only the last");
    apply->add_flag("--json", apply_options.as_json, "as one JSON document");
    apply->add_option("--result", apply_options.result,
                      "write the changed configuration there, as a dump");
    apply->add_flag("--commit", apply_options.commit,
                    "commit the change sets to the store file SOURCE, in one transaction, unless "
                    "the module refused a record of them");

    CLI::App *import = app.add_subcommand(
        "import", "create a store file holding a configuration: its records and remote devices");
    import->add_option("STORE", source, "the store file to create")->required();
    import->add_option("SOURCE", other, "the configuration")->required();
    CLI::App *export_ = app.add_subcommand(
        "export", "write a configuration, a store file's for instance, as a dump");
    export_->add_option("SOURCE", source, "the configuration")->required();
    export_->add_option("FILE", other,
                        "where to write the dump, whole or not at all (default: standard output)");

    CLI::App *log = app.add_subcommand(
        "log", "the store file's log of commits, newest first; or commit SEQ's change set "
               "(with --reverse, the change set that undoes it), as a change file");
    log->add_option("STORE", source, "the store file")->required();
    LogOptions log_options;
    log->add_option("SEQ", log_options.seq, "the commit")->check(decimal)->check(CLI::Range(int64_t(0), INT64_MAX));
    log->add_flag("--reverse", log_options.reverse, "the change set that undoes the commit");
    log->add_flag("--json", log_options.as_json, "the log as one JSON document");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        std::string command = command_error(app);
        std::cerr << (command.empty() ? "confmodel-host: " + std::string(e.what()) : command) << "\n"
                  << "Run confmodel-host --help for the commands.\n";
        return EXIT_BAD;
    }

    settings.wait_ms = static_cast<int>(wait_seconds * 1000 + 0.5);
    settings.command = "confmodel-host";
    for (int i = 1; i < argc; i++)
        settings.command += " " + shell_word(argv[i]);
    progress::show(!quiet && isatty(STDERR_FILENO));
    Session session(settings);
    auto dispatch = [&]() -> int {
        View view = as_json ? View::json : as_dot ? View::dot : View::text;
        if (*show) {
            if (*port) query.kind = Query::port;
            if (*vlan) query.kind = Query::vlan;
            if (*xnetgroup) query.kind = Query::xnetgroup;
            if (*portgroup) {
                query.kind = Query::portgroup;
                // A 32-bit decimal number is looked up by number, anything
                // else by pathname.
                int32_t number;
                std::string text = query.text;
                if (decimal(text).empty() && CLI::detail::lexical_cast(text, number)) {
                    query.number = number;
                    query.text.clear();
                }
            }
            if (query.kind != Query::none && as_dot)
                throw Failure("confmodel-host: --dot shows the whole model; it takes no lookup");
            return cmd_show(session, source, view, query);
        }
        if (*check) return cmd_check(session, source, as_json);
        if (*diff)
            return cmd_diff(session, source, other,
                            changes_only ? DiffView::changes
                            : as_json    ? DiffView::json
                                         : DiffView::text);
        if (*apply) {
            apply_options.host = host == host_name(Host::faithful) ? Host::faithful : Host::simple;
            return cmd_apply(session, source, change_sets, apply_options);
        }
        if (*import) return cmd_import(session, source, other);
        if (*log) {
            if (log_options.reverse && log_options.seq < 0)
                throw Failure("confmodel-host log: --reverse undoes one commit: give its SEQ");
            return cmd_log(session, source, log_options);
        }
        if (*export_) return cmd_export(session, source, other);
        call.key = static_cast<uintptr_t>(key);
        call.action = *set ? "set" : *reset ? "reset" : "test-and-set";
        return cmd_dcbx(session, source, call, as_json);
    };

    int status = EXIT_BAD;
    try {
        status = dispatch();
    } catch (const Failure &e) {
        std::cerr << e.what() << "\n";
    } catch (const std::bad_alloc &) {
        std::cerr << "confmodel-host: out of memory\n";
    } catch (const std::exception &e) {
        std::cerr << "confmodel-host: " << escaped(e.what()) << "\n";
    }
    // Output that did not arrive is a failure too.
    bool output_lost = !std::cout.flush();
    if (output_lost)
        std::cerr << "confmodel-host: standard output cannot be written: nothing shown is complete\n";
    if (!session.changed().empty() && (output_lost || status == EXIT_BAD)) {
        std::cerr << "confmodel-host: the store was changed all the same: " << session.changed() << "\n";
        return EXIT_INCOMPLETE;
    }
    return output_lost ? EXIT_BAD : status;
}

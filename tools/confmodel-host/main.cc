// confmodel-host: acts as the device's host program. Loads the module, replays
// a configuration through it, and shows what the module made of it. This file
// only reads the command line and dispatches to a command.
#include "commands.h"
#include "input/text.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <limits>
#include <iostream>
#include <new>

namespace {

const char footer[] = R"(
SOURCE is a configuration: a dump in JSON Lines (docs/records.md), - for
standard input, or a store file, told apart by their content. Every line the
module logs goes to standard error with its priority and the record, or the
change, that caused it.

Exit status, which alone tells a script whether a store file changed (only
0, 3 and 4 follow a change, and always do):
  0  done; import, dcbx with status 0 and apply --commit changed the store
  1  done, nothing changed, and the answer is no: a lookup found nothing,
     check found problems, the models differ (diff), the running model
     diverges from a fresh start (apply), the module's DCBX status is not 0
  2  failed, and nothing changed: a usage error, an unreadable or malformed
     input, a module that cannot be loaded, a store that is locked or
     refused, a refused commit, output that cannot be written
  3  apply --commit committed, and the running model diverges
  4  a store was changed, but what had to follow failed (the output could not
     be written); the message says what was changed
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

} // namespace

int main(int argc, char **argv) {
    CLI::App app{"Loads the module as the device's host does, builds the model from a "
                 "configuration, and shows it.",
                 "confmodel-host"};
    app.footer(footer);
    app.require_subcommand(1);
    app.fallthrough();
    Settings settings;
    app.add_option("--library", settings.library,
                   "the module to load (default: " + settings.library + ")");
    const CLI::Range positive(size_t(1), std::numeric_limits<size_t>::max());
    app.add_option("--max-line", settings.limits.max_line,
                   "the longest line of a dump (or row of a store), in bytes (default 1 MiB)")
        ->check(positive);
    app.add_option("--max-input", settings.limits.max_input,
                   "the largest dump, in bytes (default 1 GiB)")
        ->check(positive);
    app.add_flag("--read-only", settings.read_only,
                 "open store files read-only: nothing is ever written to them");

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
        "check", "show no model: list the module's and the host's findings; exit 1 if any");
    check->add_option("SOURCE", source, "the configuration")->required();

    CLI::App *dcbx = app.add_subcommand(
        "dcbx", "change a remote device's DCBX-pending flag through the module, showing the "
                "stored value before and after and the status; exit 1 unless it is 0");
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

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        std::cerr << "confmodel-host: " << e.what() << "\n"
                  << "Run confmodel-host --help for the commands.\n";
        return EXIT_BAD;
    }

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
        if (*check) return cmd_check(session, source);
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
        if (*export_) return cmd_export(session, source);
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

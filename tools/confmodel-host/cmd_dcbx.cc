#include "arguments.h"
#include "commands.h"
#include "input/text.h"
#include "output/dcbx_call.h"
#include "serve/client.h"

#include <iostream>
#include <memory>

namespace {

// A DCBX call against the configuration's remote devices; exit 1 unless it
// answers 0.
int dcbx(Session &session, const std::string &source, const DcbxCall &call, bool as_json) {
    if (is_socket(source)) {
        ojson request = {{"request", "dcbx"},
                         {"form", as_json ? "json" : "text"},
                         {"action", call.action},
                         {"device", call.key}};
        if (call.action == "test-and-set") {
            request["expected"] = call.expected;
            request["new"] = call.new_value;
        }
        return ask(source, request);
    }
    session.settle(source);
    Source config = session.open(source, true);
    const DcbxDone done = call_dcbx(std::cout, as_json ? View::json : View::text, session.module(),
                                    *config.store, config.from_store_file, call);
    if (done.changed)
        session.store_changed(escaped(source) + ": the DCBX flag of device " + std::to_string(call.key) +
                              " committed");
    return done.exit;
}

} // namespace

CommandRun declare_dcbx(CLI::App &command) {
    struct Options {
        std::string source;
        bool as_json = false;
        DcbxCall call;
        int64_t key = 0;
    };
    auto o = std::make_shared<Options>();
    command.description("change a remote device's DCBX-pending flag through the module, showing "
                        "the value its transaction read, the status, and the value it left");
    command.add_option("SOURCE", o->source, "the configuration")->required();
    command.add_flag("--json", o->as_json, "as JSON");
    command.require_subcommand(1);
    CLI::App *set = command.add_subcommand("set", "set the flag to \"true\"");
    CLI::App *reset = command.add_subcommand("reset", "set it to \"false\"");
    CLI::App *test_and_set =
        command.add_subcommand("test-and-set", "set it to NEW if it holds EXPECTED");
    for (CLI::App *action : {set, reset, test_and_set})
        number(action, "KEY", o->key, 0, UINT32_MAX, "the device's key");
    test_and_set->add_option("EXPECTED", o->call.expected, "the value it must hold")->required();
    test_and_set->add_option("NEW", o->call.new_value, "the value to write")->required();
    example(command, "dcbx device.db test-and-set 1002 true false");
    return [o, set, reset](Session &session) {
        o->call.key = static_cast<uintptr_t>(o->key);
        o->call.action = *set ? "set" : *reset ? "reset" : "test-and-set";
        return dcbx(session, o->source, o->call, o->as_json);
    };
}

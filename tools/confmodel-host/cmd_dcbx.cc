#include "arguments.h"
#include "commands.h"
#include "input/text.h"
#include "output/document.h"
#include "output/vocabulary.h"

#include <cerrno>
#include <iostream>
#include <memory>

namespace {

// The module's own statuses by name, the store's by its text, after the
// number where `numbered`.
std::string status_name(const Store &store, int status, bool numbered) {
    switch (status) {
    case 0:
        return numbered ? "0" : "OK";
    case ENOMEM:
        return "ENOMEM";
    case EBUSY:
        return "EBUSY";
    case EINVAL:
        return "EINVAL";
    default:
        return numbered ? std::to_string(status) + " (" + store.status_text(status) + ")"
                        : store.status_text(status);
    }
}

// What the module's transaction read and left, from the store's log of its
// calls: the values a get handed over or a set replaced, and after a commit
// the value written in each of those records. Null when nothing was read.
struct Seen {
    ojson before, after;
};

Seen seen(const std::vector<LoggedCall> &calls) {
    ojson found, written;
    bool committed = false;
    for (const LoggedCall &call : calls) {
        const std::string_view name = call.name;
        if (call.status != 0) continue;
        const bool set = name == "tavri_remotedevice_set";
        if ((name == "tavri_remotedevice_get" || set) && found.is_null()) {
            found = ojson::array();
            for (const std::optional<std::string> &value : call.before)
                found.push_back(value ? ojson(*value) : ojson());
        }
        if (set) {
            written = ojson::array();
            for (size_t i = 0; i < call.before.size(); i++)
                written.push_back(call.written ? ojson(*call.written) : ojson());
        }
        committed = committed || name == "tavri_transaction_commit";
    }
    return {found, committed && !written.is_null() ? written : found};
}

std::string shown(const ojson &list) {
    if (list.is_null()) return "not read: the transaction did not start";
    if (list.empty()) return "no record";
    std::string text;
    for (const ojson &value : list)
        text += (text.empty() ? "" : ", ") + json_text(value, -1);
    return text;
}

struct DcbxCall {
    std::string action; // set, reset or test-and-set
    uintptr_t key = 0;
    std::string expected, new_value;
};

// A DCBX call against the configuration's remote devices; exit 1 unless it
// answers 0.
int dcbx(Session &session, const std::string &source, const DcbxCall &call, bool as_json) {
    session.settle(source);
    Source config = session.open(source, true);
    const Module &m = session.module();
    Store &store = *config.store;

    store.log_calls();
    const uint64_t changes = store.changes();
    int status = call.action == "set"     ? m.dcbx_pending_set(store.handle(), call.key)
                 : call.action == "reset" ? m.dcbx_pending_reset(store.handle(), call.key)
                                          : m.dcbx_pending_test_and_set(store.handle(), call.key,
                                                                        call.expected.c_str(),
                                                                        call.new_value.c_str());
    const auto [before, after] = seen(store.calls());
    // Only a write that changed a record changed the store: setting a flag
    // that already holds the value, or a device with no record, changes none.
    const bool changed = status == 0 && config.from_store_file && store.changes() > changes;
    if (changed)
        session.store_changed(escaped(source) + ": the DCBX flag of device " + std::to_string(call.key) + " committed");
    const char *kept = status != 0 ? nullptr
                       : !config.from_store_file
                           ? "nothing: a dump keeps no state (import it into a store file to keep it)"
                       : !changed ? "nothing changed: every record already held what was written"
                                  : nullptr;

    if (as_json)
        std::cout << json_text(ojson{{"format", json_format},
                                     {"device", call.key},
                                     {"action", call.action},
                                     {"before", before},
                                     {"status", status},
                                     {"status_name", status_name(store, status, false)},
                                     {"after", after},
                                     {"changed", changed}})
                  << "\n";
    else
        std::cout << "dcbx " << call.action << " on device " << call.key << "\n"
                  << "  before  " << shown(before) << "\n"
                  << "  status  " << status_name(store, status, true) << "\n"
                  << "  after   " << shown(after) << "\n"
                  << (kept ? std::string("  kept    ") + kept + "\n" : "");
    // EBUSY and EINVAL are the module's answers; anything else is a failure.
    // Success says the store changed only where it did.
    if (status == 0) return changed ? EXIT_OK : EXIT_NO;
    return status == EBUSY || status == EINVAL ? EXIT_NO : EXIT_BAD;
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

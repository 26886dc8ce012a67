#include "output/dcbx_call.h"

#include "output/document.h"
#include "output/vocabulary.h"

#include <cerrno>

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

} // namespace

DcbxDone call_dcbx(std::ostream &out, View view, const Module &m, Store &store, bool kept_store,
                   const DcbxCall &call) {
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
    const bool changed = status == 0 && kept_store && store.changes() > changes;
    const char *kept = status != 0 ? nullptr
                       : !kept_store
                           ? "nothing: a dump keeps no state (import it into a store file to keep it)"
                       : !changed ? "nothing changed: every record already held what was written"
                                  : nullptr;
    if (view == View::json || view == View::json_line)
        out << json_text(ojson{{"format", json_format},
                               {"device", call.key},
                               {"action", call.action},
                               {"before", before},
                               {"status", status},
                               {"status_name", status_name(store, status, false)},
                               {"after", after},
                               {"changed", changed}},
                         view == View::json ? 2 : -1)
            << (view == View::json ? "\n" : "");
    else
        out << "dcbx " << call.action << " on device " << call.key << "\n"
            << "  before  " << shown(before) << "\n"
            << "  status  " << status_name(store, status, true) << "\n"
            << "  after   " << shown(after) << "\n"
            << (kept ? std::string("  kept    ") + kept + "\n" : "");
    // EBUSY and EINVAL are the module's answers; anything else is a failure.
    // Success says the store changed only where it did.
    if (status == 0) return {changed ? 0 : 1, changed, false};
    return {status == EBUSY || status == EINVAL ? 1 : 2, false, store.locked(status)};
}

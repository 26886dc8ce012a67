#include "commands.h"
#include "input/text.h"

#include <cerrno>
#include <iostream>

namespace {

// The module's own statuses by name, the store's with its text.
std::string status_name(const Store &store, int status) {
    switch (status) {
    case 0:
        return "0";
    case ENOMEM:
        return "ENOMEM";
    case EBUSY:
        return "EBUSY";
    case EINVAL:
        return "EINVAL";
    default:
        return std::to_string(status) + " (" + store.status_text(status) + ")";
    }
}

ojson values(const Store &store, uintptr_t key) {
    ojson list = ojson::array();
    for (const RemoteDevice &device : store.devices(key))
        list.push_back(describe_remote_device(device)["dcbx_pending"]);
    return list;
}

std::string shown(const ojson &list) {
    if (list.empty()) return "no record";
    std::string text;
    for (const ojson &value : list)
        text += (text.empty() ? "" : ", ") + json_text(value, -1);
    return text;
}

} // namespace

int cmd_dcbx(Session &session, const std::string &source, const DcbxCall &call, bool as_json) {
    Source config = session.open(source, true);
    const Module &m = session.module();
    Store &store = *config.store;

    ojson before = values(store, call.key);
    int status = call.action == "set"     ? m.dcbx_pending_set(store.handle(), call.key)
                 : call.action == "reset" ? m.dcbx_pending_reset(store.handle(), call.key)
                                          : m.dcbx_pending_test_and_set(store.handle(), call.key,
                                                                        call.expected.c_str(),
                                                                        call.new_value.c_str());
    ojson after = values(store, call.key);
    if (status == 0 && config.from_store_file)
        session.store_changed(escaped(source) + ": the DCBX flag of device " + std::to_string(call.key) + " written");

    if (as_json)
        std::cout << json_text(ojson{{"device", call.key},
                                     {"action", call.action},
                                     {"before", before},
                                     {"status", status_name(store, status)},
                                     {"after", after}})
                  << "\n";
    else
        std::cout << "dcbx " << call.action << " on device " << call.key << "\n"
                  << "  before  " << shown(before) << "\n"
                  << "  status  " << status_name(store, status) << "\n"
                  << "  after   " << shown(after) << "\n";
    return status == 0 ? EXIT_OK : EXIT_NO;
}

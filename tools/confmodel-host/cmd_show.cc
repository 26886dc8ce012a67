#include "commands.h"
#include "output/findings.h"

#include <iostream>

namespace {

// Prints the entry a lookup found, as text or JSON. 1 when there is none.
template <typename Entry, typename Describe, typename Print>
int answer(View view, const Entry *entry, Describe describe, Print print) {
    if (entry == nullptr) {
        std::cout << (view == View::json ? "null" : "not found") << "\n";
        return EXIT_NO;
    }
    ojson found = describe(*entry);
    if (view == View::json)
        std::cout << json_text(found) << "\n";
    else
        print(std::cout, found);
    return EXIT_OK;
}

int lookup(const Module &m, View view, const Query &q) {
    switch (q.kind) {
    case Query::port:
        // Numbered from 1 here, as pathnames number ports; from 0 in the module.
        return answer(view, m.find_ext_portgroup_for_port(static_cast<int32_t>(q.number - 1)),
                      describe_portgroup, print_portgroup);
    case Query::vlan:
        return answer(view, m.find_xnet_by_int_vid(static_cast<int32_t>(q.number)),
                      describe_xnet, print_xnet);
    case Query::portgroup:
        return q.text.empty() ? answer(view, m.find_portgrp_by_number(static_cast<int32_t>(q.number)),
                                       describe_portgroup, print_portgroup)
                              : answer(view, m.find_portgrp_by_name(q.text.c_str()),
                                       describe_portgroup, print_portgroup);
    case Query::xnetgroup:
        return answer(view, m.find_xgrp_by_name_generic(q.text.c_str(), q.separator.c_str()),
                      describe_xnetgroup, print_xnetgroup);
    case Query::none:
        break;
    }
    return EXIT_OK;
}

} // namespace

int cmd_show(Session &session, const std::string &source, View view, const Query &query) {
    // Remote devices are shown from their records: nothing here needs a store.
    Dump dump = session.read(source);
    const Module &m = session.module();
    HostModel model(m);
    model.build(dump);
    report_findings(dump, model, &std::cerr);
    std::cout.flush();
    if (query.kind != Query::none) return lookup(m, view, query);
    write_model(std::cout, view, model, dump);
    return EXIT_OK;
}

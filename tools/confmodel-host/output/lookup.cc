#include "output/lookup.h"

#include "output/document.h"
#include "output/report_json.h"
#include "output/report_text.h"
#include "output/vocabulary.h"

#include <cstring>

namespace {

template <typename Entry, typename Describe, typename Print>
int answer(std::ostream &out, View view, const Entry *entry, Describe describe, Print print) {
    ojson found = entry == nullptr ? ojson() : describe(*entry);
    if (view == View::json || view == View::json_line)
        out << json_text({{"format", json_format}, {"found", found}}, view == View::json ? 2 : -1)
            << (view == View::json ? "\n" : "");
    else if (entry == nullptr)
        out << "not found\n";
    else
        print(out, *entry);
    return entry == nullptr ? 1 : 0;
}

// The host owns the lists: an xnet by pathname is found by walking them.
const xnet_entry *xnet_named(const Module &m, const std::string &path) {
    CONFMODEL_LIST_FOREACH(const xnet_entry, xnet, m.xnets) {
        if (xnet->pathname != nullptr && path == xnet->pathname) return xnet;
    }
    return nullptr;
}

} // namespace

int answer_lookup(std::ostream &out, View view, const Module &m, const Query &q) {
    switch (q.kind) {
    case Query::port:
        // Numbered from 1 here, as pathnames number ports; from 0 in the module.
        return answer(out, view, m.find_ext_portgroup_for_port(static_cast<int32_t>(q.number - 1)),
                      describe_portgroup, print_portgroup);
    case Query::vlan:
        return answer(out, view, m.find_xnet_by_int_vid(static_cast<int32_t>(q.number)), describe_xnet,
                      print_xnet);
    case Query::portgroup:
        return q.text.empty() ? answer(out, view, m.find_portgrp_by_number(static_cast<int32_t>(q.number)),
                                       describe_portgroup, print_portgroup)
                              : answer(out, view, m.find_portgrp_by_name(q.text.c_str()), describe_portgroup,
                                       print_portgroup);
    case Query::xnetgroup:
        return answer(out, view, m.find_xgrp_by_name_generic(q.text.c_str(), q.separator.c_str()),
                      describe_xnetgroup, print_xnetgroup);
    case Query::xnet:
        return answer(out, view, xnet_named(m, q.text), describe_xnet, print_xnet);
    case Query::none:
        break;
    }
    return 0;
}

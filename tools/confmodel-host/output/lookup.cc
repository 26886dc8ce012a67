#include "output/lookup.h"

#include "output/document.h"
#include "output/json.h"
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

Found find_entry(const Module &m, const Query &q) {
    Found found;
    switch (q.kind) {
    case Query::port:
        // Numbered from 1 here, as pathnames number ports; from 0 in the module.
        found.portgroup = m.find_ext_portgroup_for_port(static_cast<int32_t>(q.number - 1));
        break;
    case Query::vlan:
        found.xnet = m.find_xnet_by_int_vid(static_cast<int32_t>(q.number));
        break;
    case Query::portgroup:
        found.portgroup = q.text.empty() ? m.find_portgrp_by_number(static_cast<int32_t>(q.number))
                                         : m.find_portgrp_by_name(q.text.c_str());
        break;
    case Query::xnetgroup:
        found.xnetgroup = m.find_xgrp_by_name_generic(q.text.c_str(), q.separator.c_str());
        break;
    case Query::xnet:
        found.xnet = xnet_named(m, q.text);
        break;
    case Query::none:
        break;
    }
    return found;
}

int answer_lookup(std::ostream &out, View view, const Module &m, const Query &q) {
    const Found found = find_entry(m, q);
    switch (q.kind) {
    case Query::port:
    case Query::portgroup:
        return answer(out, view, found.portgroup, describe_portgroup, print_portgroup);
    case Query::vlan:
    case Query::xnet:
        return answer(out, view, found.xnet, describe_xnet, print_xnet);
    case Query::xnetgroup:
        return answer(out, view, found.xnetgroup, describe_xnetgroup, print_xnetgroup);
    case Query::none:
        break;
    }
    return 0;
}

void append_found_document(std::string &out, const Found &found) {
    out += "{\"format\":";
    append_number(out, json_format);
    out += ",\"found\":";
    if (found.portgroup != nullptr)
        append_description(out, *found.portgroup);
    else if (found.xnet != nullptr)
        append_description_with_groups(out, *found.xnet);
    else if (found.xnetgroup != nullptr)
        append_description(out, *found.xnetgroup);
    else
        out += "null";
    out += '}';
}

#include "running/labels.h"

#include <iterator>

namespace {

const char *const role_names[] = {"none",           "external",      "server", "mtp",
                                  "ingress_mirror", "egress_mirror", "fc",     "sflow"};

} // namespace

Phrase portgroup_label(const portgroup_entry &g) {
    return "port group #" + std::to_string(g.number) + " " + Phrase::name(g.pathname);
}

Phrase xnet_label(const xnet_entry &x) {
    return "xnet " + Phrase::name(x.pathname) + " (VLAN " + std::to_string(x.int_vid) + ")";
}

Phrase xnetgroup_label(const Record &record, const xnet_entry *filed_under) {
    Phrase label = describe_phrase(record);
    if (filed_under != nullptr && record.xnet() != filed_under->pathname)
        label += " (filed under " + Phrase::name(filed_under->pathname) + ")";
    return label;
}

const char *role_name(int32_t role) {
    return role >= 0 && static_cast<size_t>(role) < std::size(role_names) ? role_names[role] : "?";
}

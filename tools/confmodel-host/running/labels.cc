#include "running/labels.h"

#include "input/text.h"

#include <iterator>

namespace {

const char *const role_names[] = {"none",           "external",      "server", "mtp",
                                  "ingress_mirror", "egress_mirror", "fc",     "sflow"};

} // namespace

std::string portgroup_label(const portgroup_entry &g) {
    return "port group #" + std::to_string(g.number) + " " + quote(g.pathname);
}

std::string xnet_label(const xnet_entry &x) {
    return "xnet " + quote(x.pathname) + " (VLAN " + std::to_string(x.int_vid) + ")";
}

std::string xnetgroup_label(const xnetgroup_entry &g) {
    return "xnetgroup " + quote(g.pathname) + " under " + quote(g.xnet->pathname);
}

const char *role_name(int32_t role) {
    return role >= 0 && static_cast<size_t>(role) < std::size(role_names) ? role_names[role] : "?";
}

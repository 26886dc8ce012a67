// Releasing entries as a host does: the module never removes an entry from a
// list, so the unlinking is the host's part.
#ifndef CONFMODEL_TESTS_RELEASE_MODEL_H
#define CONFMODEL_TESTS_RELEASE_MODEL_H

#include "model/list.h"

// An xnet of the xnets list: its xnetgroups first, then the xnet itself.
inline void release_xnet(xnet_entry *xnet) {
    while (xnetgroup_entry *group = list_first<xnetgroup_entry>(&xnet->xnetgroups)) {
        list_unlink(&xnet->xnetgroups, group);
        free_xnetgroup_entry(group);
    }
    list_unlink(&xnets, xnet);
    free_xnet_entry(xnet);
}

// Everything on portgroups and xnets, as at the end: the xnets, then the port
// groups.
inline void release_model() {
    while (xnet_entry *xnet = list_first<xnet_entry>(&xnets))
        release_xnet(xnet);
    while (portgroup_entry *group = list_first<portgroup_entry>(&portgroups)) {
        list_unlink(&portgroups, group);
        free_portgroup_entry(group);
    }
}

#endif

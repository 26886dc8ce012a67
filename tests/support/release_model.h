// Releasing entries as a host does: the module never removes an entry from a
// list, so the unlinking is the host's part.
#ifndef CONFMODEL_TESTS_RELEASE_MODEL_H
#define CONFMODEL_TESTS_RELEASE_MODEL_H

#include "model/list.h"

// Everything on portgroups and xnets, as at the end: each xnet's xnetgroups,
// the xnets, then the port groups.
inline void release_model() {
    while (xnet_entry *xnet = list_first<xnet_entry>(&xnets)) {
        while (xnetgroup_entry *group = list_first<xnetgroup_entry>(&xnet->xnetgroups)) {
            list_unlink(&xnet->xnetgroups, group);
            free_xnetgroup_entry(group);
        }
        list_unlink(&xnets, xnet);
        free_xnet_entry(xnet);
    }
    while (portgroup_entry *group = list_first<portgroup_entry>(&portgroups)) {
        list_unlink(&portgroups, group);
        free_portgroup_entry(group);
    }
}

#endif

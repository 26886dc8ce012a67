// Entries of the running model as people read them in steps and messages.
#ifndef CONFMODEL_HOST_RUNNING_LABELS_H
#define CONFMODEL_HOST_RUNNING_LABELS_H

#include "confmodel.h"
#include "input/records.h"

#include <cstdint>
#include <string>

// `port group #1 "/pg"`, `xnet "/x" (VLAN 100)`.
Phrase portgroup_label(const portgroup_entry &group);
Phrase xnet_label(const xnet_entry &xnet);
// An xnetgroup by its record, `xnetgroup "/x/g" under "/x"`, and where that
// is not its xnet's own, the xnet it is filed under: ` (filed under "/y")`.
Phrase xnetgroup_label(const Record &record, const xnet_entry *filed_under);
// A role's keyword, "?" for a value no keyword gives.
const char *role_name(int32_t role);

#endif

// Entries of the running model as people read them in steps and messages.
#ifndef CONFMODEL_HOST_RUNNING_LABELS_H
#define CONFMODEL_HOST_RUNNING_LABELS_H

#include "confmodel.h"

#include <cstdint>
#include <string>

// `port group #1 "/pg"`, `xnet "/x" (VLAN 100)`, `xnetgroup "/x/g" under "/x"`.
std::string portgroup_label(const portgroup_entry &group);
std::string xnet_label(const xnet_entry &xnet);
std::string xnetgroup_label(const xnetgroup_entry &group);
// A role's keyword, "?" for a value no keyword gives.
const char *role_name(int32_t role);

#endif

// What both running hosts do alike, each telling its steps: finding what a
// change set touches, releasing xnetgroups, port groups and port records,
// decoding port records and testing an xnet's native VLAN again.
#ifndef CONFMODEL_HOST_RUNNING_HOST_STEPS_H
#define CONFMODEL_HOST_RUNNING_HOST_STEPS_H

#include "running/hosts.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>

// What the plan does to a record of the configuration before it, or null.
const Plan::Touched *touched(const Plan &plan, const Record &record);

// The cause of the change that brings this record, or null when it was
// there before.
const std::string *changed_to(const Plan &plan, const Record &record);

// How a touched record goes: " is removed" or " changes".
const char *goes(const Plan::Touched &t);

// The entries whose record changes or goes, each with what the plan does.
using Going = std::unordered_map<const void *, const Plan::Touched *>;
Going going_of(const HostModel &model, const Plan &plan);

// Goes through the xnetgroups, xnet by xnet in list order, and releases each
// for which `why` gives a reason: the step's cause and why it goes, told as
// "release ...: why". `released` hears of it before the entry goes. Only
// under the xnets `under` lists, in list order, when it is given: a change
// looks where it can matter, not through every xnetgroup.
using XnetgroupReason =
    std::function<std::optional<Step>(const Record &, const xnet_entry &, const xnetgroup_entry &)>;
using XnetgroupReleased =
    std::function<void(const Record &, xnet_entry *, const std::string &cause)>;
using Xnets = std::set<const xnet_entry *>;
void release_xnetgroups(HostModel &model, const StepSink &step, const XnetgroupReason &why,
                        const XnetgroupReleased &released = {},
                        const std::vector<xnet_entry *> *under = nullptr);

// Releases the port groups that go, in list order, once their bound
// xnetgroups are gone; `released` hears each change's cause and the records
// that lost their answer.
void release_portgroups(HostModel &model, const Going &going, const StepSink &step,
                        const std::function<void(const std::string &, const RecordList &)> &released);

// Frees the port records whose record changes or goes.
void release_port_records(HostModel &model, const Plan &plan, const StepSink &step);

// Decodes the port records the plan changes or adds, in store order, after
// those held.
void decode_port_records(HostModel &model, const Plan &plan, const StepSink &step);

// Tests an xnet's native VLAN again, as a step of `cause`.
void retest_native_vlan(HostModel &model, xnet_entry *xnet, const std::string &cause,
                        const StepSink &step);

// The hosts themselves: simple_host.cc and faithful_host.cc.
void run_simple_host(HostModel &model, const Plan &plan, const StepSink &step);
void run_faithful_host(HostModel &model, const Plan &plan, const StepSink &step);

#endif

// Running hosts: what a device's host does when records of its store change
// while it runs. The module has no update and removes nothing, so a host
// unlinks and releases what a change touches and creates it anew; which
// entries it takes apart, where it links the new ones, and which records it
// tries again are the host's policy, not the module's. Two policies, chosen
// by name (docs/changes.md):
//  simple    releases what a change touches and what depends on it, appends
//            what it creates at the tail, tests an xnet's native VLAN
//            against its first xnetgroup's port group, and never tries again
//            a record the module turned away;
//  faithful  keeps the running model equal to a fresh start of the changed
//            configuration: each entry linked where a fresh start lists it,
//            the entries a fresh start would build otherwise released and
//            created again, records turned away tried again once their cause
//            is gone, and no more released than that takes.
#ifndef CONFMODEL_HOST_RUNNING_HOSTS_H
#define CONFMODEL_HOST_RUNNING_HOSTS_H

#include "input/changes.h"
#include "input/phrase.h"
#include "running/model.h"

#include <functional>
#include <string>

enum class Host { simple, faithful };
const char *host_name(Host host);

// One step of a host, and the change that caused it ("changes.jsonl:3").
struct Step {
    std::string cause;
    Phrase what;
};
using StepSink = std::function<void(const Step &)>;

// Tells a step to a sink that may be empty: the words of a step, its labels
// above all, are written only where someone listens.
template <typename What> void tell(const StepSink &step, const std::string &cause, What what) {
    if (step) step({cause, what()});
}

// What taking a change set cost: entries released and created, the records
// the module refused, and those the host skipped, having no xnet to file
// them under.
struct Applied {
    size_t released = 0, created = 0;
    int refused = 0, skipped = 0;
};

// Takes the plan's changes into the running model as `host` does, telling
// each step. The plan's records must outlive the model.
Applied apply_changes(HostModel &model, Host host, const Plan &plan, const StepSink &step);

#endif

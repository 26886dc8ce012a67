// What change sets cost a running host, in entries of the module's lists
// released and created, beside a restart.
#ifndef CONFMODEL_HOST_RUNNING_COSTS_H
#define CONFMODEL_HOST_RUNNING_COSTS_H

#include "input/changes.h"
#include "running/hosts.h"
#include "running/model.h"

#include <cstddef>
#include <vector>

// What one change set costs: each host's part, and a restart's (every entry
// of the running model released, every entry of a fresh start created).
struct Costs {
    Applied hosts[2];
    Applied restart;
};

// Fills in one host's part of a change set's costs from what it took; the
// faithful host, whose running model is a fresh start's, gives a restart's
// size too.
void note_cost(Costs &costs, Host host, const Applied &applied, size_t entries_before,
               size_t entries_after);

// Takes the plans in turn into a model that `host` runs, quietly, and fills
// in its part of each change set's costs: from a fresh start of `base`, or
// into a model of the lists built already.
void measure(const Module &module, const RecordList &base, const std::vector<Plan> &plans,
             Host host, std::vector<Costs> &costs);
void measure(HostModel &model, const std::vector<Plan> &plans, Host host, std::vector<Costs> &costs);

#endif

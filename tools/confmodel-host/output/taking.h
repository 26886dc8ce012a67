// A run of change sets through a running host, as `apply` and `rollback`
// show it: the host's steps for each set, what each costs, its effect on the
// running model, and where the model then differs from a fresh start; the
// commit, when there is one, once the module refused none of the records.
#ifndef CONFMODEL_HOST_OUTPUT_TAKING_H
#define CONFMODEL_HOST_OUTPUT_TAKING_H

#include "input/changes.h"
#include "running/hosts.h"
#include "running/module.h"

#include <functional>
#include <vector>

struct TakeOptions {
    Host host = Host::simple;
    bool each = false;    // a fresh start compared after each set, not only the last
    bool as_json = false; // the report as one JSON document
    // Commits the sets, as one, once the running model took them without a
    // refusal or a skip; its steps go to the sink. Returns false when it
    // found nothing to write. Null: nothing is committed.
    std::function<bool(const StepSink &)> commit;
    // Called once the commit succeeded, or at once when there is none.
    std::function<void()> settled;
};

// Takes the change sets, each planned on the configuration the one before
// left, into a running model built from the base, and reports it on
// standard output: whether the model then equals a fresh start of the last
// set's result, or the commit found nothing to write. A commit held back by
// the module's refusals throws Failure, once the steps are shown.
enum class Outcome { same, diverges, nothing_written };
Outcome take_changes(const Module &module, const Dump &base, const std::vector<ChangeSet> &sets,
                 const std::vector<Plan> &plans, const TakeOptions &options);

#endif

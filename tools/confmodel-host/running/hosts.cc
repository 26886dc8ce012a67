#include "running/hosts.h"

#include "running/host_steps.h"

namespace {

const char *const host_names[] = {"simple", "faithful"};

} // namespace

const char *host_name(Host host) {
    return host_names[static_cast<int>(host)];
}

Applied apply_changes(HostModel &model, Host host, const Plan &plan, const StepSink &step) {
    const HostModel::Tally before = model.tally();
    if (host == Host::simple)
        run_simple_host(model, plan, step);
    else
        run_faithful_host(model, plan, step);
    const HostModel::Tally &after = model.tally();
    return {after.released - before.released, after.created - before.created, after.refused - before.refused,
            after.skipped - before.skipped};
}

#include "running/costs.h"

#include "running/services.h"

void note_cost(Costs &costs, Host host, const Applied &applied, size_t entries_before,
               size_t entries_after) {
    costs.hosts[static_cast<int>(host)] = applied;
    if (host == Host::faithful) costs.restart = {entries_before, entries_after, 0};
}

void measure(HostModel &model, const std::vector<Plan> &plans, Host host, std::vector<Costs> &costs) {
    services::set_quiet(true);
    for (size_t i = 0; i < plans.size(); i++) {
        size_t entries = model.entries();
        Applied applied = apply_changes(model, host, plans[i], nullptr);
        note_cost(costs[i], host, applied, entries, model.entries());
    }
    services::set_quiet(false);
}

void measure(const Module &module, const RecordList &base, const std::vector<Plan> &plans,
             Host host, std::vector<Costs> &costs) {
    services::set_quiet(true);
    HostModel model(module);
    model.build(base, HostModel::Parts::lists);
    measure(model, plans, host, costs);
}

#include "output/costs.h"

#include <cstdio>

void print_costs(std::ostream &out, const Costs &costs) {
    auto line = [&](const char *who, const Applied &cost) {
        char padded[16];
        snprintf(padded, sizeof padded, "%-15s", who);
        out << "  " << padded << cost.released << " released, " << cost.created << " created\n";
    };
    out << "Cost in entries of the module's lists\n";
    line("simple host", costs.hosts[static_cast<int>(Host::simple)]);
    line("faithful host", costs.hosts[static_cast<int>(Host::faithful)]);
    line("a restart", costs.restart);
}

ojson costs_json(const Costs &costs) {
    auto cost = [](const Applied &c) { return ojson{{"released", c.released}, {"created", c.created}}; };
    return {{"simple", cost(costs.hosts[static_cast<int>(Host::simple)])},
            {"faithful", cost(costs.hosts[static_cast<int>(Host::faithful)])},
            {"restart", cost(costs.restart)}};
}

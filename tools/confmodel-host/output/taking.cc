#include "output/taking.h"

#include "input/text.h"
#include "output/costs.h"
#include "output/snapshot.h"
#include "output/vocabulary.h"
#include "running/costs.h"
#include "running/services.h"

#include <algorithm>
#include <iostream>
#include <optional>
#include <tuple>
#include <unordered_map>

namespace {

// The remote devices of a change: the host writes them to its store itself,
// since the module only ever touches their DCBX flag. The running host's
// store is kept as its device records, in store order: a removal deletes
// every record of the key, a write rewrites them, an addition goes to the end.
void apply_devices(LargeVector<const Record *> &devices, const Plan &plan, const StepSink &step) {
    // Removals first, in the order the store held them, then the rest in the
    // order of the changed configuration.
    std::vector<const Plan::Touched *> removed;
    for (const auto &entry : plan.touched)
        if (entry.second.after == nullptr && entry.second.before->table == Table::remote_device)
            removed.push_back(&entry.second);
    std::sort(removed.begin(), removed.end(), [](const auto *a, const auto *b) {
        return std::make_pair(a->before->source, a->before->line) <
               std::make_pair(b->before->source, b->before->line);
    });
    std::unordered_map<uintptr_t, const Record *> rewritten; // null: removed
    for (const Plan::Touched *t : removed) {
        step({t->cause, "remove " + describe_phrase(*t->before) + " from the store"});
        rewritten[device_key(*t->before)] = nullptr;
    }
    RecordList added;
    for (const Record *record : plan.result) {
        if (record->table != Table::remote_device) continue;
        const Plan::Touched *touched = plan.touched_after(record);
        if (touched == nullptr) continue;
        const Plan::Touched &t = *touched;
        if (t.before == nullptr || t.moved) {
            if (t.moved) rewritten[device_key(*t.before)] = nullptr;
            step({t.cause, "add " + describe_phrase(*record) + " to the store"});
            added.push_back(record);
        } else {
            step({t.cause, "write " + describe_phrase(*record) + " in the store"});
            rewritten[device_key(*record)] = record;
        }
    }
    if (rewritten.empty() && added.empty()) return;
    LargeVector<const Record *> kept;
    kept.reserve(devices.size() + added.size());
    for (const Record *device : devices) {
        auto at = rewritten.find(device_key(*device));
        if (at == rewritten.end())
            kept.push_back(device);
        else if (at->second != nullptr)
            kept.push_back(at->second);
    }
    kept.insert(kept.end(), added.begin(), added.end());
    devices.swap(kept);
}


// The port records and remote devices of a running model, in its order.
RecordList running_records(const HostModel &model,
                                            const LargeVector<const Record *> &devices) {
    RecordList records;
    for (const Subport &s : model.subports())
        records.push_back(s.record);
    for (const PortProtect &p : model.port_protects())
        records.push_back(p.record);
    for (const SubportProtect &p : model.subport_protects())
        records.push_back(p.record);
    records.insert(records.end(), devices.begin(), devices.end());
    return records;
}

// What one change set did to the running model, for the report.
struct Taken {
    std::vector<Step> steps;
    Comparison effect;
    Snapshot running; // kept where the divergence is shown
    RecordList records; // the running port records and devices, likewise
    std::optional<Comparison> divergence;
};

void print_steps(const std::vector<Step> &steps) {
    for (const Step &step : steps)
        std::cout << "  " << escaped(step.cause) << "  " << step.what.text() << "\n";
    if (steps.empty()) std::cout << "  none\n";
}

void print_steps_of(const std::string &host, const ChangeSet &set, const std::vector<Step> &steps,
                    bool first) {
    std::cout << (first ? "" : "\n") << "Steps of the " << host << " host for "
              << escaped(set.name) << ", in the order it takes them\n";
    print_steps(steps);
}

// Why a commit is held back: "1 record was refused by the module and 2
// skipped by the host". A skip is the host's own doing, not the module's.
std::string held_back(int refused, int skipped) {
    std::string text;
    auto part = [&](int n, const char *what) {
        if (n == 0) return;
        text += text.empty() ? std::to_string(n) + (n == 1 ? " record was " : " records were ")
                             : " and " + std::to_string(n) + " ";
        text += what;
    };
    part(refused, "refused by the module");
    part(skipped, "skipped by the host for want of its xnet");
    return text;
}

ojson steps_json(const std::vector<Step> &steps) {
    ojson list = ojson::array();
    for (const Step &step : steps) {
        ojson one = place_json(step.cause);
        one["step"] = step.what.raw();
        list.push_back(one);
    }
    return list;
}

} // namespace

Outcome take_changes(const Module &module, const Dump &base_dump, const std::vector<ChangeSet> &sets,
                 const std::vector<Plan> &plans, const TakeOptions &options) {
    const RecordList base = records_of(base_dump);
    const bool as_json = options.as_json;
    const bool commit = static_cast<bool>(options.commit);
    const Host other = options.host == Host::simple ? Host::faithful : Host::simple;
    std::vector<Costs> costs(plans.size());
    measure(module, base, plans, other, costs);
    std::vector<Taken> taken(plans.size());
    std::vector<services::LogLine> log;
    int refused = 0, skipped = 0;
    {
        // The running host's remote devices: what its store holds. The store
        // file itself is written only by the commit.
        LargeVector<const Record *> devices;
        for (const Record *record : base)
            if (record->table == Table::remote_device) devices.push_back(record);
        HostModel model(module);
        model.build(base_dump);
        Snapshot before = take_snapshot(model);
        services::capture(&log);
        for (size_t i = 0; i < plans.size(); i++) {
            StepSink step = [&](const Step &s) { taken[i].steps.push_back(s); };
            size_t entries = model.entries();
            Applied applied = apply_changes(model, options.host, plans[i], step);
            note_cost(costs[i], options.host, applied, entries, model.entries());
            costs[i].restart.released = entries;
            apply_devices(devices, plans[i], step);
            refused += applied.refused;
            skipped += applied.skipped;
            Snapshot running = take_snapshot(model);
            taken[i].effect = compare(before, running);
            compare_changed_records(taken[i].effect, module,
                                    i == 0 ? base : plans[i - 1].result, plans[i]);
            if (options.each || i + 1 == plans.size()) {
                taken[i].running = running;
                taken[i].records = running_records(model, devices);
            }
            before = std::move(running);
        }
        services::capture(nullptr);
    }
    std::vector<Step> committed;
    const std::string host = host_name(options.host);
    if (commit && refused + skipped > 0) {
        // The steps name the records held back, and why.
        if (options.as_json) {
            ojson list = ojson::array();
            for (size_t i = 0; i < plans.size(); i++)
                list.push_back({{"changes", sets[i].name}, {"steps", steps_json(taken[i].steps)}});
            std::cout << json_text({{"host", host}, {"change_sets", list}}) << "\n";
        } else {
            for (size_t i = 0; i < plans.size(); i++)
                print_steps_of(host, sets[i], taken[i].steps, i == 0);
        }
        throw Failure(sets.back().name + ": not committed to " + escaped(base_dump.name) + ": " +
                      held_back(refused, skipped) +
                      ", while the running model took the change sets (see the steps above)");
    }
    // A commit that found nothing to write.
    const bool unchanged =
        commit && !options.commit([&](const Step &s) { committed.push_back(s); });
    if (options.settled) options.settled();
    for (size_t i = 0; i < plans.size(); i++)
        if (options.each || i + 1 == plans.size()) {
            services::set_quiet(true);
            Snapshot restarted = fresh_snapshot(module, plans[i].result);
            services::set_quiet(false);
            taken[i].divergence = compare(taken[i].running, restarted);
            compare_running_records(*taken[i].divergence, module, taken[i].records,
                                    plans[i].result);
            taken[i].running = {};
            taken[i].records = {};
        }

    const Sides change_sides{"before", "after"}, start_sides{"running", "restarted"};
    if (as_json) {
        ojson lines = ojson::array();
        for (const services::LogLine &line : log)
            lines.push_back(finding_json(line.context, severity(line.priority),
                                         finding_code(line.text), line.text));
        ojson list = ojson::array();
        for (size_t i = 0; i < plans.size(); i++) {
            ojson one = {{"changes", sets[i].name},
                         {"steps", steps_json(taken[i].steps)},
                         {"cost", costs_json(costs[i])},
                         {"effect", comparison_json(taken[i].effect, change_sides)}};
            if (options.each) one["divergence"] = comparison_json(*taken[i].divergence, start_sides);
            list.push_back(one);
        }
        ojson out = {{"format", json_format}, {"host", host}, {"change_sets", list}, {"log", lines}};
        if (commit) out["commit"] = steps_json(committed);
        out["divergence"] = comparison_json(*taken.back().divergence, start_sides);
        std::cout << json_text(out) << "\n";
    } else {
        for (size_t i = 0; i < plans.size(); i++) {
            print_steps_of(host, sets[i], taken[i].steps, i == 0);
            std::cout << "\n";
            print_costs(std::cout, costs[i]);
            std::cout << "\nEffect on the running model\n";
            print_comparison(std::cout, taken[i].effect, change_sides, "  ");
            if (!taken[i].divergence) continue;
            std::cout << "\nDivergence of the " << host
                      << " host from a fresh start of the changed configuration\n";
            if (taken[i].divergence->same())
                std::cout << "  none: a restart builds the same model\n";
            else
                print_comparison(std::cout, *taken[i].divergence, start_sides, "  ");
        }
        if (commit) {
            std::cout << "\nCommitted\n";
            print_steps(committed);
        }
    }
    if (unchanged) return Outcome::nothing_written;
    return taken.back().divergence->same() ? Outcome::same : Outcome::diverges;
}

#include "changes.h"
#include "commands.h"
#include "services.h"
#include "snapshot.h"
#include "text.h"

#include <algorithm>
#include <iostream>

namespace {

// The remote devices of a change: the host writes them to its store itself,
// since the module only ever touches their DCBX flag.
void apply_devices(Store &store, const Plan &plan, const HostModel::StepSink &step) {
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
    for (const Plan::Touched *t : removed) {
        step(t->cause, "remove " + describe(*t->before) + " from the store");
        store.remove(device_key(*t->before));
    }
    for (const Record *record : plan.result) {
        if (record->table != Table::remote_device) continue;
        auto at = plan.touched.find(identity(*record));
        if (at == plan.touched.end() || at->second.after != record) continue;
        if (at->second.before == nullptr) {
            step(at->second.cause, "add " + describe(*record) + " to the store");
            store.add(*record);
        } else {
            step(at->second.cause, "write " + describe(*record) + " in the store");
            store.replace(*record);
        }
    }
}

} // namespace

int cmd_apply(Session &session, const std::string &source, const std::string &changes_path,
              const std::string &result_path, bool as_json) {
    Dump base = session.read(source);
    LineReader in(changes_path, session.limits());
    ChangeSet changes = read_changes(in);
    Plan plan = plan_changes(base, changes);
    if (!result_path.empty()) write_dump(result_path, plan.result);

    ojson steps = ojson::array();
    std::vector<services::LogLine> log;
    HostModel::StepSink step = [&](const std::string &cause, const std::string &text) {
        if (as_json)
            steps.push_back({{"cause", cause}, {"step", text}});
        else
            std::cout << "  " << cause << "  " << text << std::endl;
    };

    Snapshot before, running;
    {
        Store store;
        seed(store, base);
        HostModel model(session.module());
        model.build(base);
        before = take_snapshot(model, store);
        if (!as_json) std::cout << "Steps, in the order the host takes them\n";
        services::capture(&log);
        model.apply(plan, step);
        apply_devices(store, plan, step);
        services::capture(nullptr);
        if (!as_json && steps.empty() && plan.touched.empty()) std::cout << "  none\n";
        running = take_snapshot(model, store);
    }
    services::set_quiet(true);
    Snapshot restarted = fresh_snapshot(session, plan.result);
    services::set_quiet(false);

    Comparison effect = compare(before, running), divergence = compare(running, restarted);
    const Sides change_sides{"before", "after"}, start_sides{"running", "restarted"};
    if (as_json) {
        ojson lines = ojson::array();
        for (const services::LogLine &line : log)
            lines.push_back({{"cause", line.context}, {"priority", line.priority}, {"text", line.text}});
        std::cout << json_text({{"steps", steps},
                                {"log", lines},
                                {"effect", comparison_json(effect, change_sides)},
                                {"divergence", comparison_json(divergence, start_sides)}})
                  << "\n";
    } else {
        std::cout << "\nEffect on the running model\n";
        print_comparison(std::cout, effect, change_sides, "  ");
        std::cout << "\nDivergence from a fresh start of the changed configuration\n";
        if (divergence.same())
            std::cout << "  none: a restart builds the same model\n";
        else
            print_comparison(std::cout, divergence, start_sides, "  ");
    }
    return divergence.same() ? EXIT_OK : EXIT_FOUND_NOTHING;
}

#include "input/changes.h"
#include "commands.h"
#include "output/files.h"
#include "running/services.h"
#include "output/snapshot.h"
#include "input/text.h"

#include <algorithm>
#include <fstream>
#include <iostream>

namespace {

// The remote devices of a change: the host writes them to its store itself,
// since the module only ever touches their DCBX flag.
void apply_devices(Store &store, const Plan &plan, const HostModel::StepSink &step) {
    // Removals first, in the order the store held them, then the rest in the
    // order of the changed configuration; all in one transaction.
    store.begin();
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
        if (at->second.before == nullptr || at->second.moved) {
            if (at->second.moved) store.remove(device_key(*at->second.before));
            step(at->second.cause, "add " + describe(*record) + " to the store");
            store.add(*record);
        } else {
            step(at->second.cause, "write " + describe(*record) + " in the store");
            store.replace(*record);
        }
    }
    store.commit();
}

// Writes the change set to the store file the base was read from, in one
// transaction of the host's own, against the very records it was planned on.
// Returns what was committed.
std::string commit(const std::string &path, const Dump &base, const Plan &plan, size_t max_row,
                   const HostModel::StepSink &step) {
    Store file(path, Store::Open::read_write);
    file.begin();
    try {
        Dump now = file.read(max_row);
        bool same = now.records.size() == base.records.size();
        for (size_t i = 0; same && i < now.records.size(); i++)
            same = now.records[i].same_as(base.records[i]) &&
                   now.records[i].line == base.records[i].line;
        if (!same)
            throw Failure(escaped(path) + ": changed since it was read; nothing was committed");
        size_t writes = 0;
        for (const auto &[id, t] : plan.touched) {
            if (t.before == nullptr) continue;
            if (t.after == nullptr || t.moved)
                file.erase(*t.before);
            else
                file.update(*t.before, *t.after);
            writes++;
        }
        for (const Record *record : plan.result) {
            auto t = plan.touched.find(identity(*record));
            if (t != plan.touched.end() && t->second.after == record &&
                (t->second.before == nullptr || t->second.moved)) {
                file.insert(*record);
                writes++;
            }
        }
        file.commit();
        std::string committed = std::to_string(writes) + " row change" + (writes == 1 ? "" : "s");
        step(escaped(path), "commit " + committed + " in one transaction");
        return escaped(path) + ": " + committed + " committed";
    } catch (...) {
        file.rollback();
        throw;
    }
}

} // namespace

int cmd_apply(Session &session, const std::string &source, const std::string &changes_path,
              const ApplyOptions &options) {
    Source base = session.open(source);
    if (options.commit && !base.from_store_file)
        throw Failure(escaped(source) + ": --commit writes to a store file, and this is a dump");
    if (options.commit && session.settings().read_only)
        throw Failure("confmodel-host: --commit writes to the store, and --read-only forbids it");
    ChangeSet changes = read_changes(*session.lines(changes_path));
    Plan plan = plan_changes(base.dump, changes);
    if (!options.result.empty()) {
        // A dump never goes over an input, nor where a store file is.
        if (options.result == "-" || session.is_input(options.result))
            throw Failure(escaped(options.result) + ": one of this run's inputs; --result writes a "
                                                    "new file, and would lose it");
        std::ifstream existing(options.result, std::ios::binary);
        char head[16] = {};
        if (existing.read(head, sizeof head) && is_store_file(std::string(head, sizeof head)))
            throw Failure(escaped(options.result) +
                          ": a store file; --result writes a dump and would destroy it");
    }
    const bool as_json = options.as_json;

    ojson steps = ojson::array();
    std::vector<services::LogLine> log;
    HostModel::StepSink step = [&](const std::string &cause, const std::string &text) {
        if (as_json)
            steps.push_back({{"cause", cause}, {"step", text}});
        else
            std::cout << "  " << cause << "  " << text << std::endl;
    };

    Snapshot before, running;
    int refused = 0;
    {
        // The running model works on a copy of the remote devices: the store
        // file is written only by the commit.
        Store store;
        seed(store, records_of(base.dump));
        HostModel model(session.module());
        model.build(base.dump);
        before = take_snapshot(model, store);
        if (!as_json) std::cout << "Steps, in the order the host takes them\n";
        services::capture(&log);
        int errors = services::errors_logged();
        int skipped = model.apply(plan, step);
        apply_devices(store, plan, step);
        refused = services::errors_logged() - errors + skipped;
        services::capture(nullptr);
        if (!as_json && plan.touched.empty()) std::cout << "  none\n";
        running = take_snapshot(model, store);
    }
    if (options.commit) {
        if (refused > 0)
            throw Failure(changes.name + ": not committed to " + escaped(source) + ": " +
                          std::to_string(refused) +
                          (refused == 1 ? " record was" : " records were") +
                          " refused while the running model took the change set (see above)");
        session.store_changed(commit(source, base.dump, plan, session.settings().limits.max_line, step));
    }
    // Only a configuration that was committed, when one is to be.
    if (!options.result.empty()) write_dump(options.result, plan.result);
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
    if (divergence.same()) return EXIT_OK;
    return options.commit ? EXIT_DIVERGES : EXIT_NO;
}

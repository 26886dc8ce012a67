#include "arguments.h"
#include "commands.h"
#include "input/changes.h"
#include "input/text.h"
#include "output/costs.h"
#include "output/files.h"
#include "output/snapshot.h"
#include "output/vocabulary.h"
#include "running/costs.h"
#include "running/services.h"

#include <algorithm>
#include <sstream>
#include <tuple>
#include <cstdio>
#include <optional>
#include <iostream>
#include <memory>
#include <optional>

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
        const Plan::Touched *touched = plan.by_after.find(record);
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

// Writes the change set to the store file the base was read from, in one
// transaction of the host's own, against the very records it was planned on.
// Returns what was committed: empty when every row stays as it was, and
// nothing is.
// The change set that undoes a plan: what it added removed, what it
// removed added again, what it changed changed back; in the order the
// records before stood in the store.
ChangeSet undo_of(const Plan &plan) {
    std::vector<const Plan::Touched *> touched;
    for (const auto &entry : plan.touched)
        touched.push_back(&entry.second);
    auto place = [](const Plan::Touched *t) {
        const Record *r = t->before != nullptr ? t->before : t->after;
        return std::make_tuple(t->before == nullptr, r->source, r->line);
    };
    std::sort(touched.begin(), touched.end(),
              [&](const auto *a, const auto *b) { return place(a) < place(b); });
    ChangeSet undo;
    for (const Plan::Touched *t : touched) {
        if (t->before == nullptr)
            undo.changes.push_back({Op::remove, *t->after});
        else if (t->after == nullptr)
            undo.changes.push_back({Op::add, *t->before});
        else if (!t->before->same_as(*t->after) || t->moved)
            undo.changes.push_back({Op::change, *t->before});
    }
    return undo;
}

std::string changes_text(const ChangeSet &set) {
    std::ostringstream out;
    write_changes(out, set);
    return out.str();
}

std::string commit(const std::string &path, const Dump &base, const Plan &plan, const ChangeSet &set,
                   const Settings &settings, const StepSink &step) {
    Store file(path, Store::Open::read_write, settings.wait_ms);
    const size_t max_row = settings.limits.max_line;
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
        Commit logged = Commit::now(settings.command);
        for (const auto &[id, t] : plan.touched) {
            if (t.before == nullptr) continue;
            if (t.after == nullptr || t.moved)
                file.erase(*t.before);
            else if (t.before->same_as(*t.after))
                continue; // a change to what the row already holds
            else
                file.update(*t.before, *t.after);
            writes++;
            (t.after == nullptr ? logged.removed : logged.changed)++;
        }
        for (const Record *record : plan.result) {
            const Plan::Touched *t = plan.by_after.find(record);
            if (t != nullptr && (t->before == nullptr || t->moved)) {
                file.insert(*record);
                writes++;
                logged.added += t->before == nullptr;
            }
        }
        if (writes == 0) {
            file.rollback();
            step({path, "nothing to commit: the change sets leave every row as it was"});
            return "";
        }
        // Logged in the same transaction: the commit is in the log exactly
        // when its records are in the store.
        logged.changes = changes_text(set);
        logged.undo = changes_text(undo_of(plan));
        const int64_t seq = file.log_commit(logged, false);
        file.commit();
        std::string committed = std::to_string(writes) + " row change" + (writes == 1 ? "" : "s");
        step({path, "commit " + committed + " in one transaction, logged as commit " +
                        std::to_string(seq)});
        return escaped(path) + ": " + committed + " committed";
    } catch (...) {
        file.rollback();
        throw;
    }
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

struct ApplyOptions {
    std::string source;
    std::vector<std::string> changes;
    std::string result;
    bool commit = false;
    bool as_json = false;
    Host host = Host::simple;
    bool each = false;
};

// Builds SOURCE, takes the change sets in turn into the running model as
// `host` does, and compares the result with a fresh start after the last
// (after each with `each`); exit 1 when that diverges. With `commit`, the
// change sets are committed to the store file SOURCE in one transaction,
// unless the module refused a record of them (exit 3 when it diverges). The
// changed configuration goes to `result` as a dump, unless that is empty,
// once the commit succeeded; never over an input.
int apply(Session &session, const ApplyOptions &options) {
    const std::string &source = options.source;
    const std::vector<std::string> &changes_paths = options.changes;
    bool store_file = false;
    const Dump base_dump = session.read(source, &store_file);
    if (options.commit && !store_file)
        throw Failure(escaped(source) + ": --commit writes to a store file, and this is a dump");
    if (options.commit && session.settings().read_only)
        throw Failure("confmodel-host: --commit writes to the store, and --read-only forbids it");
    // Read whole before any plan points into them; each set is planned on
    // the configuration the one before left.
    std::vector<ChangeSet> sets;
    for (const std::string &path : changes_paths)
        sets.push_back(read_changes(*session.lines(path)));
    const RecordList base = records_of(base_dump);
    std::vector<Plan> plans;
    for (const ChangeSet &set : sets)
        plans.push_back(plan_changes(plans.empty() ? base : plans.back().result, set));
    const Plan &last = plans.back();
    // Ready before anything is committed: a result that cannot be written
    // refuses the run while nothing has changed. A dump never goes over an
    // input, nor over a store file.
    std::unique_ptr<NewFile> result;
    if (!options.result.empty()) {
        if (options.result == "-" || session.is_input(options.result))
            throw Failure(escaped(options.result) + ": one of this run's inputs; --result writes a "
                                                    "new file, and would lose it");
        result = dump_target(options.result);
    }
    const bool as_json = options.as_json;
    const Host other = options.host == Host::simple ? Host::faithful : Host::simple;

    std::vector<Costs> costs(plans.size());
    measure(session.module(), base, plans, other, costs);
    std::vector<Taken> taken(plans.size());
    std::vector<services::LogLine> log;
    int refused = 0, skipped = 0;
    {
        // The running host's remote devices: what its store holds. The store
        // file itself is written only by the commit.
        LargeVector<const Record *> devices;
        for (const Record *record : base)
            if (record->table == Table::remote_device) devices.push_back(record);
        HostModel model(session.module());
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
            compare_changed_records(taken[i].effect, session.module(),
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
    if (options.commit && refused + skipped > 0) {
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
        throw Failure(sets.back().name + ": not committed to " + escaped(source) + ": " +
                      held_back(refused, skipped) +
                      ", while the running model took the change sets (see the steps above)");
    }
    bool unchanged = false; // a commit that found nothing to write
    if (options.commit) {
        // All the sets as one, planned on the records read.
        ChangeSet all;
        for (const ChangeSet &set : sets)
            all.changes.insert(all.changes.end(), set.changes.begin(), set.changes.end());
        std::string done = commit(source, base_dump, plan_changes(base, all), all, session.settings(),
                                  [&](const Step &s) { committed.push_back(s); });
        if (done.empty())
            unchanged = true;
        else
            session.store_changed(done);
    }
    // Only a configuration that was committed, when one is to be.
    if (result) write_dump(result.get(), last.result);
    for (size_t i = 0; i < plans.size(); i++)
        if (options.each || i + 1 == plans.size()) {
            services::set_quiet(true);
            Snapshot restarted = fresh_snapshot(session.module(), plans[i].result);
            services::set_quiet(false);
            taken[i].divergence = compare(taken[i].running, restarted);
            compare_running_records(*taken[i].divergence, session.module(), taken[i].records,
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
        if (options.commit) out["commit"] = steps_json(committed);
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
        if (options.commit) {
            std::cout << "\nCommitted\n";
            print_steps(committed);
        }
    }
    if (unchanged) return EXIT_NO;
    if (taken.back().divergence->same()) return EXIT_OK;
    return options.commit ? EXIT_DIVERGES : EXIT_NO;
}

} // namespace

CommandRun declare_apply(CLI::App &command) {
    auto o = std::make_shared<ApplyOptions>();
    auto host = std::make_shared<std::string>(host_name(Host::simple));
    command.description("take change sets into the running model as a running host does, showing "
                        "each step, and where the model then differs from a fresh start");
    command.add_option("SOURCE", o->source, "the configuration")->required();
    command.add_option("CHANGES", o->changes, "change sets (docs/records.md), taken in turn")
        ->required();
    command.add_option("--host", *host,
                       "the running host: simple (the default: what this host does) or faithful "
                       "(never drifts from a restart); docs/changes.md")
        ->type_name("NAME")
        ->check(CLI::IsMember({host_name(Host::simple), host_name(Host::faithful)}));
    command.add_flag("--each", o->each,
                     "compare with a fresh start after each change set, not only the last");
    command.add_flag("--json", o->as_json, "as one JSON document");
    command.add_option("--result", o->result, "write the changed configuration there, as a dump")
        ->type_name("FILE");
    command.add_flag("--commit", o->commit,
                     "commit the change sets to the store file SOURCE, in one transaction, unless "
                     "the module refused a record of them");
    example(command, "apply --host faithful --commit device.db changes.jsonl");
    return [o, host](Session &session) {
        o->host = *host == host_name(Host::faithful) ? Host::faithful : Host::simple;
        return apply(session, *o);
    };
}

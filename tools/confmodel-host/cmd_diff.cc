#include "arguments.h"
#include "commands.h"
#include "input/changes.h"
#include "output/costs.h"
#include "output/snapshot.h"
#include "output/vocabulary.h"
#include "running/costs.h"

#include <iostream>
#include <memory>

namespace {

enum class DiffView { text, json, changes };

// The change set that turns OLD into NEW and its effect on the model; exit 1
// when the two models differ.
int diff(Session &session, const std::string &old_path, const std::string &new_path,
         DiffView view) {
    Dump before = session.read(old_path), after = session.read(new_path);
    const RecordList old_records = records_of(before), new_records = records_of(after);
    const Pairing pairing = pair_records(old_records, new_records);
    // Records a change cannot name leave no change set, but the effect shows.
    ChangeSet changes;
    std::string unnamed;
    try {
        changes = diff_configs(old_records, new_records, pairing, after.name);
    } catch (const Failure &e) {
        if (view == DiffView::changes) throw;
        unnamed = e.what();
    }
    // What the change set costs a running host, where there is one.
    const bool costed = view != DiffView::changes && unnamed.empty() && !changes.changes.empty();
    std::vector<Plan> plans;
    if (costed) plans.push_back(plan_changes(old_records, changes));
    std::vector<Costs> costs(1);
    // A fresh start of OLD gives its lists, then serves the simple host. The
    // module's lists are one: each model is gone before the next is built.
    Snapshot old_lists;
    {
        HostModel old_model(session.module());
        old_model.build(old_records, HostModel::Parts::lists);
        old_lists = take_snapshot(old_model);
        if (costed) measure(old_model, plans, Host::simple, costs);
    }
    if (costed) measure(session.module(), old_records, plans, Host::faithful, costs);
    Comparison effect = compare(old_lists, fresh_snapshot(session.module(), new_records));
    compare_records(effect, session.module(), old_records, new_records, pairing);
    const Sides sides{"before", "after"};
    if (view == DiffView::changes) {
        write_changes(std::cout, changes);
    } else if (view == DiffView::json) {
        ojson list = ojson::array();
        for (const Change &change : changes.changes)
            list.push_back(ojson::parse(change_line(change)));
        ojson out = {{"format", json_format}, {"changes", list}};
        if (!unnamed.empty()) out["unwritable"] = unnamed;
        out["effect"] = comparison_json(effect, sides);
        if (costed) out["cost"] = costs_json(costs[0]);
        std::cout << json_text(out) << "\n";
    } else {
        if (!unnamed.empty())
            std::cout << "Changes: none can be written\n  " << unnamed << "\n";
        else
            std::cout << "Changes (" << changes.changes.size() << ")\n";
        for (const Change &change : changes.changes)
            std::cout << "  " << op_name(change.op) << " "
                      << describe(change.record) << " (" << where(change.record) << ")\n";
        if (costed) {
            std::cout << "\n";
            print_costs(std::cout, costs[0]);
        }
        std::cout << "\nEffect on the model\n";
        print_comparison(std::cout, effect, sides, "  ");
    }
    return effect.same() ? EXIT_OK : EXIT_NO;
}

} // namespace

CommandRun declare_diff(CLI::App &command) {
    struct Options {
        std::string old_path, new_path;
        bool as_json = false, changes_only = false;
    };
    auto o = std::make_shared<Options>();
    command.description("the change set that turns OLD into NEW, and its effect on the model");
    command.add_option("OLD", o->old_path, "the configuration before")->required();
    command.add_option("NEW", o->new_path, "the configuration after")->required();
    auto *json = command.add_flag("--json", o->as_json, "as one JSON document");
    command.add_flag("--changes", o->changes_only, "only the change set, as a change file")
        ->excludes(json);
    example(command, "diff --changes old.jsonl new.jsonl > changes.jsonl");
    return [o](Session &session) {
        return diff(session, o->old_path, o->new_path,
                    o->changes_only ? DiffView::changes
                    : o->as_json    ? DiffView::json
                                    : DiffView::text);
    };
}

#include "arguments.h"
#include "commands.h"
#include "input/changes.h"
#include "input/text.h"
#include "output/files.h"
#include "output/taking.h"
#include "store/history.h"

#include <memory>
#include <optional>

namespace {

// Commits the change sets, as one planned on the records read, to the store
// file the base was read from, against the very records they were planned
// on. Returns false when every row stays as it was, and nothing is committed.
bool commit(Session &session, const Dump &base, const std::vector<ChangeSet> &sets, int64_t confirm,
            const StepSink &step) {
    ChangeSet all;
    for (const ChangeSet &set : sets)
        all.changes.insert(all.changes.end(), set.changes.begin(), set.changes.end());
    RecordList records;
    std::optional<Plan> plan;
    auto writes = [&](Store &, const Dump &now) {
        records = records_of(now);
        plan.emplace(plan_changes(records, all));
        return plan_writes(*plan);
    };
    return session.commit_rows(
        base, {changes_text(all), confirm, "nothing to commit: the change sets leave every row as it was", writes},
        step);
}

struct ApplyOptions {
    std::string source;
    std::vector<std::string> changes;
    std::string result;
    bool commit = false;
    bool as_json = false;
    Host host = Host::simple;
    bool each = false;
    int64_t confirm = 0; // seconds to confirm the commit in; 0: none
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
    if (options.confirm > 0 && !options.commit)
        throw Failure("confmodel-host apply: --confirm asks for a commit to be confirmed: give --commit");
    if (options.commit) session.settle(source);
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
    TakeOptions take{options.host, options.each, options.as_json, nullptr, nullptr};
    if (options.commit)
        take.commit = [&](const StepSink &step) {
            return commit(session, base_dump, sets, options.confirm, step);
        };
    // Only a configuration that was committed, when one is to be.
    take.settled = [&] {
        if (result) write_dump(result.get(), last.result);
    };
    switch (take_changes(session.module(), base_dump, sets, plans, take)) {
    case Outcome::same:
        return EXIT_OK;
    case Outcome::nothing_written:
        return EXIT_NO;
    case Outcome::diverges:
        break;
    }
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
    add_confirm_option(command, o->confirm);
    example(command, "apply --host faithful --commit device.db changes.jsonl");
    return [o, host](Session &session) {
        o->host = *host == host_name(Host::faithful) ? Host::faithful : Host::simple;
        return apply(session, *o);
    };
}

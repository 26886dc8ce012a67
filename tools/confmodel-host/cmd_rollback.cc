#include "arguments.h"
#include "commands.h"
#include "input/changes.h"
#include "input/text.h"
#include "output/taking.h"
#include "store/history.h"

#include <iostream>
#include <memory>

namespace {

struct RollbackOptions {
    std::string store;
    int64_t seq = 0;
    bool dry_run = false;
    bool as_json = false;
    int64_t confirm = 0; // seconds to confirm the rollback in; 0: none
};

// Writes the rows that turn the store, as it was read, into the past
// configuration, as a logged commit: refused when the store changed since.
bool commit_rollback(Session &session, const Dump &read, const PastConfiguration &past,
                     const ChangeSet &set, const RollbackOptions &options, const StepSink &step) {
    auto writes = [&](Store &file, const Dump &) {
        // A commit awaiting confirmation that this takes back awaits no more.
        std::optional<Commit> awaiting = awaiting_confirmation(file);
        if (awaiting && awaiting->seq > options.seq) file.set_deadline(awaiting->seq, 0);
        return past.writes;
    };
    return session.commit_rows(
        read, {changes_text(set), options.confirm, "nothing to commit: every row holds what it held then", writes},
        step);
}

// Commits the change set that gives the store back the configuration it had
// right after commit SEQ, every record in its row, as the faithful host
// takes it into the running model; with dry_run, only shows it.
int rollback(Session &session, const RollbackOptions &options) {
    const std::string &path = options.store;
    if (!options.dry_run && session.settings().read_only)
        throw Failure("confmodel-host: rollback writes to the store, and --read-only forbids it "
                      "(--dry-run only shows it)");
    session.need_log(path);
    if (options.confirm > 0 && options.dry_run)
        throw Failure("confmodel-host rollback: --dry-run commits nothing to confirm");
    if (!options.dry_run) session.settle(path);
    const Dump now = session.read(path);
    PastConfiguration past = [&] {
        Store store(path, session.store_mode(false), session.settings().wait_ms);
        return configuration_at(store, now, options.seq);
    }();
    const std::string name = "rollback to commit " + std::to_string(options.seq);
    if (past.writes.empty()) {
        std::cout << escaped(path) << ": holds the configuration of commit " << options.seq
                  << " already; nothing to roll back\n";
        return EXIT_NO;
    }
    const RecordList records = records_of(now);
    std::vector<ChangeSet> sets;
    sets.push_back(diff_configs(records, past.records, pair_records(records, past.records), name));
    std::vector<Plan> plans;
    plans.push_back(plan_changes(records, sets.back()));
    TakeOptions take{Host::faithful, false, options.as_json, nullptr, nullptr};
    if (!options.dry_run)
        take.commit = [&](const StepSink &step) {
            return commit_rollback(session, now, past, sets.back(), options, step);
        };
    switch (take_changes(session.module(), now, sets, plans, take)) {
    case Outcome::same:
        return options.dry_run ? EXIT_NO : EXIT_OK;
    case Outcome::nothing_written:
        return EXIT_NO;
    case Outcome::diverges:
        break;
    }
    return options.dry_run ? EXIT_NO : EXIT_DIVERGES;
}

} // namespace

CommandRun declare_rollback(CLI::App &command) {
    auto o = std::make_shared<RollbackOptions>();
    command.description("commit what gives the store file back the configuration it had right "
                        "after commit SEQ (0: as imported), every record in its place, showing "
                        "how a running host takes it");
    command.add_option("STORE", o->store, "the store file")->required();
    command.add_option("SEQ", o->seq, "the commit, as `log` numbers it")
        ->required()
        ->check(decimal)
        ->check(CLI::Range(int64_t(0), INT64_MAX));
    command.add_flag("--dry-run", o->dry_run, "only show it: commit nothing");
    command.add_flag("--json", o->as_json, "as one JSON document");
    add_confirm_option(command, o->confirm);
    example(command, "rollback device.db 3 --dry-run");
    return [o](Session &session) { return rollback(session, *o); };
}

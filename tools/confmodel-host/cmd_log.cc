#include "arguments.h"
#include "commands.h"
#include "input/changes.h"
#include "input/text.h"
#include "output/document.h"
#include "output/vocabulary.h"

#include <algorithm>
#include <ctime>
#include <iostream>
#include <memory>

namespace {

struct LogOptions {
    std::string store;
    int64_t seq = -1;
    bool reverse = false;
    bool as_json = false;
    int64_t keep = -1;
};

// The store's log of commits, newest first; or one commit's change set, or
// the change set that undoes it, as a change file.
int show_log(Session &session, const LogOptions &options) {
    const std::string &path = options.store;
    if (options.reverse && options.seq < 0)
        throw Failure("confmodel-host log: --reverse undoes one commit: give its SEQ");
    session.need_log(path);
    Store store(path, session.store_mode(false), session.settings().wait_ms);
    if (options.seq < 0) {
        std::vector<Commit> commits = store.commits(-1, true);
        if (options.as_json) {
            ojson list = ojson::array();
            for (const Commit &c : commits)
                list.push_back({{"seq", c.seq},
                                {"time", utc_text(c.time)},
                                {"uid", c.uid},
                                {"user", c.user},
                                {"command", c.command},
                                {"added", c.added},
                                {"changed", c.changed},
                                {"removed", c.removed},
                                {"undo_kept", c.undo.has_value()},
                                {"deadline", c.deadline != 0 ? ojson(utc_text(c.deadline)) : ojson()}});
            std::cout << json_text(ojson{{"format", json_format}, {"commits", list}}) << "\n";
        } else {
            // One write of the whole list: a stream's insertions per field
            // cost more than reading the log.
            std::string out;
            for (const Commit &c : commits) {
                out.append(std::to_string(c.seq)).append("  ").append(utc_text(c.time)).append("  ");
                out.append(escaped(c.user)).append("  +").append(std::to_string(c.added));
                out.append(" ~").append(std::to_string(c.changed)).append(" -").append(std::to_string(c.removed));
                out.append("  ").append(escaped(c.command));
                if (c.deadline != 0) out.append("  (awaits confirmation until ").append(utc_text(c.deadline)) += ')';
                out += '\n';
            }
            std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
            if (commits.empty())
                std::cout << "no commits logged: the store was made before its log was kept, and "
                             "nothing has been committed to it since\n";
        }
        return EXIT_OK;
    }
    std::vector<Commit> found = store.commits(options.seq);
    if (found.empty())
        throw Failure(escaped(path) + ": no commit " + std::to_string(options.seq) + " in its log");
    const Commit &c = found.front();
    if (c.seq == 0)
        throw Failure(escaped(path) + ": commit 0 is the import that made the store, which keeps no "
                                      "change set of it (export the store for its records)");
    const std::optional<std::string> &text = options.reverse ? c.undo : c.changes;
    if (!text)
        throw Failure(escaped(path) + ": the log no longer keeps the change sets of commit " +
                      std::to_string(c.seq));
    if (!options.reverse) {
        std::cout << *text;
        return EXIT_OK;
    }
    // The log keeps each record's row beside it; a change file has none.
    std::cout << changes_text(
        read_logged_changes(path + ": the undoing of commit " + std::to_string(c.seq), *text));
    return EXIT_OK;
}

// Drops the change sets of all but the newest `keep` commits, and of none
// awaiting confirmation; their summaries stay.
int keep_log(Session &session, const std::string &path, int64_t keep) {
    if (session.settings().read_only)
        throw Failure("confmodel-host: log --keep writes to the store, and --read-only forbids it");
    session.need_log(path);
    session.settle(path);
    Store store(path, Store::Open::read_write, session.settings().wait_ms);
    store.begin();
    int64_t dropped = 0;
    try {
        const std::optional<Commit> newest = store.newest_commit();
        int64_t oldest_kept = newest ? newest->seq - keep + 1 : 0;
        if (const std::optional<Commit> awaiting = store.awaiting_commit())
            oldest_kept = std::min(oldest_kept, awaiting->seq);
        dropped = store.drop_change_sets(oldest_kept);
        store.commit();
    } catch (...) {
        store.rollback();
        throw;
    }
    std::string text = escaped(path) + ": the change sets of " + std::to_string(dropped) + " commit" +
                       (dropped == 1 ? "" : "s") + " dropped";
    std::cout << text << "; the newest " << keep << " keep theirs\n";
    if (dropped == 0) return EXIT_NO;
    session.store_changed(text);
    return EXIT_OK;
}

} // namespace

CommandRun declare_log(CLI::App &command) {
    auto o = std::make_shared<LogOptions>();
    command.description("the store file's log of commits, newest first; or commit SEQ's change "
                        "set (with --reverse, the change set that undoes it), as a change file");
    command.add_option("STORE", o->store, "the store file")->required();
    command.add_option("SEQ", o->seq, "the commit")->check(decimal)->check(CLI::Range(int64_t(0), INT64_MAX));
    command.add_flag("--reverse", o->reverse, "the change set that undoes the commit");
    command.add_flag("--json", o->as_json, "the log as one JSON document");
    command.add_option("--keep", o->keep,
                       "drop the change sets of all but the newest N commits, keeping their "
                       "summaries; a commit awaiting confirmation keeps its own")
        ->type_name("N")
        ->check(decimal)
        ->check(CLI::Range(int64_t(0), INT64_MAX));
    example(command, "log device.db 3 --reverse > undo.jsonl");
    return [o](Session &session) {
        if (o->keep < 0) return show_log(session, *o);
        if (o->seq >= 0 || o->reverse || o->as_json)
            throw Failure("confmodel-host log: --keep drops change sets, and shows nothing: give "
                          "it the STORE alone");
        return keep_log(session, o->store, o->keep);
    };
}

#include "store/history.h"

#include "input/text.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <unordered_set>

bool same_rows(const Dump &one, const Dump &other) {
    if (one.records.size() != other.records.size()) return false;
    for (size_t i = 0; i < one.records.size(); i++)
        if (!one.records[i].same_as(other.records[i]) || one.records[i].line != other.records[i].line)
            return false;
    return true;
}

std::vector<RowWrite> plan_writes(const Plan &plan) {
    std::vector<RowWrite> writes;
    for (const auto &entry : plan.touched) {
        const Plan::Touched &t = entry.second;
        if (t.before == nullptr) continue;
        if (t.after == nullptr || t.moved)
            writes.push_back({t.before, nullptr});
        else if (!t.before->same_as(*t.after))
            writes.push_back({t.before, t.after});
    }
    for (const Record *record : plan.result) {
        const Plan::Touched *t = plan.touched_after(record);
        if (t != nullptr && (t->before == nullptr || t->moved)) writes.push_back({nullptr, record});
    }
    return writes;
}

namespace {

// FNV-1a, each text ended by a byte no UTF-8 text holds, so that two texts
// cannot run into each other.
struct Hash {
    uint64_t value = 14695981039346656037u;
    void add(std::string_view text) {
        for (unsigned char c : text)
            value = (value ^ c) * 1099511628211u;
        value = (value ^ 0xff) * 1099511628211u;
    }
};

bool is_device(const Record &record) {
    return record.table == Table::remote_device;
}

} // namespace

std::optional<Plan> plan_of_writes(RecordList lists, const std::vector<RowWrite> &writes,
                                   const std::string &cause) {
    Plan plan;
    plan.result = lists;
    plan.lists = std::move(lists);
    plan.ordered_by_line = true;
    auto take = [&](const Record *record, bool before) {
        if (record == nullptr) return true;
        Plan::Touched &t = plan.touched.try_emplace(identity(*record), Plan::Touched{nullptr, nullptr, false, cause})
                               .first->second;
        const Record *&side = before ? t.before : t.after;
        if (side != nullptr) return false;
        side = record;
        return true;
    };
    for (const RowWrite &w : writes)
        if (!take(w.before, true) || !take(w.after, false)) return std::nullopt;
    for (auto &[id, t] : plan.touched)
        t.moved = t.before != nullptr && t.after != nullptr && t.before->line != t.after->line;
    plan.file_touched();
    return plan;
}

uint64_t row_digest(const Record &record, uint32_t row) {
    Hash h;
    h.add(table_info(record.table).name);
    h.add(std::to_string(row));
    h.add(record.xnet());
    h.add(record.parent_port ? std::to_string(*record.parent_port) : "-");
    for (size_t n = 0; n < MAX_COLUMNS; n++)
        if (record.has(n) && !(is_device(record) && n == REMOTE_DEVICE_DCBX_PENDING)) {
            h.add(column_name(n));
            h.add(record.column_text(n));
        }
    // Spread over every bit, since rows combine by xor.
    uint64_t z = h.value + 0x9e3779b97f4a7c15u;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

uint64_t configuration_digest(const Dump &store) {
    uint64_t digest = 0;
    for (const Record &record : store.records)
        digest ^= row_digest(record, record.line);
    return digest;
}

int64_t write_logged(Store &store, const Dump &read, const std::vector<RowWrite> &writes, Commit commit,
                     bool import) {
    const std::optional<Commit> newest = import ? std::nullopt : store.newest_commit();
    uint64_t digest = newest && newest->digest ? *newest->digest : configuration_digest(read);
    // The undoing: what was inserted removed, what was rewritten written
    // back, what was deleted put back in its row.
    std::vector<Change> remove, change, add;
    std::unordered_set<RecordKey, RecordKeyHash> deleted;
    for (const RowWrite &w : writes)
        if (w.after == nullptr) {
            store.erase(*w.before);
            digest ^= row_digest(*w.before, w.before->line);
            add.push_back({Op::add, *w.before, w.before->line});
            deleted.insert(identity(*w.before));
            commit.removed++;
        }
    for (const RowWrite &w : writes)
        if (w.before != nullptr && w.after != nullptr && !w.before->same_as(*w.after)) {
            store.update(*w.before, *w.after);
            digest ^= row_digest(*w.before, w.before->line) ^ row_digest(*w.after, w.before->line);
            change.push_back({Op::change, *w.before, w.before->line});
            commit.changed++;
        }
    for (const RowWrite &w : writes)
        if (w.before == nullptr) {
            const uint32_t row = store.insert(*w.after, w.row);
            digest ^= row_digest(*w.after, row);
            if (!import) remove.push_back({Op::remove, *w.after, row});
            // A record moved to the end is one changed, not one removed and one added.
            if (deleted.count(identity(*w.after)) != 0) {
                commit.removed--;
                commit.changed++;
            } else {
                commit.added++;
            }
        }
    if (remove.size() + change.size() + add.size() == 0 && !import) return -1;
    if (!import) {
        auto by_row = [](const Change &a, const Change &b) { return a.row < b.row; };
        ChangeSet undo;
        for (auto *part : {&remove, &change, &add}) {
            std::sort(part->begin(), part->end(), by_row);
            undo.changes.insert(undo.changes.end(), part->begin(), part->end());
        }
        commit.undo = changes_text(undo, true);
    }
    commit.digest = digest;
    return store.log_commit(commit, import);
}

PastConfiguration configuration_at(const Store &store, const Dump &now, int64_t seq) {
    const std::string &name = now.name;
    const std::string wanted = "commit " + std::to_string(seq);
    // The commit and those after it alone: a rollback reads the log in
    // proportion to the commits it takes back. Newest first, as undone.
    std::vector<Commit> log = seq >= 0 ? store.commits(seq, true) : std::vector<Commit>();
    if (log.empty()) {
        if (!store.newest_commit())
            throw Failure(escaped(name) + ": keeps no log of its commits: it was made before its log was "
                                          "kept, and nothing has been committed to it since");
        throw Failure(escaped(name) + ": no " + wanted + " in its log");
    }
    std::vector<Commit> later = store.commits_since(seq);
    log.insert(log.begin(), std::make_move_iterator(later.rbegin()), std::make_move_iterator(later.rend()));
    const auto at = std::prev(log.end());
    auto digest_of = [&](const Commit &c) {
        if (!c.digest)
            throw Failure(escaped(name) + ": commit " + std::to_string(c.seq) +
                          " was logged by an earlier version of this program, which kept too "
                          "little to go back past it: the log does not reach back to " + wanted);
        return *c.digest;
    };
    if (configuration_digest(now) != digest_of(log.front()))
        throw Failure(escaped(name) + ": its records are not those its newest commit, " +
                      std::to_string(log.front().seq) +
                      ", left: they were written past the log, which cannot take them back");

    PastConfiguration past;
    // Each table's rows by row, as the commits since seq are undone.
    std::map<uint32_t, Record> rows[2];
    for (const Record &record : now.records)
        rows[is_device(record)].emplace(record.line, record);
    uint64_t digest = digest_of(log.front());
    for (auto c = log.begin(); c != at; ++c) {
        const std::string number = std::to_string(c->seq);
        if (!c->undo)
            throw Failure(escaped(name) + ": commit " + number +
                          " no longer keeps what undoes it (log --keep dropped it): the log does "
                          "not reach back to " + wanted);
        // One source for every commit's undoing: a run registers at most 256.
        const ChangeSet &undo = past.undone.emplace_back([&] {
            try {
                return read_logged_changes(name + ": the log's undoing", *c->undo);
            } catch (const Failure &failure) {
                throw Failure("commit " + number + ": " + failure.what());
            }
        }());
        c->undo.reset(); // parsed: its text is no longer needed
        c->changes.reset();
        auto refuse = [&](const Change &change, const char *why) {
            throw Failure(escaped(name) + ": the undoing of commit " + number + " " + op_name(change.op) +
                          "s " + describe(change.record) + " in row " + std::to_string(change.row) +
                          ", which " + why + ": the log was altered, and cannot be relied on");
        };
        for (const Change &change : undo.changes) {
            std::map<uint32_t, Record> &table = rows[is_device(change.record)];
            auto row = table.find(change.row);
            if ((change.op == Op::add) != (row == table.end()))
                refuse(change, change.op == Op::add ? "holds another" : "is empty");
            if (row != table.end()) {
                digest ^= row_digest(row->second, change.row);
                table.erase(row);
            }
            if (change.op == Op::remove) continue;
            Record record = change.record;
            record.line = change.row;
            record.source = store.source(record.table);
            digest ^= row_digest(record, change.row);
            table.emplace(change.row, record);
        }
        if (digest != digest_of(*std::next(c)))
            throw Failure(escaped(name) + ": the undoing of commit " + number +
                          " does not lead back to what commit " + std::to_string(std::next(c)->seq) +
                          " left: the log was altered, and cannot be relied on");
    }
    // What turns the records now into those, row by row.
    std::map<uint32_t, const Record *> current[2];
    for (const Record &record : now.records)
        current[is_device(record)].emplace(record.line, &record);
    for (int t = 0; t < 2; t++) {
        for (const auto &[row, record] : rows[t]) {
            auto was = current[t].find(row);
            past.records.push_back(&record);
            if (was == current[t].end())
                past.writes.push_back({nullptr, &record, row});
            else if (!record.same_as(*was->second))
                past.writes.push_back({was->second, &record});
        }
        for (const auto &[row, record] : current[t])
            if (rows[t].count(row) == 0) past.writes.push_back({record, nullptr});
    }
    past.rows[0].swap(rows[0]);
    past.rows[1].swap(rows[1]);
    return past;
}

std::optional<Commit> awaiting_confirmation(const Store &store) {
    return store.awaiting_commit();
}

int64_t roll_back_unconfirmed(Store &store, const Dump &now, const Commit &unconfirmed,
                              const std::string &command) {
    // The log numbers its commits without gaps: the one before is seq - 1.
    const std::vector<Commit> before =
        unconfirmed.seq > 0 ? store.commits(unconfirmed.seq - 1, true) : std::vector<Commit>();
    if (before.empty())
        throw Failure(escaped(now.name) + ": commit " + std::to_string(unconfirmed.seq) +
                      " is the oldest its log keeps: there is nothing to roll back to");
    const PastConfiguration past = configuration_at(store, now, before.front().seq);
    const RecordList records = records_of(now);
    Commit commit = Commit::now(command);
    commit.changes = changes_text(diff_configs(records, past.records, pair_records(records, past.records),
                                               "rollback to commit " + std::to_string(before.front().seq)));
    const int64_t seq = write_logged(store, now, past.writes, commit);
    store.set_deadline(unconfirmed.seq, 0);
    return seq;
}

int64_t confirmable(const Store &store, const std::string &name, int64_t deadline) {
    if (std::optional<Commit> awaiting = awaiting_confirmation(store))
        throw Failure(escaped(name) + ": commit " + std::to_string(awaiting->seq) +
                      " awaits confirmation until " + utc_text(awaiting->deadline) +
                      ", and one commit at a time may; confirm it first (confmodel-host confirm " +
                      escaped(name) + "); nothing was committed");
    return deadline;
}

std::string awaiting_text(int64_t deadline) {
    return deadline == 0 ? "" : ", to be confirmed by " + utc_text(deadline);
}

std::optional<std::string> roll_back_overdue(Store &store, size_t max_row, const std::string &command) {
    store.begin();
    try {
        std::optional<Commit> overdue = awaiting_confirmation(store);
        if (!overdue || overdue->deadline > static_cast<int64_t>(time(nullptr))) {
            store.rollback();
            return std::nullopt;
        }
        const std::string seq = std::to_string(overdue->seq);
        Dump now = store.read(max_row);
        const int64_t rolled = roll_back_unconfirmed(
            store, now, *overdue, "rollback of commit " + seq + ", unconfirmed by its deadline, " + command);
        store.commit();
        return "commit " + seq + " was not confirmed by its deadline, " + utc_text(overdue->deadline) +
               ": rolled back" + (rolled < 0 ? "" : " as commit " + std::to_string(rolled));
    } catch (...) {
        store.rollback();
        throw;
    }
}

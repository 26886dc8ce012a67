#include "serve/follower.h"

#include <sys/stat.h>

#include "input/text.h"
#include "output/record_comparison.h"
#include "output/snapshot.h"
#include "running/services.h"
#include "running/hosts.h"
#include "store/history.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <set>

namespace {

int64_t cpu_us() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return int64_t(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

int64_t wall_us() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int kind(Table table) {
    return table == Table::remote_device ? 1 : 0;
}

constexpr size_t kept_starts = 8;

// Puts a row's write into the list records, kept in the order of their rows.
void write_list_row(RecordList &lists, const RowWrite &write) {
    auto at = std::lower_bound(lists.begin(), lists.end(), write.row,
                               [](const Record *record, uint32_t row) { return record->line < row; });
    const bool held = at != lists.end() && (*at)->line == write.row;
    const bool listed = write.after != nullptr && is_list_record(write.after->table);
    if (held && listed)
        *at = write.after;
    else if (held)
        lists.erase(at);
    else if (listed)
        lists.insert(at, write.after);
}

} // namespace

Follower::Follower(const Module &module, FollowerSettings settings)
    : module_(module), settings_(std::move(settings)) {}

void Follower::open_store() {
    auto store = std::make_unique<Store>(settings_.path, Store::Open::read_write, settings_.wait_ms);
    struct stat file {};
    if (stat(settings_.path.c_str(), &file) != 0) throw Failure(escaped(settings_.path) + ": gone as it was opened");
    store_ = std::move(store);
    device_ = file.st_dev;
    inode_ = file.st_ino;
}

bool Follower::replaced() const {
    struct stat file {};
    return stat(settings_.path.c_str(), &file) != 0 || file.st_dev != device_ || file.st_ino != inode_;
}

void Follower::fresh_start(const std::string &why) {
    const int64_t started = cpu_us();
    if (!store_ || replaced()) open_store();
    // Read whole before the model it replaces goes: a store that cannot be
    // read leaves the model as it was.
    auto dump = std::make_unique<Dump>();
    std::optional<Commit> newest, awaiting;
    int64_t version;
    std::optional<int64_t> writes;
    reading([&] {
        version = store_->data_version();
        writes = store_->record_writes();
        newest = store_->newest_commit();
        awaiting = store_->awaiting_commit();
        *dump = store_->read_rows(nullptr, nullptr, settings_.max_row);
        check_dump(*dump);
    });

    model_.reset();
    batches_.clear();
    batch_of_.clear();
    base_dead_ = batch_records_ = batch_live_ = 0;
    base_ = std::move(dump);
    for (auto &rows : rows_)
        rows.clear();
    lists_.clear();
    for (const Record &record : base_->records) {
        rows_[kind(record.table)].emplace(record.line, &record);
        if (is_list_record(record.table)) lists_.push_back(&record);
    }
    model_ = std::make_unique<HostModel>(module_);
    model_->build(*base_);
    digest_ = configuration_digest(*base_);
    digests_ = newest && newest->digest;
    offset_ = digests_ ? digest_ ^ *newest->digest : 0;
    seq_ = newest ? newest->seq : -1;
    version_ = version;
    writes_ = writes;
    awaiting_ = awaiting;
    note_start(why, cpu_us() - started);
}

void Follower::note_start(const std::string &why, int64_t cpu) {
    starts_.push_back({static_cast<int64_t>(time(nullptr)), why, cpu});
    if (starts_.size() > kept_starts) starts_.pop_front();
    start_count_++;
}

RecordList Follower::records() const {
    RecordList out;
    out.reserve(rows_[0].size() + rows_[1].size());
    for (const auto &rows : rows_)
        for (const auto &[row, record] : rows)
            out.push_back(record);
    return out;
}

Follower::Followed Follower::follow() {
    if (replaced()) {
        fresh_start("the store file was replaced");
        return Followed::fresh_start;
    }
    Look look;
    look.cpu_us = cpu_us();
    look.wall_us = wall_us();
    // The change counter, the log and the rows in one read transaction: a
    // commit lands between two of them never.
    reading([&] {
        look.version = store_->data_version();
        if (look.version == version_) return;
        look.writes = store_->record_writes();
        look.awaiting = store_->awaiting_commit();
        look.commits = store_->commits_since(seq_);
        if (look.commits.empty()) return;
        look.why = rows_written(look);
        if (look.why) return;
        const std::vector<uint32_t> ids[2] = {{look.touched[0].begin(), look.touched[0].end()},
                                              {look.touched[1].begin(), look.touched[1].end()}};
        look.batch = Batch{store_->read_rows(&ids[0], &ids[1], settings_.max_row), 0};
    });
    if (look.version == version_) return Followed::nothing;
    if (!look.why) look.why = written_without_log(look);
    if (!look.why && look.commits.empty()) {
        // Another process wrote a DCBX flag: no commit, but the devices' rows.
        reread_devices();
        version_ = look.version;
        awaiting_ = look.awaiting;
        return Followed::devices;
    }
    if (!look.why) look.why = take(look);
    if (look.why) {
        fresh_start(*look.why);
        return Followed::fresh_start;
    }
    version_ = look.version;
    writes_ = look.writes;
    awaiting_ = look.awaiting;
    return Followed::taken;
}

// Each commit's transaction began with the count the commit before it left,
// and the newest left the count the store has now, unless another program
// wrote records meanwhile.
std::optional<std::string> Follower::written_without_log(const Look &look) const {
    std::optional<int64_t> counted = writes_;
    int64_t seq = seq_;
    for (const Commit &c : look.commits) {
        if (counted && c.writes_before && *c.writes_before != *counted)
            return "records were written without the log before commit " + std::to_string(c.seq) + " (" +
                   std::to_string(*c.writes_before - *counted) + " writes)";
        counted = c.writes_after;
        seq = c.seq;
    }
    if (counted && look.writes && *look.writes != *counted)
        return "records were written without the log after commit " + std::to_string(seq) + " (" +
               std::to_string(*look.writes - *counted) + " writes)";
    return std::nullopt;
}

// The rows the commits wrote, from what undoes each.
std::optional<std::string> Follower::rows_written(Look &look) const {
    int64_t seq = seq_;
    for (const Commit &c : look.commits) {
        const std::string name = "commit " + std::to_string(c.seq);
        if (seq >= 0 && c.seq != seq + 1)
            return "the log went from commit " + std::to_string(seq) + " to " + std::to_string(c.seq);
        if (!c.undo || c.undo->empty())
            return name + " keeps no record of the rows it wrote (log --keep dropped it)";
        try {
            // One source for every entry: a process registers at most 256.
            for (const Change &change : read_logged_changes("the log entry", *c.undo).changes)
                look.touched[kind(change.record.table)].insert(change.row);
        } catch (const Failure &failure) {
            return name + "'s log entry cannot be read: " + failure.what();
        }
        seq = c.seq;
    }
    return std::nullopt;
}

std::optional<std::string> Follower::take(Look &look) {
    const std::vector<Commit> &commits = look.commits;
    const std::set<uint32_t> (&touched)[2] = look.touched;
    Batch batch = std::move(*look.batch);
    const int64_t started_cpu = look.cpu_us, started_wall = look.wall_us;

    std::map<uint32_t, const Record *> now[2];
    for (const Record &record : batch.dump.records)
        now[kind(record.table)].emplace(record.line, &record);
    std::vector<RowWrite> writes;
    std::vector<const Record *> gone;
    for (int k = 0; k < 2; k++)
        for (uint32_t row : touched[k]) {
            auto held = rows_[k].find(row);
            auto found = now[k].find(row);
            const Record *before = held != rows_[k].end() ? held->second : nullptr;
            const Record *after = found != now[k].end() ? found->second : nullptr;
            if (before != nullptr && after != nullptr && before->same_as(*after)) continue;
            if (before != nullptr) digest_ ^= row_digest(*before, row);
            if (after != nullptr) digest_ ^= row_digest(*after, row);
            writes.push_back({before, after, row});
            if (before != nullptr) gone.push_back(before);
            if (after != nullptr) {
                rows_[k][row] = after;
            } else {
                rows_[k].erase(row);
            }
        }
    const Commit &last = commits.back();
    seq_ = last.seq;
    // A store that counts its writes of records has shown any write past the
    // log already (written_without_log); the digest finds them in a store
    // that counts none yet, of an earlier version.
    if (digests_ && last.digest && (digest_ ^ *last.digest) != offset_)
        return "the rows of commit " + std::to_string(last.seq) +
               " are not those its log entry describes: the store was written without its log";

    const std::string cause = commits.size() == 1 ? "commit " + std::to_string(last.seq)
                                                   : "commits " + std::to_string(commits.front().seq) +
                                                         " to " + std::to_string(last.seq);
    // The module's lists depend on their own records alone, and a port
    // record's decoding on nothing but the record: the port records written
    // are decoded again where they stand, and the faithful host takes the
    // list records written, walking only those of the lists.
    std::vector<RowWrite> list_writes;
    bool port_records = false;
    for (const RowWrite &w : writes) {
        const Record *either = w.after != nullptr ? w.after : w.before;
        const bool list = is_list_record(either->table) || (w.before != nullptr && is_list_record(w.before->table));
        if (list) {
            list_writes.push_back(w);
            write_list_row(lists_, w);
        }
        for (const Record *record : {w.before, w.after})
            port_records = port_records || (record != nullptr && is_port_record(record->table));
    }
    for (const RowWrite &w : writes) {
        const Record *before = w.before != nullptr && is_port_record(w.before->table) ? w.before : nullptr;
        const Record *after = w.after != nullptr && is_port_record(w.after->table) ? w.after : nullptr;
        if ((before != nullptr || after != nullptr) && !model_->replace_port_record(before, after, cause))
            return "the running model's port records do not stand in store order";
    }
    Applied applied;
    const char *path = !list_writes.empty() ? "faithful host" : port_records ? "port records in place" : "rows alone";
    if (!list_writes.empty()) {
        std::optional<Plan> plan = plan_of_writes(lists_, list_writes, cause);
        if (!plan) return cause + " wrote several records of one identity";
        applied = apply_changes(*model_, Host::faithful, *plan, nullptr);
    }

    std::vector<const Record *> held;
    for (const RowWrite &w : writes)
        if (w.after != nullptr) held.push_back(w.after);
    keep(std::move(batch), held, gone);
    last_ = {last.seq,          static_cast<int64_t>(commits.size()), applied.released, applied.created,
             writes.size(),     cpu_us() - started_cpu,               wall_us() - started_wall, path};
    // Records replaced since the fresh start are kept with those live in
    // their batch; once they outnumber the configuration, a fresh start
    // lets them go.
    if (base_dead_ + batch_records_ - batch_live_ > base_->records.size() + 4096)
        return "the records replaced since the last fresh start outnumber the configuration";
    return std::nullopt;
}

void Follower::forget(const Record *record) {
    auto found = batch_of_.find(record);
    if (found == batch_of_.end()) {
        base_dead_++;
        return;
    }
    auto batch = found->second;
    batch_of_.erase(found);
    batch_live_--;
    if (--batch->live == 0) {
        batch_records_ -= batch->dump.records.size();
        batches_.erase(batch);
    }
}

void Follower::reread_devices() {
    const std::vector<uint32_t> none;
    Batch batch{reading([&] { return store_->read_rows(&none, nullptr, settings_.max_row); }), 0};
    std::map<uint32_t, const Record *> now;
    for (const Record &record : batch.dump.records)
        now.emplace(record.line, &record);
    std::vector<const Record *> gone;
    std::vector<const Record *> kept;
    for (auto it = rows_[1].begin(); it != rows_[1].end();) {
        auto found = now.find(it->first);
        if (found != now.end() && found->second->same_as(*it->second)) {
            now.erase(found);
            ++it;
            continue;
        }
        digest_ ^= row_digest(*it->second, it->first);
        gone.push_back(it->second);
        it = rows_[1].erase(it);
    }
    for (const auto &[row, record] : now) {
        digest_ ^= row_digest(*record, row);
        rows_[1].emplace(row, record);
        kept.push_back(record);
    }
    keep(std::move(batch), kept, gone);
}

void Follower::keep(Batch batch, const std::vector<const Record *> &held,
                    const std::vector<const Record *> &gone) {
    if (!held.empty()) {
        batch.live = held.size();
        batch_records_ += batch.dump.records.size();
        batch_live_ += batch.live;
        batches_.push_back(std::move(batch));
        auto it = std::prev(batches_.end());
        for (const Record *record : held)
            batch_of_.emplace(record, it);
    }
    for (const Record *record : gone)
        forget(record);
}

Comparison Follower::verify() {
    const Snapshot running = take_snapshot(*model_);
    RecordList held;
    for (const Subport &s : model_->subports())
        held.push_back(s.record);
    for (const PortProtect &p : model_->port_protects())
        held.push_back(p.record);
    for (const SubportProtect &p : model_->subport_protects())
        held.push_back(p.record);
    for (const auto &[row, device] : rows_[1])
        held.push_back(device);
    // The records the running model was built from outlive the fresh start,
    // for the comparison.
    std::unique_ptr<Dump> old_base = std::move(base_);
    std::list<Batch> old_batches = std::move(batches_);
    try {
        services::set_quiet(true);
        fresh_start("verify");
        services::set_quiet(false);
    } catch (...) {
        services::set_quiet(false);
        base_ = std::move(old_base);
        batches_ = std::move(old_batches);
        throw;
    }
    Comparison comparison = compare(running, take_snapshot(*model_));
    compare_running_records(comparison, module_, held, records());
    starts_.back().why = comparison.same() ? "verify: the running model equals a fresh start"
                                           : "verify: the running model differed from a fresh start";
    return comparison;
}

// A running host that follows a store file: it builds the model from the
// store (a fresh start), then takes each commit the store's log records into
// the running model as the faithful host does, reading only the rows the
// commit wrote. Where a commit cannot be taken as a change, it starts afresh
// and says why.
#ifndef CONFMODEL_HOST_SERVE_FOLLOWER_H
#define CONFMODEL_HOST_SERVE_FOLLOWER_H

#include "output/comparison.h"
#include "running/model.h"
#include "store/store.h"

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

struct FollowerSettings {
    std::string path;
    size_t max_row = size_t(1) << 20;
    int wait_ms = 100; // for the store's lock: a follower never waits long on a writer
};

class Follower {
  public:
    Follower(const Module &module, FollowerSettings settings);
    Follower(const Follower &) = delete;
    Follower &operator=(const Follower &) = delete;

    // Builds the model from the store as it is now, for the reason given.
    // Throws Failure, keeping the model it had, when the store cannot be read.
    void fresh_start(const std::string &why);

    // Takes what was committed since the last look. Throws Failure when the
    // store cannot be read now (a writer holds it, or it is gone): the model
    // stays as it was, to be brought up to date at the next look.
    enum class Followed { nothing, devices, taken, fresh_start };
    Followed follow();

    const HostModel &model() const { return *model_; }
    // The configuration the model was built from, in store order: the
    // records, then the remote devices.
    RecordList records() const;
    size_t record_count() const { return rows_[0].size() + rows_[1].size(); }
    Store &store() { return *store_; }
    const std::string &path() const { return settings_.path; }
    size_t max_row() const { return settings_.max_row; }
    // The follower's own connection wrote the store: the next look reads it,
    // as another process's commit would have been.
    void wrote() { version_ = -1; }

    // Compares the running model with a fresh start of the store now, as
    // `apply` compares them, and goes on with the fresh start's model (the
    // same, unless the comparison says otherwise).
    Comparison verify();

    // Reads the remote devices again, as a DCBX flag written through the
    // follower's own store connection changed them.
    void reread_devices();

    struct Cost {
        int64_t seq = -1, commits = 0;
        size_t released = 0, created = 0, rows = 0;
        int64_t cpu_us = 0, wall_us = 0;
        const char *path = ""; // how it was taken: the faithful host, or the port records in place
    };
    struct Start {
        int64_t time;
        std::string why;
        int64_t cpu_us;
    };
    int64_t seq() const { return seq_; } // the newest commit taken; -1 for a store without a log
    // The commit awaiting confirmation, as the last look at the store found.
    const std::optional<Commit> &awaiting() const { return awaiting_; }
    const Cost &last_commit() const { return last_; }
    const std::deque<Start> &fresh_starts() const { return starts_; } // the newest few
    uint64_t fresh_start_count() const { return start_count_; }

  private:
    struct Batch {
        Dump dump;
        size_t live;
    };
    void open_store();
    bool replaced() const;
    // What one look at the store read, in one read transaction: the commits
    // since the last taken, and the rows they wrote as those are now; or why
    // the commits cannot be taken as a change.
    struct Look {
        int64_t version = -1;
        std::vector<Commit> commits;
        std::set<uint32_t> touched[2]; // rows, by kind
        std::optional<Batch> batch;
        std::optional<Commit> awaiting;
        std::optional<int64_t> writes; // the store's count of records written
        std::optional<std::string> why;
        int64_t cpu_us = 0, wall_us = 0; // when the look began
    };
    std::optional<std::string> rows_written(Look &look) const;
    // Why the records were written otherwise than by the commits looked at,
    // as the store's count of writes tells, if they were.
    std::optional<std::string> written_without_log(const Look &look) const;
    // The rows the look read taken into the model, or why they cannot be.
    std::optional<std::string> take(Look &look);
    void forget(const Record *record);
    // Keeps a batch whose records `held` are held now, and forgets those gone.
    void keep(Batch batch, const std::vector<const Record *> &held, const std::vector<const Record *> &gone);
    // What `read` returns, read in one transaction of the store.
    template <typename Read> auto reading(Read read) {
        store_->begin_read();
        // Ended once on the way out, however read leaves.
        struct Ending {
            Store &store;
            bool ended = false;
            ~Ending() {
                if (!ended) try {
                        store.end_read();
                    } catch (...) {
                    }
            }
        } ending{*store_};
        auto end = [&] {
            ending.ended = true;
            store_->end_read();
        };
        if constexpr (std::is_void_v<decltype(read())>) {
            read();
            end();
        } else {
            auto out = read();
            end();
            return out;
        }
    }
    void note_start(const std::string &why, int64_t cpu_us);

    const Module &module_;
    FollowerSettings settings_;
    std::unique_ptr<Store> store_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    int64_t version_ = -1;
    std::unique_ptr<HostModel> model_;
    // The records by table (configuration, remote devices) and row, kept in
    // the dump of the last fresh start and the batches read since.
    std::map<uint32_t, const Record *> rows_[2];
    // Those of the module's lists, in store order: a few thousand, copied
    // whole into each plan.
    RecordList lists_;
    std::unique_ptr<Dump> base_;
    std::list<Batch> batches_;
    std::unordered_map<const Record *, std::list<Batch>::iterator> batch_of_;
    // Records of the fresh start's dump no longer held; records of the
    // batches, and those of them held.
    size_t base_dead_ = 0, batch_records_ = 0, batch_live_ = 0;
    // The digest of the rows held, and how it differs from the log's: a
    // commit that changes the difference wrote rows unlike those held.
    uint64_t digest_ = 0, offset_ = 0;
    bool digests_ = false; // whether the log keeps them
    // The store's count of records written, as of the model held; absent
    // where the store keeps none.
    std::optional<int64_t> writes_;
    int64_t seq_ = -1;
    std::optional<Commit> awaiting_;
    Cost last_;
    std::deque<Start> starts_;
    uint64_t start_count_ = 0;
};

#endif

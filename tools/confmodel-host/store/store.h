// The configuration store this host answers the module's tavri_ calls with:
// a store file (SQLite) or an empty store in memory for a dump's remote
// devices. A build without SQLite has the in-memory store alone, which keeps
// a remote device's key and DCBX-pending flag only.
#ifndef CONFMODEL_HOST_STORE_STORE_H
#define CONFMODEL_HOST_STORE_STORE_H

#include "input/dump.h"

#include "call_log.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A visitor of the store's log (storelog.h) that appends each call to the
// std::vector<LoggedCall> at context.
int keep_call(void *context, const store_call *call);

struct StoreImpl; // each build's own

// A commit as the store's log keeps it: who made it, when, with what
// command, how many records it added, changed and removed, and the change
// sets that make it and undo it, where the log still keeps them.
struct Commit {
    int64_t seq = 0;
    int64_t time = 0; // seconds since 1970
    int64_t uid = 0;
    std::string user, command;
    int64_t added = 0, changed = 0, removed = 0;
    std::optional<std::string> changes, undo;
    // The configuration it left, as history.h digests one; absent where an
    // earlier version logged the commit.
    std::optional<uint64_t> digest;
    int64_t deadline = 0; // by which it must be confirmed (seconds since 1970); 0: none
    // The store's count of records written, by any program, as the commit's
    // transaction began and as it was logged; absent where the store kept
    // none then.
    std::optional<int64_t> writes_before, writes_after;

    // A commit made now by this process's user, with that command.
    static Commit now(const std::string &command);
};

// Whether a file's first bytes (16 or more) are a store file's.
bool is_store_file(const std::string &head);
// Whether the file at path begins as a store file does.
bool is_store_path(const std::string &path);

// A store file another process held locked for longer than was waited.
struct StoreLocked : Failure {
    using Failure::Failure;
};

class Store {
  public:
    // read: never written, but what a killed writer left is rolled back
    // first; read_only: never written at all; create: a new file that is its
    // creator's alone until it is synced whole and moved into place, written
    // without a journal.
    enum class Open { read, read_only, read_write, create };

    Store(); // empty, in memory
    // A store file, whose locks are waited for up to wait_ms. Throws Failure
    // with the reason when the file is no store of this version (leaving it,
    // and all beside it, as it was), or cannot be opened.
    Store(const std::string &path, Open mode, int wait_ms = default_wait_ms);
    static constexpr int default_wait_ms = 5000;
    // What keeps stores, and its version ("SQLite 3.40.1").
    static std::string engine();
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;


    uintptr_t handle() const;
    // A text for a status of the tavri_ calls: "database is locked".
    std::string status_text(int status) const;
    // Whether a status says another process holds the store's lock: the
    // call wrote nothing, and may be made again once the lock is free.
    bool locked(int status) const;
    // The tavri_ calls made on the handle since log_calls(), in order.
    void log_calls();
    std::vector<LoggedCall> calls() const;

    // Remote devices: records of the remote_device table.
    void add(const Record &device);

    // Configuration records of a store file, as a dump holds them: the
    // configuration records, then the remote devices, each in store order,
    // read in one transaction.
    // A record's line is its row in the store. Every row is checked as a
    // dump's line is, a row's texts being at most max_row bytes together.
    Dump read(size_t max_row);
    // Only the rows with those ids (null: every row), each where the store
    // holds it, a row no longer there passed over; its records may lack
    // their xnet.
    Dump read_rows(const std::vector<uint32_t> *records, const std::vector<uint32_t> *devices,
                   size_t max_row);
    // A transaction that only reads and takes no write lock: what is read
    // until its end is one state of the store.
    void begin_read();
    void end_read();
    // A number that changes whenever another process commits to the file.
    int64_t data_version() const;
    // How many times records were written, by any program; absent for a
    // store of a version that does not count them.
    std::optional<int64_t> record_writes() const;
    // Writes a record as a new row: at that row, which must be free, or
    // with 0 at the end. Returns its row.
    uint32_t insert(const Record &record, uint32_t row = 0);
    // Rewrites, or deletes, the row a record read from this store stands in.
    void update(const Record &row, const Record &record);
    void erase(const Record &row);

    // The host's own transaction: the writes in between are committed
    // together or not at all. A store file replaced or removed since it was
    // opened refuses to begin.
    void begin();
    void commit();
    void rollback();

    // Logs a commit inside the open transaction, as the import that made
    // the store (sequence 0) or as the next; returns its sequence number.
    int64_t log_commit(const Commit &commit, bool import);
    // The logged commits, newest first; only the one numbered seq when it
    // is not negative. None for a store that keeps no log. Summaries leave
    // out the change sets, which are most of a commit's size: their undo is
    // empty where the log keeps it.
    std::vector<Commit> commits(int64_t seq = -1, bool summaries = false) const;
    // The commits logged after seq, oldest first, their change sets included.
    std::vector<Commit> commits_since(int64_t seq) const;
    // The newest commit's summary, and that of the commit awaiting
    // confirmation (the newest with a deadline); each found without reading
    // the rest of the log.
    std::optional<Commit> newest_commit() const;
    std::optional<Commit> awaiting_commit() const;
    // Inside the open transaction: the deadline of commit seq (0: none
    // awaited), and the change sets of every commit before seq dropped, their
    // summaries kept. The latter returns the commits that lost them.
    void set_deadline(int64_t seq, int64_t deadline);
    int64_t drop_change_sets(int64_t seq);
    // The source of the records read from the store's table of that kind.
    uint8_t source(Table table) const;

    // How many records this handle's statements have changed so far, those
    // of the module's calls included: a write that leaves a record as it was
    // changes none.
    uint64_t changes() const;

  private:
    std::unique_ptr<StoreImpl> impl_;
    bool in_transaction_ = false; // the host's own, of begin()
};

#endif

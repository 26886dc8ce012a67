// A store's history: records written together with their commit's entry in
// the log, which keeps, row by row, what undoes them; and the configuration
// as it stood right after any commit the log still reaches.
#ifndef CONFMODEL_HOST_STORE_HISTORY_H
#define CONFMODEL_HOST_STORE_HISTORY_H

#include "input/changes.h"
#include "store/store.h"

#include <deque>
#include <map>
#include <optional>
#include <vector>

// One row's write: the record a row holds (read from the store: its line is
// its row) and the record it is to hold; null before inserts, null after
// deletes.
struct RowWrite {
    const Record *before = nullptr;
    const Record *after = nullptr;
    uint32_t row = 0; // where an insert goes: a free row, or 0 for the end
};

// Whether two reads of a store found the same records in the same rows.
bool same_rows(const Dump &one, const Dump &other);

// The rows a plan on the store's records writes: changed records rewritten
// in place, removed ones deleted, added and moved ones inserted at the end,
// in the order of the plan's result.
std::vector<RowWrite> plan_writes(const Plan &plan);

// The plan of row writes of the module's lists' records that made `lists`
// (those records after them, in store order, which are the plan's result;
// each record's line is its row, so that lines rise in store order)
// from the records before, each write caused by `cause`: a record rewritten
// in its row is changed, one written in another row moved; a row that holds
// what it held is no write.
// Null when two writes touch records of one identity, which a plan cannot
// tell apart.
std::optional<Plan> plan_of_writes(RecordList lists, const std::vector<RowWrite> &writes,
                                   const std::string &cause);

// The digest of a configuration in a store: every row's table, row and
// record, a remote device's DCBX-pending flag aside, which is the device's
// state and written without a commit. Rows combine by xor, so that a
// commit's digest follows from the one before and its own rows.
uint64_t row_digest(const Record &record, uint32_t row);
uint64_t configuration_digest(const Dump &store);

// Writes the rows in the store's open transaction (deletes, then rewrites,
// then inserts) and logs them as `commit`, its change set given, with what
// undoes them, the records it added, changed and removed, and the digest
// after. `read` is the store as the transaction read it. Returns the
// sequence logged; -1, writing nothing, when every row holds what it is to
// hold already. An import (sequence 0) keeps nothing to undo it by.
int64_t write_logged(Store &store, const Dump &read, const std::vector<RowWrite> &writes, Commit commit,
                     bool import = false);

// The configuration right after commit seq: the store's records now, with
// the undoing of every later commit, each row where it stood. A row a later
// commit wrote is as it was then, a remote device's DCBX-pending flag
// included; a flag written since without a commit (dcbx) stays as it is.
struct PastConfiguration {
    RecordList records; // in store order: the configuration records, then the remote devices
    std::vector<RowWrite> writes; // what turns the store now into it
    // Where the records are: each table's rows; the later commits' undoing,
    // whose texts they use.
    std::map<uint32_t, Record> rows[2];
    std::deque<ChangeSet> undone;
};
// Refused with a Failure that says why, changing nothing: a commit the log
// does not hold; records that are not those the newest commit left (written
// past the log); a later commit whose undoing the log no longer keeps, or
// that does not lead to what the commit before it left.
PastConfiguration configuration_at(const Store &store, const Dump &now, int64_t seq);

// The commit awaiting confirmation, if one does: its summary.
std::optional<Commit> awaiting_confirmation(const Store &store);

// The deadline for a commit to be confirmed by, in the store's open
// transaction: refused while another commit awaits confirmation.
int64_t confirmable(const Store &store, const std::string &name, int64_t deadline);
// ", to be confirmed by 2026-12-07T00:40:11Z" for a deadline; "" for none.
std::string awaiting_text(int64_t deadline);

// In the store's open transaction, on the records it read: gives the store
// back the configuration it had before commit `unconfirmed`, which awaited
// confirmation, as a logged commit made by `command`, and ends the wait.
// Returns the sequence logged. Refused, as configuration_at refuses, when the
// log cannot take the commit back.
int64_t roll_back_unconfirmed(Store &store, const Dump &now, const Commit &unconfirmed,
                              const std::string &command);

// Rolls back the commit awaiting confirmation once its deadline has passed,
// as a logged commit made by `command`, in a transaction of its own on the
// store; returns what it did ("commit 4 was not confirmed by its deadline,
// ...: rolled back as commit 5"), or nothing when no commit is overdue.
std::optional<std::string> roll_back_overdue(Store &store, size_t max_row, const std::string &command);

#endif

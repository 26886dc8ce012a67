// Change sets: what turns one configuration into another, one record a line
// (docs/records.md): add a record, remove one, or change one in place. A
// record is named by its identity (records.h).
#ifndef CONFMODEL_HOST_INPUT_CHANGES_H
#define CONFMODEL_HOST_INPUT_CHANGES_H

#include "input/dump.h"
#include "input/index.h"

#include <string>
#include <unordered_map>
#include <vector>

enum class Op { add, remove, change };

struct Change {
    Op op;
    Record record; // for a removal, only its identity counts
    uint32_t row = 0; // in a store's log: the row the record stands in, or stood in
};

struct ChangeSet {
    std::string name;
    std::vector<Change> changes;
    TextArena texts; // the records'
};

ChangeSet read_changes(LineReader &in);
// The changes of a store's log, each with its "row": the lines of text,
// named `name` in messages.
ChangeSet read_logged_changes(const std::string &name, const std::string &text);
// One JSON object a change, one a line: {"op": ..., "table": ..., ...};
// with rows, as a store's log keeps them: {"op": ..., "row": N, ...}.
void write_changes(std::ostream &out, const ChangeSet &changes, bool rows = false);
std::string changes_text(const ChangeSet &changes, bool rows = false);
std::string change_line(const Change &change, bool row = false); // one such line, with its line feed
const char *op_name(Op op); // "add", "remove", "change"

// A configuration after a change set, and what became of every identity the
// changes touched: its record before (null when added) and after (null when
// removed), and the change that decided it. It points into the base and the
// change set, which must outlive it.
struct Plan {
    Plan() = default;
    // Moved, never copied: by_before and by_after point into touched.
    Plan(Plan &&) = default;
    Plan &operator=(Plan &&) = default;
    Plan(const Plan &) = delete;
    Plan &operator=(const Plan &) = delete;

    RecordList result; // in store order
    // The records of the module's lists (port groups, xnets, xnetgroups)
    // among them, in the same order: a host changing its lists walks these,
    // a few thousand where the result holds a million.
    RecordList lists;
    // Whether the records' lines rise in store order, as a store's rows do:
    // then a record's line is its place, found without a table of places.
    bool ordered_by_line = false;
    struct Touched {
        const Record *before;
        const Record *after;
        bool moved;        // removed and added again: it now stands at the end
        std::string cause; // where the last change of it stands
    };
    std::unordered_map<RecordKey, Touched, RecordKeyHash> touched; // by identity
    // The same by their records: a record before the plan, a record after.
    // A configuration holds one record of a touched identity, so that a
    // record of the configuration before (or after) is touched exactly when
    // it is found here. file_touched() fills them from `touched`. (A table
    // of addresses of its own, probed in place, saved apply at 1M records
    // nothing measurable, 2026-12-07.)
    std::unordered_map<const Record *, const Touched *> by_before, by_after;
    void file_touched();
    // What became of a record's identity, from its record before the plan or
    // after it; null if the plan left it untouched.
    const Touched *touched_before(const Record *record) const;
    const Touched *touched_after(const Record *record) const;
};

// Applies the changes to the records of a configuration in store order (a
// dump's, or an earlier plan's result; the records must outlive the plan):
// a removal deletes the record, a change replaces it in place, an addition
// goes to the end, as rows of a store do. Refused with a Failure naming the
// change's line: an addition of a record already there, a removal or change
// of one that is not there or is there twice, and a result whose xnetgroups
// lack their xnet.
Plan plan_changes(const RecordList &base, const ChangeSet &changes);

// The change set that turns `before` into `after`: the records of each kind
// end in the order `after` gives them (a record that must move is removed and
// added again). Refused when a record to change shares its identity with
// another, or when `after` holds several records of an identity `before`
// lacks, since one change set cannot add them all.
ChangeSet diff_configs(const Dump &before, const Dump &after);
// The same on the records of two configurations and their pairing
// (pair_records), made already; the change set takes the name given.
ChangeSet diff_configs(const RecordList &before, const RecordList &after, const Pairing &pairing,
                       const std::string &name);

#endif

// A model as a user sees it, kept apart from the module: every entry's
// description under a key that names it in any model, and the answers of the
// lookups. Two snapshots compare into what a user would notice between two
// models: entries only in one, fields that differ, and lookups that answer
// differently.
#ifndef CONFMODEL_HOST_OUTPUT_SNAPSHOT_H
#define CONFMODEL_HOST_OUTPUT_SNAPSHOT_H

#include "input/changes.h"
#include "running/model.h"
#include "output/document.h"

#include <map>
#include <string>
#include <vector>

enum Section {
    PORTGROUPS,
    XNETS,
    XNETGROUPS,
    SUBPORTS,
    PORT_PROTECTS,
    SUBPORT_PROTECTS,
    REMOTE_DEVICES,
    SECTIONS
};

// The entries of the module's lists, which a snapshot keeps; port records
// and remote devices are compared by their records (compare_records).
constexpr int LIST_SECTIONS = XNETGROUPS + 1;

struct Snapshot {
    struct Item {
        std::string key;   // the pathname (or key), and for the k-th repeat of it "#k"
        std::string label; // for people, "#1 /portgroups/uplink"; empty when the key says it
        std::string json;  // the description, compact
        std::string list;  // an xnetgroup's xnet: the list it stands on
    };
    std::vector<Item> items[LIST_SECTIONS];
    // Question ("port 7", "vlan 100", "portgroup 3", "xnet /x") and answer.
    std::map<std::string, std::string> lookups;
};

Snapshot take_snapshot(const HostModel &model);
// The lists these records give from a fresh start.
Snapshot fresh_snapshot(const Module &module, const RecordList &records);

struct Comparison {
    struct Field {
        std::string name;
        ojson before, after;
    };
    struct Entry {
        Section section;
        char change; // '+' only after, '-' only before, '~' both, differing
        std::string label;
        std::vector<Field> fields; // for '~'
    };
    std::vector<Entry> entries;
    struct Lookup {
        std::string question, before, after;
    };
    std::vector<Lookup> lookups; // answers that differ
    std::vector<Lookup> ports;   // every port, 1 to 64
    // Derived from the fields: an xnet's native-VLAN status, a port group's
    // xnetgroup_count; the question is the entry's label.
    std::vector<Lookup> native_vlan, xnetgroup_counts;
    // Lists whose entries both sides have stand in another order: the list
    // ("port groups", "xnetgroups of /x") and the first entry out of place.
    std::vector<Lookup> order;
    bool same() const { return entries.empty() && lookups.empty() && order.empty(); }
};

Comparison compare(const Snapshot &before, const Snapshot &after);

// Adds to a comparison the port records and remote devices that differ
// between two lists of records: each paired with the record of its identity
// that stands in the same place among those of the identity, and a pair that
// differs described as the module decodes each side. Records of other kinds
// are passed over.
void compare_records(Comparison &c, const Module &module, const RecordList &before,
                     const RecordList &after);
// The same, with the pairing of the records (pair_records) made already.
void compare_records(Comparison &c, const Module &module, const RecordList &before,
                     const RecordList &after, const Pairing &pairing);
// The same between a configuration and the result of a plan on it, from the
// records the plan touched alone.
void compare_changed_records(Comparison &c, const Module &module,
                             const RecordList &before, const Plan &plan);
// The same between a running model's port records and remote devices and a
// configuration's: nothing when it holds the very same records, whatever
// their order.
void compare_running_records(Comparison &c, const Module &module,
                             const RecordList &running,
                             const RecordList &configuration);

// How a comparison reads: "before"/"after" for a change, "running"/
// "restarted" for a running model against a fresh start.
struct Sides {
    const char *before, *after;
};
void print_comparison(std::ostream &out, const Comparison &c, Sides sides, const char *indent);
ojson comparison_json(const Comparison &c, Sides sides);

#endif

// A model as a user sees it, kept apart from the module: every entry's
// description under a key that names it in any model, and the answers of the
// lookups. Two snapshots compare into what a user would notice between two
// models: entries only in one, fields that differ, and lookups that answer
// differently.
#ifndef CONFMODEL_HOST_OUTPUT_SNAPSHOT_H
#define CONFMODEL_HOST_OUTPUT_SNAPSHOT_H

#include "running/model.h"
#include "output/report.h"
#include "store/store.h"

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

struct Snapshot {
    struct Item {
        std::string key;   // the pathname (or key), and for the k-th repeat of it "#k"
        std::string label; // for people, "#1 /portgroups/uplink"; empty when the key says it
        std::string json;  // the description, compact
        std::string list;  // an xnetgroup's xnet: the list it stands on
    };
    std::vector<Item> items[SECTIONS];
    // Question ("port 7", "vlan 100", "portgroup 3", "xnet /x") and answer.
    std::map<std::string, std::string> lookups;
};

Snapshot take_snapshot(const HostModel &model, const Store &store);

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

// How a comparison reads: "before"/"after" for a change, "running"/
// "restarted" for a running model against a fresh start.
struct Sides {
    const char *before, *after;
};
void print_comparison(std::ostream &out, const Comparison &c, Sides sides, const char *indent);
ojson comparison_json(const Comparison &c, Sides sides);

#endif

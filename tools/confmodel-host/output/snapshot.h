// A model as a user sees it, kept apart from the module: every entry's
// description under a key that names it in any model, and the answers of the
// lookups. Two snapshots compare into what a user would notice between two
// models: entries only in one, fields that differ, and lookups that answer
// differently.
#ifndef CONFMODEL_HOST_OUTPUT_SNAPSHOT_H
#define CONFMODEL_HOST_OUTPUT_SNAPSHOT_H

#include "output/comparison.h"
#include "output/comparison_view.h"
#include "output/record_comparison.h"
#include "running/model.h"

#include <map>
#include <string>
#include <vector>

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

Comparison compare(const Snapshot &before, const Snapshot &after);

#endif

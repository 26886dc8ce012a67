// What a user would notice between two models: entries only on one side,
// fields that differ, lookups that answer differently, lists in another
// order.
#ifndef CONFMODEL_HOST_OUTPUT_COMPARISON_H
#define CONFMODEL_HOST_OUTPUT_COMPARISON_H

#include "output/document.h"

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

// The fields of two descriptions of one entry that differ.
std::vector<Comparison::Field> field_changes(const ojson &before, const ojson &after);

// "1st", "2nd", "11th": which of the entries of one name an entry is.
std::string ordinal(int n);

#endif

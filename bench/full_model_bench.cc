// The full-size model: 256 port groups, 4094 xnets (every eighth one FC) and
// 16,384 xnetgroups, built from records in the host's order (port groups,
// xnets, then each xnet's xnetgroups), and then every entry found again by
// its pathname. Build and find are separate figures; their sum is the total.
#include "bench.h"
#include "floor.h"
#include "model.h"

#include <string>
#include <vector>

namespace bench {

namespace {

constexpr int full_portgroups = 256;
constexpr int full_xnets = 4094;
constexpr int full_xnetgroups = 16384;

bool is_fc(int xnet_index) { return xnet_index % 8 == 7; }

// The records as the host would read them from its store, and the pathnames
// it would later look up.
struct Records {
    std::vector<Record> portgroups, xnets, xnetgroups;
    std::vector<int> parent;  // xnet index of each xnetgroup
    std::vector<config_record> portgroup_columns, xnet_columns, xnetgroup_columns;
    std::vector<std::string> portgroup_names, xnet_names, xnetgroup_names;

    Records() {
        for (int i = 0; i < full_portgroups; i++) {
            portgroups.push_back(portgroup_record(i + 1, uint64_t{1} << (i % 64)));
            portgroup_names.push_back(portgroup_name(i + 1));
        }
        for (int i = 0; i < full_xnets; i++) {
            xnets.push_back(is_fc(i) ? fc_xnet_record(i + 1) : xnet_record(i + 1));
            xnet_names.push_back(xnet_name(i + 1));
        }
        // Four or five consecutive xnetgroups per xnet, each on another group.
        for (int j = 0; j < full_xnetgroups; j++) {
            int xnet = static_cast<int>(int64_t{j} * full_xnets / full_xnetgroups);
            int group = j % full_portgroups + 1;
            xnetgroups.push_back(is_fc(xnet) ? fc_xnetgroup_record(xnet + 1, group)
                                             : xnetgroup_record(xnet + 1, group));
            xnetgroup_names.push_back(xnetgroup_name(xnet + 1, group));
            parent.push_back(xnet);
        }
        for (Record &r : portgroups)
            portgroup_columns.push_back(r);
        for (Record &r : xnets)
            xnet_columns.push_back(r);
        for (Record &r : xnetgroups)
            xnetgroup_columns.push_back(r);
    }
};

const Records &records() {
    static const Records all;
    return all;
}

// Creates every entry through the module; the count of entries created.
int build_with_module(const Records &r, std::vector<xnet_entry *> &xnet_entries) {
    int created = 0;
    for (config_record columns : r.portgroup_columns) {
        portgroup_entry *entry;
        created += create_new_portgroup(columns, &entry) == 0;
    }
    for (size_t i = 0; i < r.xnet_columns.size(); i++) {
        int duplicate;
        int status = is_fc(static_cast<int>(i))
                         ? create_new_fc_xnet(r.xnet_columns[i], &xnet_entries[i], &duplicate)
                         : create_new_xnet(r.xnet_columns[i], &xnet_entries[i], &duplicate);
        created += status == 0;
    }
    for (size_t j = 0; j < r.xnetgroup_columns.size(); j++) {
        xnetgroup_entry *entry;
        int xnet = r.parent[j];
        int status = is_fc(xnet) ? create_new_fc_xnetgroup(r.xnetgroup_columns[j],
                                                            xnet_entries[xnet], &entry)
                                 : create_new_xnetgroup(r.xnetgroup_columns[j], xnet_entries[xnet],
                                                        &entry);
        created += status == 0;
    }
    return created;
}

int build_by_hand(const Records &r, std::vector<xnet_entry *> &xnet_entries) {
    int created = 0;
    for (config_record columns : r.portgroup_columns)
        created += by_hand::create_portgroup(columns) != nullptr;
    for (size_t i = 0; i < r.xnet_columns.size(); i++) {
        xnet_entries[i] = is_fc(static_cast<int>(i)) ? by_hand::create_fc_xnet(r.xnet_columns[i])
                                                     : by_hand::create_xnet(r.xnet_columns[i]);
        created += xnet_entries[i] != nullptr;
    }
    for (size_t j = 0; j < r.xnetgroup_columns.size(); j++) {
        int xnet = r.parent[j];
        xnetgroup_entry *entry =
            is_fc(xnet) ? by_hand::create_fc_xnetgroup(r.xnetgroup_columns[j], xnet_entries[xnet])
                        : by_hand::create_xnetgroup(r.xnetgroup_columns[j], xnet_entries[xnet]);
        created += entry != nullptr;
    }
    return created;
}

// Finds every entry again by its pathname; the count found.
int find_with_module(const Records &r) {
    int found = 0;
    for (const std::string &name : r.portgroup_names)
        found += find_portgrp_by_name(name.c_str()) != nullptr;
    for (const std::string &name : r.xnet_names)
        found += find_xnet_by_name(name.c_str()) != nullptr;
    for (const std::string &name : r.xnetgroup_names)
        found += find_xgrp_by_name_generic(name.c_str(), xnetgroup_separator) != nullptr;
    return found;
}

int find_by_hand(const Records &r) {
    int found = 0;
    for (const std::string &name : r.portgroup_names)
        found += by_hand::find_portgrp_by_name(name.c_str()) != nullptr;
    for (const std::string &name : r.xnet_names)
        found += by_hand::find_xnet_by_name(name.c_str()) != nullptr;
    for (const std::string &name : r.xnetgroup_names)
        found += by_hand::find_xgrp_by_name_generic(name.c_str(), xnetgroup_separator) != nullptr;
    return found;
}

constexpr int full_total = full_portgroups + full_xnets + full_xnetgroups;

template <typename Build> void build(benchmark::State &state, Build build_all) {
    const Records &r = records();
    std::vector<xnet_entry *> xnet_entries(r.xnet_columns.size());
    Model model;
    for (auto _ : state) {
        int created = measured([&] { return build_all(r, xnet_entries); });
        state.PauseTiming();
        model.clear();
        state.ResumeTiming();
        if (created != full_total) {
            fail(state, "not every record became an entry");
            break;
        }
    }
}

template <typename Find> void find_all(benchmark::State &state, Find find) {
    const Records &r = records();
    std::vector<xnet_entry *> xnet_entries(r.xnet_columns.size());
    Model model;
    build_with_module(r, xnet_entries);
    for (auto _ : state) {
        if (measured([&] { return find(r); }) != full_total) {
            fail(state, "not every entry was found");
            break;
        }
    }
}

} // namespace

void add_full_model_benchmarks() {
    add("full_model/build", [](benchmark::State &state) { build(state, build_with_module); });
    add("floor/full_model/build", [](benchmark::State &state) { build(state, build_by_hand); });
    add("full_model/find_all", [](benchmark::State &state) { find_all(state, find_with_module); });
    add("floor/full_model/find_all",
        [](benchmark::State &state) { find_all(state, find_by_hand); });
}

} // namespace bench

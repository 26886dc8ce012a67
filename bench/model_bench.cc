// One record and one lookup at a time: creation from a record into lists that
// hold nothing the creation has to scan, and each lookup over lists of 64, 512
// and 4094 entries, finding the last entry or nothing.
#include "bench.h"
#include "floor.h"
#include "model.h"
#include "model/list.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace bench {

namespace {

const std::initializer_list<int64_t> list_lengths = {64, 512, 4094};

// The record is converted to its column array once; then each iteration
// creates one entry and the host releases it again, outside the count.
template <typename Entry, typename Create>
void creation(benchmark::State &state, Record record, Create create) {
    config_record columns = record;
    for (auto _ : state) {
        Entry *entry = measured([&] { return create(columns); });
        if (entry == nullptr) {
            fail(state, "creation failed");
            break;
        }
        release(entry);
    }
}

// An xnetgroup needs its xnet and one port group to bind to.
template <typename Create>
void xnetgroup_creation(benchmark::State &state, Record record, Create create) {
    Model model;
    portgroup_entry *group;
    Record group_record = portgroup_record(1, 0xff);
    create_new_portgroup(group_record, &group);
    xnet_entry *xnet;
    int duplicate;
    Record parent_record = xnet_record(1);
    create_new_xnet(parent_record, &xnet, &duplicate);
    creation<xnetgroup_entry>(state, std::move(record),
                              [&](config_record columns) { return create(columns, xnet); });
}

void add_creations() {
    add("create_new_portgroup", [](benchmark::State &state) {
        Model model;
        creation<portgroup_entry>(state, portgroup_record(1, 0xff), [](config_record columns) {
            portgroup_entry *entry;
            return create_new_portgroup(columns, &entry) == 0 ? entry : nullptr;
        });
    });
    add("floor/create_new_portgroup", [](benchmark::State &state) {
        Model model;
        creation<portgroup_entry>(state, portgroup_record(1, 0xff), by_hand::create_portgroup);
    });
    add("create_new_xnet", [](benchmark::State &state) {
        Model model;
        creation<xnet_entry>(state, xnet_record(1), [](config_record columns) {
            xnet_entry *entry;
            int duplicate;
            return create_new_xnet(columns, &entry, &duplicate) == 0 ? entry : nullptr;
        });
    });
    add("floor/create_new_xnet", [](benchmark::State &state) {
        Model model;
        creation<xnet_entry>(state, xnet_record(1), by_hand::create_xnet);
    });
    add("create_new_fc_xnet", [](benchmark::State &state) {
        Model model;
        creation<xnet_entry>(state, fc_xnet_record(1), [](config_record columns) {
            xnet_entry *entry;
            int duplicate;
            return create_new_fc_xnet(columns, &entry, &duplicate) == 0 ? entry : nullptr;
        });
    });
    add("floor/create_new_fc_xnet", [](benchmark::State &state) {
        Model model;
        creation<xnet_entry>(state, fc_xnet_record(1), by_hand::create_fc_xnet);
    });
    add("create_new_xnetgroup", [](benchmark::State &state) {
        xnetgroup_creation(state, xnetgroup_record(1, 1),
                           [](config_record columns, xnet_entry *xnet) {
                               xnetgroup_entry *entry;
                               return create_new_xnetgroup(columns, xnet, &entry) == 0 ? entry
                                                                                       : nullptr;
                           });
    });
    add("floor/create_new_xnetgroup", [](benchmark::State &state) {
        xnetgroup_creation(state, xnetgroup_record(1, 1), by_hand::create_xnetgroup);
    });
    add("create_new_fc_xnetgroup", [](benchmark::State &state) {
        xnetgroup_creation(state, fc_xnetgroup_record(1, 1),
                           [](config_record columns, xnet_entry *xnet) {
                               xnetgroup_entry *entry;
                               return create_new_fc_xnetgroup(columns, xnet, &entry) == 0
                                          ? entry
                                          : nullptr;
                           });
    });
    add("floor/create_new_fc_xnetgroup", [](benchmark::State &state) {
        xnetgroup_creation(state, fc_xnetgroup_record(1, 1), by_hand::create_fc_xnetgroup);
    });
}

// Lists of n entries built through the module, keys 1..n, so the last entry
// has key n and nothing has key n + 1.

// Every group holds port 0; only the last also holds port 63.
portgroup_entry *build_portgroups(int n) {
    portgroup_entry *entry = nullptr;
    for (int number = 1; number <= n; number++) {
        Record record = portgroup_record(number, number == n ? 0x8000000000000001u : 0x1u);
        create_new_portgroup(record, &entry);
    }
    return entry;
}

xnet_entry *build_xnets(int n) {
    xnet_entry *entry = nullptr;
    for (int vid = 1; vid <= n; vid++) {
        Record record = xnet_record(vid);
        int duplicate;
        create_new_xnet(record, &entry, &duplicate);
    }
    return entry;
}

// n xnets with four xnetgroups each, on port groups 1 to 4; returns the last
// xnetgroup.
constexpr int groups_per_xnet = 4;

xnetgroup_entry *build_xnetgroups(int n) {
    build_portgroups(groups_per_xnet);
    build_xnets(n);
    xnetgroup_entry *entry = nullptr;
    LIST_FOREACH(xnet_entry, xnet, &xnets) {
        for (int group = 1; group <= groups_per_xnet; group++) {
            Record record = xnetgroup_record(xnet->int_vid, group);
            create_new_xnetgroup(record, xnet, &entry);
        }
    }
    return entry;
}

// The lists the lookups scan, each built once and then kept off the heads
// while another is in use. A module's lookup and its floor thus chase the very
// same entries, in whatever order the benchmarks run.
struct KeptLists {
    list_head portgroups, xnets;
    void *last;
};
std::map<std::pair<uintptr_t, int>, KeptLists> kept;

// Puts the kept lists that build(n) makes on the heads; returns their last entry.
template <typename Entry> Entry *attach(Entry *(*build)(int), int n) {
    auto key = std::make_pair(reinterpret_cast<uintptr_t>(build), n);
    auto it = kept.find(key);
    if (it == kept.end()) {
        list_init(&portgroups);
        list_init(&xnets);
        Entry *last = build(n);
        it = kept.emplace(key, KeptLists{portgroups, xnets, last}).first;
    }
    portgroups = it->second.portgroups;
    xnets = it->second.xnets;
    return static_cast<Entry *>(it->second.last);
}

void detach() {
    list_init(&portgroups);
    list_init(&xnets);
}

const char *argument(const std::string &key) { return key.c_str(); }
int32_t argument(int32_t key) { return key; }

// A lookup: key_of(n, hit) gives the key of the last entry or of none, and
// build(n) the list and its last entry. Registers the module's function and
// its floor, for hits and misses at each list length.
template <typename Key, typename Build, typename Find, typename Floor>
void add_lookup(const std::string &name, Key (*key_of)(int n, bool hit), Build build, Find find,
                Floor floor) {
    for (bool hit : {true, false}) {
        auto body = [=](auto search) {
            return [=](benchmark::State &state) {
                int n = static_cast<int>(state.range(0));
                auto *last = attach(build, n);
                decltype(last) expected = hit ? last : nullptr;
                Key key = key_of(n, hit);
                for (auto _ : state) {
                    auto *found = measured([&] { return search(argument(key)); });
                    if (found != expected) {
                        fail(state, "the lookup found the wrong entry");
                        break;
                    }
                }
                detach();
            };
        };
        std::string variant = name + (hit ? "/hit" : "/miss");
        add(variant, body(find), list_lengths);
        add("floor/" + variant, body(floor), list_lengths);
    }
}

int32_t number_key(int n, bool hit) { return hit ? n : n + 1; }
int32_t port_key(int, bool hit) { return hit ? 63 : 62; }
std::string portgroup_name_key(int n, bool hit) { return portgroup_name(hit ? n : n + 1); }
std::string xnet_name_key(int n, bool hit) { return xnet_name(hit ? n : n + 1); }
// A miss names the last xnet, so it scans the whole list and then all of
// that xnet's groups.
std::string xnetgroup_name_key(int n, bool hit) {
    return xnetgroup_name(n, hit ? groups_per_xnet : groups_per_xnet + 1);
}

void add_lookups() {
    add_lookup("find_portgrp_by_number", number_key, build_portgroups, find_portgrp_by_number,
               by_hand::find_portgrp_by_number);
    add_lookup("find_portgrp_by_name", portgroup_name_key, build_portgroups,
               find_portgrp_by_name, by_hand::find_portgrp_by_name);
    add_lookup("find_ext_portgroup_for_port", port_key, build_portgroups,
               find_ext_portgroup_for_port, by_hand::find_ext_portgroup_for_port);
    add_lookup("find_xnet_by_int_vid", number_key, build_xnets, find_xnet_by_int_vid,
               by_hand::find_xnet_by_int_vid);
    add_lookup("find_xnet_by_name", xnet_name_key, build_xnets, find_xnet_by_name,
               by_hand::find_xnet_by_name);
    add_lookup(
        "find_xgrp_by_name_generic", xnetgroup_name_key, build_xnetgroups,
        [](const char *pathname) {
            return find_xgrp_by_name_generic(pathname, xnetgroup_separator);
        },
        [](const char *pathname) {
            return by_hand::find_xgrp_by_name_generic(pathname, xnetgroup_separator);
        });
}

} // namespace

void add_model_benchmarks() {
    add_creations();
    add_lookups();
}

void release_kept_lists() {
    Model model;
    for (auto &[key, lists] : kept) {
        portgroups = lists.portgroups;
        xnets = lists.xnets;
        model.clear();
    }
    kept.clear();
}

} // namespace bench

#include "output/snapshot.h"

#include "confmodel_lists.h"
#include "output/report_json.h"
#include "running/labels.h"

#include <algorithm>
#include <unordered_map>

namespace {

// Adds an item, keyed by its name and, from the second of a name on, its
// number; people see the label and that number ("/x/g under /x (2nd)").
class Items {
  public:
    explicit Items(std::vector<Snapshot::Item> &items) : items_(items) {}
    // Returns how many items of the name came before.
    int add(const std::string &name, std::string label, std::string description,
            std::string list = {}) {
        int seen = seen_[name]++;
        // The repeat's number after a NUL, which no pathname holds.
        std::string key = seen == 0 ? name : name + '\0' + std::to_string(seen + 1);
        if (label.empty()) label = "without a pathname";
        if (seen > 0) label += " (" + ordinal(seen + 1) + ")";
        // Most labels are the key itself: kept once.
        if (label == key) label.clear();
        items_.push_back({std::move(key), std::move(label), std::move(description), std::move(list)});
        return seen;
    }

  private:
    std::vector<Snapshot::Item> &items_;
    std::unordered_map<std::string, int> seen_;
};

std::string group_answer(const portgroup_entry *g) {
    return g == nullptr ? "none" : "#" + std::to_string(g->number) + " " + g->pathname;
}

// What a lookup of an xnetgroup answers, told apart from its twins.
std::string role_of(const xnetgroup_entry &g) {
    return std::string(role_name(g.role)) + " on #" +
           std::to_string(g.portgroup_number) + ", col7 " + std::to_string(g.col7_value);
}

} // namespace

Snapshot take_snapshot(const HostModel &model) {
    const Module &m = model.module();
    Snapshot s;
    Items portgroups(s.items[PORTGROUPS]), xnets(s.items[XNETS]), xnetgroups(s.items[XNETGROUPS]);

    CONFMODEL_LIST_FOREACH(const portgroup_entry, g, m.portgroups) {
        portgroups.add(g->pathname, group_answer(g), description_text(*g));
        s.lookups.emplace("portgroup " + std::to_string(g->number), g->pathname);
        s.lookups.emplace("portgroup " + std::string(g->pathname), "#" + std::to_string(g->number));
    }
    for (int port = 1; port <= 64; port++)
        s.lookups["port " + std::to_string(port)] = group_answer(m.find_ext_portgroup_for_port(port - 1));
    CONFMODEL_LIST_FOREACH(const xnet_entry, x, m.xnets) {
        xnets.add(x->pathname, x->pathname, description_text(*x));
        s.lookups.emplace("vlan " + std::to_string(x->int_vid), x->pathname);
        s.lookups.emplace("xnet " + std::string(x->pathname), "VLAN " + std::to_string(x->int_vid));
        std::unordered_map<std::string_view, const xnetgroup_entry *> first;
        CONFMODEL_LIST_FOREACH(const xnetgroup_entry, g, &x->xnetgroups) {
            std::string name = std::string(g->pathname) + " under " + x->pathname;
            const xnetgroup_entry *found = first.emplace(g->pathname, g).first->second;
            // A lookup by name can only find another entry where the name
            // repeats: only then is its answer worth keeping (xnetgroups are
            // many, and the only entries the module lets share a name).
            if (xnetgroups.add(name, name, description_text(*g), x->pathname) == 1)
                s.lookups.emplace("xnetgroup " + name, role_of(*found));
        }
    }
    return s;
}

Snapshot fresh_snapshot(const Module &module, const RecordList &records) {
    HostModel model(module);
    model.build(records, HostModel::Parts::lists);
    return take_snapshot(model);
}

namespace {

const std::string &label(const Snapshot::Item &item) {
    return item.label.empty() ? item.key : item.label;
}
} // namespace

Comparison compare(const Snapshot &before, const Snapshot &after) {
    Comparison c;
    for (int section = 0; section < LIST_SECTIONS; section++) {
        const auto &olds = before.items[section], &news = after.items[section];
        std::unordered_map<std::string_view, const Snapshot::Item *> old_by_key, new_by_key;
        for (const auto &item : olds)
            old_by_key.emplace(item.key, &item);
        for (const auto &item : news)
            new_by_key.emplace(item.key, &item);
        Section s = static_cast<Section>(section);
        for (const auto &item : olds)
            if (!new_by_key.count(item.key)) c.entries.push_back({s, '-', label(item), {}});
        for (const auto &item : news) {
            auto old = old_by_key.find(item.key);
            if (old == old_by_key.end()) {
                c.entries.push_back({s, '+', label(item), {}});
            } else if (old->second->json != item.json) {
                c.entries.push_back({s, '~', label(item),
                                     field_changes(ojson::parse(old->second->json),
                                                   ojson::parse(item.json))});
            }
        }
        // The module's lists: entries both sides have, in the same order?
        std::map<std::string_view, std::pair<std::vector<const Snapshot::Item *>,
                                             std::vector<const Snapshot::Item *>>>
            lists;
        for (const auto &item : olds)
            if (new_by_key.count(item.key)) lists[item.list].first.push_back(&item);
        for (const auto &item : news)
            if (old_by_key.count(item.key)) lists[item.list].second.push_back(&item);
        for (const auto &[list, sides] : lists) {
            auto differ = std::mismatch(sides.first.begin(), sides.first.end(), sides.second.begin(),
                                        [](const auto *a, const auto *b) { return a->key == b->key; });
            if (differ.first == sides.first.end()) continue;
            std::string name = s == PORTGROUPS ? "port groups"
                               : s == XNETS    ? "xnets"
                                               : "xnetgroups of " + std::string(list);
            c.order.push_back({name, label(**differ.first), label(**differ.second)});
        }
    }
    // What follows from the fields: xnets that gain or lose native-VLAN
    // status, and how port groups' xnetgroup counts move.
    for (const Comparison::Entry &e : c.entries)
        for (const Comparison::Field &f : e.fields) {
            if (e.section == XNETS && f.name == "is_native_vlan")
                c.native_vlan.push_back({e.label, f.before == true ? "native" : "not native",
                                         f.after == true ? "native" : "not native"});
            if (e.section == PORTGROUPS && f.name == "xnetgroup_count")
                c.xnetgroup_counts.push_back({e.label, f.before.dump(), f.after.dump()});
        }
    auto answer = [](const Snapshot &s, const std::string &q) {
        auto at = s.lookups.find(q);
        return at == s.lookups.end() ? std::string("none") : at->second;
    };
    for (int port = 1; port <= 64; port++) {
        std::string q = "port " + std::to_string(port);
        Comparison::Lookup l{q, answer(before, q), answer(after, q)};
        if (l.before != l.after) c.lookups.push_back(l);
        c.ports.push_back(std::move(l));
    }
    // Other lookups that find an entry on both sides but not the same one: an
    // entry only on one side is reported as such already.
    auto other = [&](const std::string &q) {
        if (q.compare(0, 5, "port ") == 0) return;
        std::string a = answer(before, q), b = answer(after, q);
        if (a != b && a != "none" && b != "none") c.lookups.push_back({q, a, b});
    };
    for (const auto &[q, a] : before.lookups)
        other(q);
    for (const auto &[q, a] : after.lookups)
        if (!before.lookups.count(q)) other(q);
    return c;
}


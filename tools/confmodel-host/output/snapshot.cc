#include "output/snapshot.h"

#include "confmodel_lists.h"
#include "input/index.h"
#include "input/text.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>

namespace {

const char *const section_names[] = {"portgroups",    "xnets",           "xnetgroups",
                                     "subports",      "port_protects",   "subport_protects",
                                     "remote_devices"};
const char *const section_titles[] = {"Port groups",     "Xnets",           "Xnetgroups",
                                      "Subports",        "Port protection", "Subport protection",
                                      "Remote devices"};

std::string ordinal(int n) {
    const char *suffix = n % 100 / 10 == 1 ? "th" : n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
    return std::to_string(n) + suffix;
}

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

// The fields of two descriptions of one entry that differ.
std::vector<Comparison::Field> field_changes(const ojson &a, const ojson &b) {
    std::vector<Comparison::Field> fields;
    for (const auto &[name, value] : b.items())
        if (!a.contains(name) || a[name] != value)
            fields.push_back({name, a.contains(name) ? a[name] : ojson(), value});
    for (const auto &[name, value] : a.items())
        if (!b.contains(name)) fields.push_back({name, value, ojson()});
    return fields;
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

namespace {

// The section a record's entry stands in, or SECTIONS for a record of the
// module's lists.
Section section_of(const Record &record) {
    switch (record.table) {
    case Table::subport: return SUBPORTS;
    case Table::port_protect: return PORT_PROTECTS;
    case Table::subport_protect: return SUBPORT_PROTECTS;
    case Table::remote_device: return REMOTE_DEVICES;
    default: return SECTIONS;
    }
}

// A record's entry for people: its pathname (or a device's key), and from
// the second record of an identity on, which one it is.
std::string record_label(const Record &record, uint32_t nth) {
    const char *name = record.column(0);
    std::string text = record.table == Table::remote_device ? std::string("device ") + name
                       : name == nullptr                    ? std::string("without a pathname")
                       : *name == '\0'                      ? std::string("with an empty pathname")
                                                            : std::string(name);
    return nth > 1 ? text + " (" + ordinal(static_cast<int>(nth)) + ")" : text;
}

ojson describe_record(const Module &module, const Record &record) {
    if (record.table == Table::remote_device) return describe_remote_device(record);
    return describe_port_record(DecodedPortRecord(module, record));
}

} // namespace

void compare_records(Comparison &c, const Module &module, const RecordList &before,
                     const RecordList &after) {
    // The same records in the same order differ in nothing: the usual case
    // for the part of a configuration a change leaves alone.
    if (before.size() == after.size() && std::equal(before.begin(), before.end(), after.begin()))
        return;
    compare_records(c, module, before, after, pair_records(before, after));
}

void compare_records(Comparison &c, const Module &module, const RecordList &before,
                     const RecordList &after, const Pairing &p) {
    // One pass over each side finds the records only before, and those
    // after that are added or differ from their partner, by section.
    std::vector<uint32_t> gone[SECTIONS], differing[SECTIONS];
    for (uint32_t i = 0; i < before.size(); i++)
        if (Section s = section_of(*before[i]); s != SECTIONS && !p.paired[i]) gone[s].push_back(i);
    for (uint32_t i = 0; i < after.size(); i++)
        if (Section s = section_of(*after[i]); s != SECTIONS)
            if (p.partner[i] == Pairing::none || !before[p.partner[i]]->same_as(*after[i]))
                differing[s].push_back(i);
    // Section by section: the records only before, in their order, then
    // those after.
    for (int section = SUBPORTS; section < SECTIONS; section++) {
        Section s = static_cast<Section>(section);
        for (uint32_t i : gone[s])
            c.entries.push_back({s, '-', record_label(*before[i], p.old_nth[i]), {}});
        for (uint32_t i : differing[s]) {
            if (p.partner[i] == Pairing::none)
                c.entries.push_back({s, '+', record_label(*after[i], p.nth[i]), {}});
            else if (auto fields = field_changes(describe_record(module, *before[p.partner[i]]),
                                                 describe_record(module, *after[i]));
                     !fields.empty())
                c.entries.push_back({s, '~', record_label(*after[i], p.nth[i]), std::move(fields)});
        }
    }
}

void compare_changed_records(Comparison &c, const Module &module,
                             const RecordList &before, const Plan &plan) {
    // Every other record is the same on both sides: the records the plan
    // touched, each in its configuration's order, compare as the whole would.
    RecordList old_records, new_records;
    for (const Record *record : before)
        if (plan.by_before.find(record)) old_records.push_back(record);
    for (const Record *record : plan.result)
        if (plan.by_after.find(record)) new_records.push_back(record);
    compare_records(c, module, old_records, new_records);
}

namespace {

// Whether two lists hold the very same records, in any order. A running host
// keeps most of them in the configuration's order: the lists are walked side
// by side, and a record out of step waits, counted, until the other side
// reaches it. Only records out of place take room.
bool same_records(const RecordList &mine, const RecordList &theirs) {
    if (mine.size() != theirs.size()) return false;
    using Waiting = std::unordered_map<const Record *, size_t>;
    Waiting mine_waiting, theirs_waiting;
    auto meet = [](Waiting &waiting, const Record *record) {
        auto at = waiting.find(record);
        if (at == waiting.end()) return false;
        if (--at->second == 0) waiting.erase(at);
        return true;
    };
    size_t i = 0, j = 0;
    while (i < mine.size() && j < theirs.size()) {
        if (mine[i] == theirs[j]) {
            i++;
            j++;
        } else if (meet(theirs_waiting, mine[i])) {
            i++;
        } else if (meet(mine_waiting, theirs[j])) {
            j++;
        } else {
            mine_waiting[mine[i++]]++;
            theirs_waiting[theirs[j++]]++;
        }
    }
    for (; i < mine.size(); i++)
        if (!meet(theirs_waiting, mine[i])) return false;
    for (; j < theirs.size(); j++)
        if (!meet(mine_waiting, theirs[j])) return false;
    return mine_waiting.empty() && theirs_waiting.empty();
}

} // namespace

void compare_running_records(Comparison &c, const Module &module,
                             const RecordList &running,
                             const RecordList &configuration) {
    // The configuration's records section by section, each in its order: as
    // a running model keeps them.
    size_t start[SECTIONS + 1] = {};
    for (const Record *record : configuration)
        if (Section s = section_of(*record); s != SECTIONS) start[s + 1]++;
    for (int section = SUBPORTS; section < SECTIONS; section++)
        start[section + 1] += start[section];
    RecordList theirs(start[SECTIONS]);
    for (const Record *record : configuration)
        if (Section s = section_of(*record); s != SECTIONS) theirs[start[s]++] = record;
    if (!same_records(running, theirs)) compare_records(c, module, running, configuration);
}

namespace {

std::string value_text(const ojson &value) {
    return value.is_null() ? "absent" : json_text(value, -1);
}

} // namespace

void print_comparison(std::ostream &out, const Comparison &c, Sides sides, const char *indent) {
    const std::string in = indent;
    if (c.same()) {
        out << in << "no difference\n";
        return;
    }
    int shown = -1;
    for (const Comparison::Entry &e : c.entries) {
        if (e.section != shown) out << in << section_titles[shown = e.section] << "\n";
        out << in << "  " << e.change << " " << escaped(e.label)
            << (e.change == '+'   ? std::string(": ") + sides.after + " only"
                : e.change == '-' ? std::string(": ") + sides.before + " only"
                                  : std::string())
            << "\n";
        for (const Comparison::Field &f : e.fields)
            out << in << "      " << f.name << ": " << sides.before << " " << value_text(f.before)
                << ", " << sides.after << " " << value_text(f.after) << "\n";
    }
    auto derived = [&](const char *title, const std::vector<Comparison::Lookup> &list) {
        if (!list.empty()) out << in << title << "\n";
        for (const Comparison::Lookup &l : list)
            out << in << "  " << escaped(l.question) << ": " << sides.before << " " << l.before
                << ", " << sides.after << " " << l.after << "\n";
    };
    if (!c.order.empty()) out << in << "Order, from the first entry out of place\n";
    for (const Comparison::Lookup &l : c.order)
        out << in << "  " << escaped(l.question) << ": " << sides.before << " " << escaped(l.before)
            << ", " << sides.after << " " << escaped(l.after) << "\n";
    derived("Native VLAN", c.native_vlan);
    derived("Xnetgroup counts", c.xnetgroup_counts);
    if (!c.lookups.empty()) out << in << "Lookups\n";
    for (const Comparison::Lookup &l : c.lookups)
        out << in << "  " << escaped(l.question) << ": " << sides.before << " " << escaped(l.before)
            << ", " << sides.after << " " << escaped(l.after) << "\n";
}

ojson comparison_json(const Comparison &c, Sides sides) {
    ojson entries = ojson::array();
    for (const Comparison::Entry &e : c.entries) {
        ojson entry = {{"section", section_names[e.section]},
                       {"change", e.change == '+'   ? std::string(sides.after) + " only"
                                  : e.change == '-' ? std::string(sides.before) + " only"
                                                    : std::string("differs")},
                       {"entry", e.label}};
        if (e.change == '~') {
            ojson fields = ojson::array();
            for (const Comparison::Field &f : e.fields)
                fields.push_back({{"field", f.name}, {sides.before, f.before}, {sides.after, f.after}});
            entry["fields"] = fields;
        }
        entries.push_back(entry);
    }
    auto pairs = [&](const std::vector<Comparison::Lookup> &list, const char *what) {
        ojson out = ojson::array();
        for (const Comparison::Lookup &l : list)
            out.push_back({{what, l.question}, {sides.before, l.before}, {sides.after, l.after}});
        return out;
    };
    // Counts as the numbers they are, as in the entries' fields.
    ojson counts = ojson::array();
    for (const Comparison::Lookup &l : c.xnetgroup_counts)
        counts.push_back({{"entry", l.question},
                          {sides.before, ojson::parse(l.before)},
                          {sides.after, ojson::parse(l.after)}});
    std::vector<Comparison::Lookup> ports;
    std::copy_if(c.ports.begin(), c.ports.end(), std::back_inserter(ports),
                 [](const Comparison::Lookup &l) { return l.before != l.after; });
    return {{"same", c.same()},
            {"entries", entries},
            {"order", pairs(c.order, "list")},
            {"native_vlan", pairs(c.native_vlan, "entry")},
            {"xnetgroup_counts", counts},
            {"lookups", pairs(c.lookups, "lookup")},
            {"ports", pairs(ports, "lookup")}};
}

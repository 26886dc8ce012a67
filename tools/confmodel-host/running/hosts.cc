#include "running/hosts.h"

#include "confmodel_lists.h"
#include "running/labels.h"

#include <algorithm>
#include <array>
#include <set>
#include <unordered_set>

namespace {

const char *const host_names[] = {"simple", "faithful"};

// What the plan does to a record of the configuration before it, or null.
const Plan::Touched *touched(const Plan &plan, const Record &record) {
    return plan.by_before.find(&record);
}

// The cause of the change that brings this record, or null when it was
// there before.
const std::string *changed_to(const Plan &plan, const Record &record) {
    const Plan::Touched *t = plan.by_after.find(&record);
    return t == nullptr ? nullptr : &t->cause;
}

const char *goes(const Plan::Touched &t) {
    return t.after == nullptr ? " is removed" : " changes";
}

} // namespace

const char *host_name(Host host) {
    return host_names[static_cast<int>(host)];
}

class HostPolicies {
  public:
    static Applied apply(HostModel &model, Host host, const Plan &plan, const StepSink &step);
    static void simple(HostModel &h, const Plan &plan, const StepSink &step);
    static void faithful(HostModel &h, const Plan &plan, const StepSink &step);

  private:
    using Going = std::unordered_map<const void *, const Plan::Touched *>;
    // The entries whose record changes or goes, each with what the plan does.
    static Going going_of(const HostModel &h, const Plan &plan);
    // Tests an xnet's native VLAN again, as a step of `cause`.
    static void retest(HostModel &h, xnet_entry *xnet, const std::string &cause, const StepSink &step);
    // Releases the port groups that go, telling `after` each change's cause.
    static void release_portgroups(HostModel &h, const Going &going, const StepSink &step,
                                   const std::function<void(const std::string &)> &after);
    static void drop_port_records(HostModel &h, const Plan &plan, const StepSink &step);
    static void decode_port_records(HostModel &h, const Plan &plan, const StepSink &step);
};

Applied apply_changes(HostModel &model, Host host, const Plan &plan, const StepSink &step) {
    return HostPolicies::apply(model, host, plan, step);
}

HostPolicies::Going HostPolicies::going_of(const HostModel &h, const Plan &plan) {
    Going going;
    for (const auto &[id, t] : plan.touched)
        if (t.before != nullptr)
            if (auto entry = h.entry_of_.find(t.before); entry != h.entry_of_.end())
                going.emplace(entry->second, &t);
    return going;
}

void HostPolicies::retest(HostModel &h, xnet_entry *xnet, const std::string &cause,
                          const StepSink &step) {
    int32_t number = native_vlan_portgroup(*xnet);
    step({cause, "test the native VLAN of " + xnet_label(*xnet) +
                     (number < 0 ? " against no port group" : " against #" + std::to_string(number))});
    h.test_native_vlan(xnet, cause);
}

Applied HostPolicies::apply(HostModel &model, Host host, const Plan &plan, const StepSink &step) {
    size_t released = model.released_, created = model.created_;
    int refused = model.refused_, skipped = model.skipped_;
    model.orphans_.clear();
    if (host == Host::simple)
        HostPolicies::simple(model, plan, step);
    else
        HostPolicies::faithful(model, plan, step);
    model.orphans_.clear();
    return {model.released_ - released, model.created_ - created, model.refused_ - refused,
            model.skipped_ - skipped};
}

void HostPolicies::release_portgroups(HostModel &h, const Going &going, const StepSink &step,
                                      const std::function<void(const std::string &)> &after) {
    for (portgroup_entry *group = first_entry<portgroup_entry>(h.module_.portgroups), *next;
         group != nullptr; group = next) {
        next = next_entry(group);
        if (auto t = going.find(group); t != going.end()) {
            step({t->second->cause, "release " + portgroup_label(*group)});
            h.release_portgroup(group);
            after(t->second->cause);
        }
    }
}

void HostPolicies::drop_port_records(HostModel &h, const Plan &plan, const StepSink &step) {
    if (h.parts_ == HostModel::Parts::lists) return;
    auto drop = [&](auto &records, auto release) {
        records.erase(std::remove_if(records.begin(), records.end(),
                                     [&](auto &r) {
                                         // A record of the configuration before.
                                         const Plan::Touched *t = touched(plan, *r.record);
                                         if (t == nullptr) return false;
                                         step({t->cause, "release " + describe_phrase(*r.record)});
                                         release(r);
                                         return true;
                                     }),
                      records.end());
    };
    drop(h.subports_, [&](Subport &s) { h.module_.free_subport_data(&s.data); });
    drop(h.port_protects_, [](PortProtect &) {});
    drop(h.subport_protects_, [](SubportProtect &) {});
}

void HostPolicies::decode_port_records(HostModel &h, const Plan &plan, const StepSink &step) {
    if (h.parts_ == HostModel::Parts::lists) return;
    std::vector<std::pair<const Record *, const std::string *>> decoding;
    HostModel::PortRecordCounts more;
    for (const Record *record : plan.result)
        if (is_port_record(record->table))
            if (const std::string *cause = changed_to(plan, *record)) {
                decoding.emplace_back(record, cause);
                more.count(record->table);
            }
    h.reserve(more);
    for (const auto &[record, cause] : decoding) {
        step({*cause, "decode " + describe_phrase(*record)});
        h.decode(*record, *cause);
    }
}

// The simple host, in this order:
//  1. it releases the xnetgroups whose record changes or goes, those filed
//     under an xnet that changes or goes or under the name of an xnet record
//     that does, and those bound to a port group that changes or goes (their
//     copies of the group would go stale, and the group's pointer must not
//     dangle);
//  2. then the xnets, 3. then the port groups, 4. and the port records;
//  5. then it creates in the module's order, each at the tail of its list:
//     port groups, xnets, xnetgroups (changed, added, and those released in 1
//     whose records remain, filed again under the xnet re-created for the
//     one they were filed under);
//  6. it tests again the native VLAN of every xnet whose xnetgroups changed
//     or that was created; 7. it decodes the port records again.
// A record the module turned away stays away until a restart.
void HostPolicies::simple(HostModel &h, const Plan &plan, const StepSink &step) {
    const Module &m = h.module_;

    // What goes, and which change makes it go.
    const Going going = going_of(h, plan);
    std::unordered_map<std::string, const Plan::Touched *> xnet_names; // of xnet records that go
    for (const auto &[id, t] : plan.touched)
        if (t.before != nullptr && is_xnet(t.before->table)) xnet_names.emplace(t.before->column(0), &t);

    // 1. Xnetgroups.
    std::unordered_map<const Record *, std::string> recreate;
    // Xnets to test again, with the first change that asks for it.
    std::unordered_map<xnet_entry *, std::string> to_retest;
    CONFMODEL_LIST_FOREACH(xnet_entry, xnet, m.xnets) {
        for (xnetgroup_entry *group = first_entry<xnetgroup_entry>(&xnet->xnetgroups), *next;
             group != nullptr; group = next) {
            next = next_entry(group);
            const Record &record = h.origin(group);
            const Plan::Touched *t = touched(plan, record);
            const bool own_change = t != nullptr;
            Phrase why;
            if (own_change) {
                why = std::string("its record") + goes(*t);
            } else if (auto x = going.find(xnet); x != going.end()) {
                t = x->second;
                why = "its xnet " + Phrase::name(xnet->pathname) + goes(*t);
            } else if (auto name = xnet_names.find(std::string(record.xnet()));
                       name != xnet_names.end()) {
                t = name->second;
                why = "the xnet record it names" + std::string(goes(*t));
            } else if (auto g = going.find(group->portgroup); g != going.end()) {
                t = g->second;
                why = "its " + portgroup_label(*group->portgroup) + goes(*t);
            } else {
                continue;
            }
            step({t->cause, "release " + xnetgroup_label(record, xnet) + ": " + why});
            if (!own_change) recreate.emplace(&record, t->cause);
            to_retest.emplace(xnet, t->cause);
            h.release_xnetgroup(group);
        }
    }

    // 2. Xnets, and the names their records filed xnetgroups under; the
    // names filed under a released xnet go to the one created for its record.
    std::unordered_map<const Record *, std::vector<std::string>> refile;
    for (xnet_entry *xnet = first_entry<xnet_entry>(m.xnets), *next; xnet != nullptr; xnet = next) {
        next = next_entry(xnet);
        if (auto at = going.find(xnet); at != going.end()) {
            step({at->second->cause, "release " + xnet_label(*xnet)});
            to_retest.erase(xnet); // a later entry may take its address
            if (auto names = h.filed_names_.find(xnet); names != h.filed_names_.end())
                refile[&h.origin(xnet)] = names->second;
            h.release_xnet(xnet);
        }
    }
    for (const auto &[name, t] : xnet_names)
        h.filed_under_.erase(name);

    // 3. Port groups.
    release_portgroups(h, going, step, [](const std::string &) {});

    // 4. Port records.
    drop_port_records(h, plan, step);

    // 5. Creation, in store order within each kind.
    for (const Record *record : plan.result)
        if (record->table == Table::portgroup)
            if (const std::string *cause = changed_to(plan, *record)) {
                step({*cause, "create " + describe_phrase(*record)});
                h.create_portgroup(*record, *cause);
            }
    for (const Record *record : plan.result)
        if (is_xnet(record->table))
            if (const std::string *cause = changed_to(plan, *record)) {
                step({*cause, "create " + describe_phrase(*record)});
                h.create_xnet(*record, *cause);
                h.file_xnet(*record);
                if (auto at = h.entry_of_.find(record); at != h.entry_of_.end())
                    to_retest.emplace(static_cast<xnet_entry *>(at->second), *cause);
            }
    for (const auto &[id, t] : plan.touched) {
        auto names = t.before != nullptr ? refile.find(t.before) : refile.end();
        if (names == refile.end() || t.after == nullptr) continue;
        auto *entry = static_cast<xnet_entry *>(h.answer_[t.after]);
        for (const std::string &name : names->second)
            if (h.filed_under_.emplace(name, entry).second && entry != nullptr)
                h.filed_names_[entry].push_back(name);
    }
    for (const Record *record : plan.result) {
        if (!is_xnetgroup(record->table)) continue;
        const std::string *cause = changed_to(plan, *record);
        auto again = recreate.find(record);
        if (cause == nullptr && again == recreate.end()) continue;
        if (cause == nullptr) cause = &again->second;
        xnet_entry *parent = h.filed_under(*record);
        Phrase label = xnetgroup_label(*record, parent);
        step({*cause, again != recreate.end()
                          ? "re-create " + label + " (" + Phrase::place(where(*record)) + ")"
                          : "create " + label});
        if (parent == nullptr) {
            step({*cause, "skip " + label + ": its xnet is not in the running model"});
            h.skipped_++;
            continue;
        }
        h.create_xnetgroup(*record, parent, *cause);
        to_retest.emplace(parent, *cause);
    }

    // 6. The native-VLAN test, once for each xnet still listed.
    CONFMODEL_LIST_FOREACH(xnet_entry, xnet, m.xnets) {
        auto at = to_retest.find(xnet);
        if (at != to_retest.end()) retest(h, xnet, at->second, step);
    }

    // 7. Port records.
    decode_port_records(h, plan, step);
}

namespace {

// Where each record of the changed configuration stands in it.
using Positions = std::unordered_map<const Record *, size_t>;

// Moves an entry the module appended to where a fresh start lists it: before
// the first entry whose record stands later. Returns that entry, or null
// when the tail is its place.
template <typename Entry>
Entry *place(list_head *head, Entry *entry, const Positions &at, const HostModel &h) {
    size_t position = at.at(&h.origin(entry));
    CONFMODEL_LIST_FOREACH(Entry, e, head) {
        if (e != entry && at.at(&h.origin(e)) > position) {
            confmodel_list_unlink(head, entry);
            confmodel_list_insert_before(head, e, entry);
            return e;
        }
    }
    return nullptr;
}

} // namespace

// The faithful host, in this order:
//  1. it releases the entries whose record changes or goes, each after what
//     depends on it: an xnet's xnetgroups, a port group's bound xnetgroups;
//  2. it creates, in store order, every port-group record that has no answer
//     from the module: those changed or added, and those whose answer (the
//     entry they duplicated) was released. A new entry is moved to where a
//     fresh start lists it. When the module answers a duplicate with an
//     entry whose record stands later, a fresh start would list this record
//     and not that one: the host releases that entry (with its bound
//     xnetgroups) and creates the record again;
//  3. the same for xnets, by VLAN id, each released with its xnetgroups;
//  4. it files every xnet record's pathname anew, as a fresh start does;
//  5. it goes through the xnetgroup records in store order: an entry filed
//     under another xnet than its record's name now finds, or bound to
//     another port group than its column 6 now finds by name, is released;
//     a record without an entry is created when it is new, lost its entry,
//     or now finds its port group, and is moved where a fresh start lists it;
//  6. it tests again the native VLAN of every xnet created or whose first
//     xnetgroup changed; 7. it decodes the changed port records, kept in
//     store order.
void HostPolicies::faithful(HostModel &h, const Plan &plan, const StepSink &step) {
    const Module &m = h.module_;
    // Positions of the records of the module's lists, which are few; port
    // records keep their order by a walk below.
    Positions at;
    for (size_t i = 0; i < plan.result.size(); i++)
        if (!is_port_record(plan.result[i]->table) && plan.result[i]->table != Table::remote_device)
            at[plan.result[i]] = i;

    // Why each entry was created here, and why each record lost its entry
    // or its answer; and each xnet's first xnetgroup, which the native-VLAN
    // test depends on (a port group that changes takes the xnetgroups bound
    // to it along, so the group a test finds by number changes only with it).
    std::unordered_map<const void *, std::string> created;
    std::unordered_map<const Record *, std::string> lost;
    std::unordered_map<const xnet_entry *, std::string> xnetgroups_changed;
    std::unordered_map<const xnet_entry *, const xnetgroup_entry *> first_before;
    CONFMODEL_LIST_FOREACH(xnet_entry, x, m.xnets) {
        first_before[x] = first_entry<xnetgroup_entry>(&x->xnetgroups);
    }
    auto note_orphans = [&](const std::string &cause) {
        for (const Record *record : h.orphans_)
            lost.emplace(record, cause);
        h.orphans_.clear();
    };
    auto cause_of = [&](const void *entry, const Record &record) {
        if (auto c = created.find(entry); c != created.end()) return c->second;
        if (auto l = lost.find(&record); l != lost.end()) return l->second;
        return where(record);
    };
    // Releases the xnetgroups for which `why` has a reason, in one pass.
    auto release_xnetgroups = [&](auto why) {
        CONFMODEL_LIST_FOREACH(xnet_entry, xnet, m.xnets) {
            for (xnetgroup_entry *group = first_entry<xnetgroup_entry>(&xnet->xnetgroups), *next;
                 group != nullptr; group = next) {
                next = next_entry(group);
                const Record &record = h.origin(group);
                std::optional<Step> reason = why(record, *xnet, *group);
                if (!reason) continue;
                step({reason->cause, "release " + xnetgroup_label(record, xnet) + ": " + reason->what});
                lost.emplace(&record, reason->cause);
                xnetgroups_changed.emplace(xnet, reason->cause);
                h.release_xnetgroup(group);
            }
        }
    };

    // 1. Entries whose record changes or goes, after what depends on them.
    const Going going = going_of(h, plan);
    release_xnetgroups([&](const Record &record, const xnet_entry &xnet,
                           const xnetgroup_entry &group) -> std::optional<Step> {
        if (const Plan::Touched *t = touched(plan, record))
            return Step{t->cause, std::string("its record") + goes(*t)};
        if (auto x = going.find(&xnet); x != going.end())
            return Step{x->second->cause, "its xnet " + Phrase::name(xnet.pathname) + goes(*x->second)};
        if (auto g = going.find(group.portgroup); g != going.end())
            return Step{g->second->cause, "its " + portgroup_label(*group.portgroup) + goes(*g->second)};
        return std::nullopt;
    });
    for (xnet_entry *xnet = first_entry<xnet_entry>(m.xnets), *next; xnet != nullptr; xnet = next) {
        next = next_entry(xnet);
        if (auto t = going.find(xnet); t != going.end()) {
            step({t->second->cause, "release " + xnet_label(*xnet)});
            h.release_xnet(xnet);
            note_orphans(t->second->cause);
        }
    }
    release_portgroups(h, going, step, note_orphans);
    drop_port_records(h, plan, step);

    // 2 and 3. Port groups, then xnets: every record without an answer from
    // the module, in store order.
    auto settle = [&](bool (*matches)(Table), list_head *head, auto create, auto label,
                      auto release) {
        std::set<std::pair<size_t, const Record *>> queue;
        for (const Record *record : plan.result)
            if (matches(record->table) && !h.answer_.count(record))
                queue.emplace(at.at(record), record);
        while (!queue.empty()) {
            const Record &record = *queue.begin()->second;
            queue.erase(queue.begin());
            const std::string *change = changed_to(plan, record);
            const std::string cause = change != nullptr ? *change : cause_of(nullptr, record);
            step({cause, change != nullptr
                             ? "create " + describe_phrase(record)
                             : "create " + describe_phrase(record) + " (" +
                                   Phrase::place(where(record)) +
                                   ") again: the entry that answered it is released"});
            auto *entry = create(record, cause);
            if (entry == nullptr) continue;
            const Record &listed = h.origin(entry);
            if (&listed == &record) {
                created.emplace(entry, cause);
                if (auto *before = place(head, entry, at, h))
                    step({cause, "move it before " + label(*before) + ", where a fresh start lists it"});
            } else if (at.at(&listed) > at.at(&record)) {
                // A fresh start lists this record, and the later one
                // duplicates it.
                step({cause, "release " + label(*entry) + ": its record (" +
                                 Phrase::place(where(listed)) + ") stands after this one"});
                release(entry, cause);
                for (const Record *orphan : h.orphans_)
                    if (at.count(orphan)) queue.emplace(at.at(orphan), orphan);
                note_orphans(cause);
            }
        }
    };
    settle([](Table t) { return t == Table::portgroup; }, m.portgroups,
           [&](const Record &r, const std::string &cause) { return h.create_portgroup(r, cause); },
           portgroup_label, [&](portgroup_entry *group, const std::string &cause) {
               release_xnetgroups([&](const Record &, const xnet_entry &,
                                      const xnetgroup_entry &g) -> std::optional<Step> {
                   if (g.portgroup != group) return std::nullopt;
                   return Step{cause, "its " + portgroup_label(*group) + " is released"};
               });
               h.release_portgroup(group);
           });
    settle(is_xnet, m.xnets,
           [&](const Record &r, const std::string &cause) { return h.create_xnet(r, cause); },
           xnet_label, [&](xnet_entry *xnet, const std::string &cause) {
               release_xnetgroups([&](const Record &, const xnet_entry &x,
                                      const xnetgroup_entry &) -> std::optional<Step> {
                   if (&x != xnet) return std::nullopt;
                   return Step{cause, "its xnet " + Phrase::name(x.pathname) + " is released"};
               });
               h.release_xnet(xnet);
           });
    // 4. Every xnet record's pathname filed anew.
    h.filed_under_.clear();
    h.filed_names_.clear();
    for (const Record *record : plan.result)
        if (is_xnet(record->table)) h.file_xnet(*record);

    // 5. Xnetgroups, in store order.
    release_xnetgroups([&](const Record &record, const xnet_entry &xnet,
                           const xnetgroup_entry &group) -> std::optional<Step> {
        if (const xnet_entry *parent = h.filed_under(record); parent != &xnet)
            return Step{cause_of(parent, record),
                        parent != nullptr ? "its record's xnet is " + Phrase::name(parent->pathname) + " now"
                                          : Phrase("its record's xnet is not listed now")};
        const portgroup_entry *bound = record.has(6) ? m.find_portgrp_by_name(record.column(6)) : nullptr;
        if (bound == group.portgroup) return std::nullopt;
        return Step{cause_of(bound, record),
                    bound != nullptr ? "its port group by name is " + portgroup_label(*bound) + " now"
                                     : Phrase("no port group has the name of its port group now")};
    });
    for (const Record *record : plan.result) {
        if (!is_xnetgroup(record->table) || h.entry_of_.count(record)) continue;
        xnet_entry *parent = h.filed_under(*record);
        portgroup_entry *bound =
            parent != nullptr && record->has(6) ? m.find_portgrp_by_name(record->column(6)) : nullptr;
        const std::string *change = changed_to(plan, *record);
        auto why = lost.find(record);
        Phrase label = xnetgroup_label(*record, parent);
        std::string cause;
        Phrase what;
        if (change != nullptr) {
            cause = *change;
            what = "create " + label;
        } else if (why != lost.end()) {
            cause = why->second;
            what = "re-create " + label + " (" + Phrase::place(where(*record)) + ")";
        } else if (bound != nullptr) {
            // Turned away before, for want of its port group.
            cause = cause_of(bound, *record);
            what = "create " + label + " (" + Phrase::place(where(*record)) + ") again: " +
                   portgroup_label(*bound) + " is listed now";
        } else {
            continue; // turned away before, and would be again
        }
        step({cause, what});
        if (parent == nullptr) {
            step({cause, "skip " + label + ": its xnet is not in the running model"});
            h.skipped_++;
            continue;
        }
        xnetgroup_entry *entry = h.create_xnetgroup(*record, parent, cause);
        if (entry == nullptr) continue;
        created.emplace(entry, cause);
        xnetgroups_changed.emplace(parent, cause);
        if (xnetgroup_entry *before = place(&parent->xnetgroups, entry, at, h))
            step({cause, "move it before " + xnetgroup_label(h.origin(before), parent) +
                             ", where a fresh start lists it"});
    }

    // 6. The native-VLAN test, wherever its answer can change.
    CONFMODEL_LIST_FOREACH(xnet_entry, xnet, m.xnets) {
        const xnetgroup_entry *first = first_entry<xnetgroup_entry>(&xnet->xnetgroups);
        auto before = first_before.find(xnet);
        const std::string *cause =
            created.count(xnet)                                         ? &created.at(xnet)
            : before->second != first || created.count(before->second) ? &xnetgroups_changed.at(xnet)
                                                                        : nullptr;
        if (cause != nullptr) retest(h, xnet, *cause, step);
    }

    // 7. Port records, in store order.
    // Those kept stand in store order already, and the decoded ones, in
    // store order too, follow them: one walk through the configuration
    // merges the two.
    std::array<size_t, 3> kept = {h.subports_.size(), h.port_protects_.size(),
                                  h.subport_protects_.size()};
    decode_port_records(h, plan, step);
    auto in_order = [&](auto &records, size_t kept, Table table) {
        if (records.size() == kept) return; // nothing decoded
        std::remove_reference_t<decltype(records)> merged;
        merged.reserve(records.size());
        size_t old = 0, decoded = kept;
        for (const Record *record : plan.result) {
            if (record->table != table) continue;
            if (decoded < records.size() && records[decoded].record == record)
                merged.push_back(records[decoded++]);
            else if (old < kept && records[old].record == record)
                merged.push_back(records[old++]);
        }
        records.swap(merged);
    };
    in_order(h.subports_, kept[0], Table::subport);
    in_order(h.port_protects_, kept[1], Table::port_protect);
    in_order(h.subport_protects_, kept[2], Table::subport_protect);
}

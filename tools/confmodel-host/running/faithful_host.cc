// The faithful host: it keeps the running model equal to a fresh start of
// the changed configuration, following the recipe of docs/changes.md:
//  1. release what changes or goes, each entry after what depends on it;
//  2. port groups, in store order: every record without an answer from the
//     module is created, a new entry moved where a fresh start lists it, and
//     an entry that answers it as a duplicate but stands later displaced;
//  3. xnets, in store order, the same way;
//  4. every xnet record's pathname filed anew;
//  5. xnetgroups, in store order: those filed under another xnet or bound
//     to another port group now are released, and a record without an entry
//     is created when it is new, lost its entry, or now finds its port group;
//  6. the native VLAN tested again wherever its answer can change;
//  7. the changed port records decoded, and all kept in store order.
#include "running/host_steps.h"

#include "running/labels.h"

#include <set>

namespace {

class FaithfulHost {
  public:
    FaithfulHost(HostModel &model, const Plan &plan, const StepSink &step)
        : model_(model), plan_(plan), step_(step), going_(going_of(model, plan)) {
        // Positions of the records of the module's lists, which are few; port
        // records keep their order by a walk (7).
        for (size_t i = 0; i < plan.lists.size(); i++)
            at_[plan.lists[i]] = i;
        CONFMODEL_LIST_FOREACH(xnet_entry, x, model.module().xnets) {
            first_before_[x] = first_entry<xnetgroup_entry>(&x->xnetgroups);
        }
    }

    void run() {
        release_what_changes_or_goes();
        create_portgroups_in_store_order();
        create_xnets_in_store_order();
        file_xnet_pathnames_anew();
        release_xnetgroups_bound_otherwise();
        create_xnetgroups_in_store_order();
        test_native_vlans();
        keep_port_records_in_store_order();
    }

  private:
    // 1. Release what changes or goes, after what depends on it.
    void release_what_changes_or_goes() {
        release_xnetgroups(
            model_, step_,
            [&](const Record &record, const xnet_entry &xnet,
                const xnetgroup_entry &group) -> std::optional<Step> {
                if (const Plan::Touched *t = touched(plan_, record))
                    return Step{t->cause, std::string("its record") + goes(*t)};
                if (auto x = going_.find(&xnet); x != going_.end())
                    return Step{x->second->cause, "its xnet " + Phrase::name(xnet.pathname) + goes(*x->second)};
                if (auto g = going_.find(group.portgroup); g != going_.end())
                    return Step{g->second->cause, "its " + portgroup_label(*group.portgroup) + goes(*g->second)};
                return std::nullopt;
            },
            xnetgroup_released());
        for (xnet_entry *xnet = first_entry<xnet_entry>(model_.module().xnets), *next; xnet != nullptr;
             xnet = next) {
            next = next_entry(xnet);
            if (auto t = going_.find(xnet); t != going_.end()) {
                step_({t->second->cause, "release " + xnet_label(*xnet)});
                lose_answers(t->second->cause, model_.release_xnet(xnet));
            }
        }
        release_portgroups(model_, going_, step_,
                           [&](const std::string &cause, const RecordList &lost) { lose_answers(cause, lost); });
        release_port_records(model_, plan_, step_);
    }

    // 2. Port groups, in store order.
    void create_portgroups_in_store_order() {
        create_in_store_order(
            [](Table t) { return t == Table::portgroup; }, model_.module().portgroups,
            [&](const Record &r, const std::string &cause) { return model_.create_portgroup(r, cause); },
            portgroup_label,
            [&](portgroup_entry *group, const std::string &cause) { return release_displaced(group, cause); });
    }

    // 3. Xnets, in store order.
    void create_xnets_in_store_order() {
        create_in_store_order(
            is_xnet, model_.module().xnets,
            [&](const Record &r, const std::string &cause) { return model_.create_xnet(r, cause); },
            xnet_label, [&](xnet_entry *xnet, const std::string &cause) { return release_displaced(xnet, cause); });
    }

    // 2 and 3. Every record of a kind without an answer from the module, in
    // store order: changed and added ones, and those that lost theirs.
    template <typename Create, typename Label, typename Release>
    void create_in_store_order(bool (*matches)(Table), list_head *list, Create create, Label label,
                               Release release) {
        std::set<std::pair<size_t, const Record *>> queue;
        for (const Record *record : plan_.lists)
            if (matches(record->table) && !model_.has_answer(*record)) queue.emplace(at_.at(record), record);
        while (!queue.empty()) {
            const Record &record = *queue.begin()->second;
            queue.erase(queue.begin());
            const std::string *change = changed_to(plan_, record);
            const std::string cause = change != nullptr ? *change : cause_of(nullptr, record);
            step_({cause, change != nullptr ? "create " + describe_phrase(record)
                                            : "create " + describe_phrase(record) + " (" +
                                                  Phrase::place(where(record)) +
                                                  ") again: the entry that answered it is released"});
            auto *entry = create(record, cause);
            if (entry == nullptr) continue;
            const Record &listed = model_.origin(entry);
            if (&listed == &record) {
                created_.emplace(entry, cause);
                if (auto *before = place(list, entry))
                    step_({cause, "move it before " + label(*before) + ", where a fresh start lists it"});
            } else if (at_.at(&listed) > at_.at(&record)) {
                // A fresh start lists this record, and the later one
                // duplicates it.
                step_({cause, "release " + label(*entry) + ": its record (" + Phrase::place(where(listed)) +
                                  ") stands after this one"});
                RecordList lost = release(entry, cause);
                for (const Record *orphan : lost)
                    if (at_.count(orphan)) queue.emplace(at_.at(orphan), orphan);
                lose_answers(cause, lost);
            }
        }
    }

    // A displaced port group, after the xnetgroups bound to it.
    RecordList release_displaced(portgroup_entry *group, const std::string &cause) {
        release_xnetgroups(
            model_, step_,
            [&](const Record &, const xnet_entry &, const xnetgroup_entry &g) -> std::optional<Step> {
                if (g.portgroup != group) return std::nullopt;
                return Step{cause, "its " + portgroup_label(*group) + " is released"};
            },
            xnetgroup_released());
        return model_.release_portgroup(group);
    }

    // A displaced xnet, after its xnetgroups.
    RecordList release_displaced(xnet_entry *xnet, const std::string &cause) {
        release_xnetgroups(
            model_, step_,
            [&](const Record &, const xnet_entry &x, const xnetgroup_entry &) -> std::optional<Step> {
                if (&x != xnet) return std::nullopt;
                return Step{cause, "its xnet " + Phrase::name(x.pathname) + " is released"};
            },
            xnetgroup_released());
        return model_.release_xnet(xnet);
    }

    // 4. Every xnet record's pathname filed anew, as a fresh start files it.
    void file_xnet_pathnames_anew() {
        model_.unfile_all();
        for (const Record *record : plan_.lists)
            if (is_xnet(record->table)) model_.file_xnet(*record);
    }

    // 5. Xnetgroups filed under another xnet now, or bound to another port
    // group by their column 6, are released...
    void release_xnetgroups_bound_otherwise() {
        release_xnetgroups(
            model_, step_,
            [&](const Record &record, const xnet_entry &xnet,
                const xnetgroup_entry &group) -> std::optional<Step> {
                if (const xnet_entry *parent = model_.filed_under(record); parent != &xnet)
                    return Step{cause_of(parent, record),
                                parent != nullptr ? "its record's xnet is " + Phrase::name(parent->pathname) + " now"
                                                  : Phrase("its record's xnet is not listed now")};
                const portgroup_entry *bound =
                    record.has(6) ? model_.module().find_portgrp_by_name(record.column(6)) : nullptr;
                if (bound == group.portgroup) return std::nullopt;
                return Step{cause_of(bound, record),
                            bound != nullptr ? "its port group by name is " + portgroup_label(*bound) + " now"
                                             : Phrase("no port group has the name of its port group now")};
            },
            xnetgroup_released());
    }

    // ...and the records without an entry created, in store order, where a
    // fresh start lists them.
    void create_xnetgroups_in_store_order() {
        for (const Record *record : plan_.lists) {
            if (!is_xnetgroup(record->table) || model_.entry_of(*record) != nullptr) continue;
            xnet_entry *parent = model_.filed_under(*record);
            portgroup_entry *bound = parent != nullptr && record->has(6)
                                         ? model_.module().find_portgrp_by_name(record->column(6))
                                         : nullptr;
            const std::string *change = changed_to(plan_, *record);
            auto why = lost_.find(record);
            Phrase label = xnetgroup_label(*record, parent);
            std::string cause;
            Phrase what;
            if (change != nullptr) {
                cause = *change;
                what = "create " + label;
            } else if (why != lost_.end()) {
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
            step_({cause, what});
            if (parent == nullptr) {
                step_({cause, "skip " + label + ": its xnet is not in the running model"});
                model_.count_skipped();
                continue;
            }
            xnetgroup_entry *entry = model_.create_xnetgroup(*record, parent, cause);
            if (entry == nullptr) continue;
            created_.emplace(entry, cause);
            xnetgroups_changed_.emplace(parent, cause);
            if (xnetgroup_entry *before = place(&parent->xnetgroups, entry))
                step_({cause, "move it before " + xnetgroup_label(model_.origin(before), parent) +
                                  ", where a fresh start lists it"});
        }
    }

    // 6. The native-VLAN test of every xnet created, and of every xnet whose
    // first xnetgroup is another entry now. A port group that changes takes
    // the xnetgroups bound to it along, so the group a test finds by number
    // changes only with the first xnetgroup.
    void test_native_vlans() {
        CONFMODEL_LIST_FOREACH(xnet_entry, xnet, model_.module().xnets) {
            const xnetgroup_entry *first = first_entry<xnetgroup_entry>(&xnet->xnetgroups);
            auto before = first_before_.find(xnet);
            const std::string *cause =
                created_.count(xnet)                                         ? &created_.at(xnet)
                : before->second != first || created_.count(before->second) ? &xnetgroups_changed_.at(xnet)
                                                                             : nullptr;
            if (cause != nullptr) retest_native_vlan(model_, xnet, *cause, step_);
        }
    }

    // 7. The port records decoded follow those kept, both in store order:
    // merged into one.
    void keep_port_records_in_store_order() {
        HostModel::PortRecordCounts kept = model_.port_records_held();
        decode_port_records(model_, plan_, step_);
        model_.merge_port_records(kept, plan_.result);
    }

    // Moves an entry the module appended to where a fresh start lists it:
    // before the first entry whose record stands later. Returns that entry,
    // or null when the tail is its place.
    template <typename Entry> Entry *place(list_head *list, Entry *entry) {
        size_t position = at_.at(&model_.origin(entry));
        CONFMODEL_LIST_FOREACH(Entry, e, list) {
            if (e != entry && at_.at(&model_.origin(e)) > position) {
                model_.move_before(list, entry, e);
                return e;
            }
        }
        return nullptr;
    }

    XnetgroupReleased xnetgroup_released() {
        return [&](const Record &record, xnet_entry *xnet, const std::string &cause) {
            lost_.emplace(&record, cause);
            xnetgroups_changed_.emplace(xnet, cause);
        };
    }

    void lose_answers(const std::string &cause, const RecordList &records) {
        for (const Record *record : records)
            lost_.emplace(record, cause);
    }

    // The change that created an entry here, or that made a record lose its
    // entry or its answer; else the record's own place.
    std::string cause_of(const void *entry, const Record &record) const {
        if (auto c = created_.find(entry); c != created_.end()) return c->second;
        if (auto l = lost_.find(&record); l != lost_.end()) return l->second;
        return where(record);
    }

    HostModel &model_;
    const Plan &plan_;
    const StepSink &step_;
    const Going going_;
    // Where each record of the module's lists stands in the changed
    // configuration.
    std::unordered_map<const Record *, size_t> at_;
    // Why each entry was created here, and why each record lost its entry
    // or its answer.
    std::unordered_map<const void *, std::string> created_;
    std::unordered_map<const Record *, std::string> lost_;
    // Each xnet's first xnetgroup before, which the native-VLAN test depends
    // on, and the first change to its xnetgroups.
    std::unordered_map<const xnet_entry *, const xnetgroup_entry *> first_before_;
    std::unordered_map<const xnet_entry *, std::string> xnetgroups_changed_;
};

} // namespace

void run_faithful_host(HostModel &model, const Plan &plan, const StepSink &step) {
    FaithfulHost(model, plan, step).run();
}

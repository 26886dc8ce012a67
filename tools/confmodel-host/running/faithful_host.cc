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
// Each step looks only where the change can matter: at the records touched,
// those that lost their entry or answer, the pathnames whose filing changes,
// and the port groups whose pathname a change lists or unlists; a running
// host takes a commit of a few records without walking its lists' records.
#include "running/host_steps.h"

#include "running/labels.h"

#include <algorithm>
#include <set>

namespace {

class FaithfulHost {
  public:
    FaithfulHost(HostModel &model, const Plan &plan, const StepSink &step)
        : model_(model), plan_(plan), step_(step), going_(going_of(model, plan)) {
        // Positions of the records of the module's lists, unless their lines
        // are; port records keep their order by a walk (7).
        if (!plan.ordered_by_line)
            for (size_t i = 0; i < plan.lists.size(); i++)
                at_[plan.lists[i]] = i;
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
        for (const auto &[id, t] : plan_.touched)
            if (t.before != nullptr && model_.entry_of(*t.before) == nullptr) model_.forget(*t.before);
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
            xnetgroup_released(), &in_list_order(xnets_losing_xnetgroups()));
        Xnets going_xnets;
        for (const auto &[entry, t] : going_)
            if (is_xnet(t->before->table)) going_xnets.insert(static_cast<const xnet_entry *>(entry));
        for (xnet_entry *xnet : in_list_order(going_xnets)) {
            const Plan::Touched &t = *going_.at(xnet);
            tell(step_, t.cause, [&] { return "release " + xnet_label(*xnet); });
            lose_answers(t.cause, model_.release_xnet(xnet));
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
        for (const Record *record : changed_or_lost())
            if (matches(record->table) && !model_.has_answer(*record)) queue.emplace(at(*record), record);
        while (!queue.empty()) {
            const Record &record = *queue.begin()->second;
            queue.erase(queue.begin());
            const std::string *change = changed_to(plan_, record);
            const std::string cause = change != nullptr ? *change : cause_of(nullptr, record);
            tell(step_, cause, [&] {
                return change != nullptr ? "create " + describe_phrase(record)
                                         : "create " + describe_phrase(record) + " (" + Phrase::place(where(record)) +
                                               ") again: the entry that answered it is released";
            });
            auto *entry = create(record, cause);
            if (entry == nullptr) continue;
            const Record &listed = model_.origin(entry);
            if (&listed == &record) {
                created_.emplace(entry, cause);
                if (record.table == Table::portgroup) portgroups_listed_.push_back(record.column(0));
                if (auto *before = place(list, entry))
                    tell(step_, cause,
                         [&] { return "move it before " + label(*before) + ", where a fresh start lists it"; });
            } else if (at(listed) > at(record)) {
                // A fresh start lists this record, and the later one
                // duplicates it.
                tell(step_, cause, [&] {
                    return "release " + label(*entry) + ": its record (" + Phrase::place(where(listed)) +
                           ") stands after this one";
                });
                RecordList lost = release(entry, cause);
                for (const Record *orphan : lost)
                    if (in_configuration(orphan)) queue.emplace(at(*orphan), orphan);
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

    // 4. Every xnet record's pathname filed anew, as a fresh start files it:
    // those of the xnet records whose answer changed, or that came or went,
    // by the first such record in store order. The xnets they were filed
    // under are where xnetgroups may be filed otherwise now (5).
    void file_xnet_pathnames_anew() {
        for (const Record *record : answers_changed())
            if (is_xnet(record->table)) refiled_.push_back(record->column(0));
        for (const auto &[id, t] : plan_.touched)
            for (const Record *record : {t.before, t.after})
                if (record != nullptr && is_xnet(record->table)) refiled_.push_back(record->column(0));
        unique(refiled_);
        if (refiled_.empty()) return;
        for (const std::string &name : refiled_) {
            if (const xnet_entry *xnet = model_.filed_under(name)) filed_before_.insert(xnet);
            model_.unfile(name);
        }
        for (const Record *record : plan_.lists)
            if (is_xnet(record->table) && among(refiled_, record->column_text(0))) model_.file_xnet(*record);
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
            xnetgroup_released(), &in_list_order(xnets_bound_otherwise()));
    }

    // Where a xnetgroup may be filed or bound otherwise now: under the xnets
    // a refiled pathname was filed under, or bound to a port group whose
    // pathname a port group listed or released here has too (a port group
    // changes only with its record, which releases its xnetgroups in 1).
    const Xnets &xnets_bound_otherwise() {
        under_ = filed_before_;
        for (const Record *record : answers_changed())
            if (record->table == Table::portgroup) portgroups_listed_.push_back(record->column(0));
        unique(portgroups_listed_);
        std::set<const portgroup_entry *> renamed;
        if (!portgroups_listed_.empty())
            CONFMODEL_LIST_FOREACH(portgroup_entry, group, model_.module().portgroups) {
                if (among(portgroups_listed_, group->pathname)) renamed.insert(group);
            }
        if (!renamed.empty()) add_xnets_binding(renamed, under_);
        return under_;
    }

    // ...and the records without an entry created, in store order, where a
    // fresh start lists them: those changed, those that lost their entry,
    // and those turned away before that could be taken now, for their
    // xnet's pathname is filed anew or their port group's is listed.
    void create_xnetgroups_in_store_order() {
        RecordList candidates = changed_or_lost();
        if (!refiled_.empty() || !portgroups_listed_.empty())
            for (const Record *record : model_.turned_away())
                if (in_configuration(record) &&
                    ((record->has(6) && among(portgroups_listed_, record->column_text(6))) ||
                     among(refiled_, record->xnet())))
                    candidates.push_back(record);
        std::sort(candidates.begin(), candidates.end(),
                  [&](const Record *a, const Record *b) { return at(*a) < at(*b); });
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        for (const Record *record : candidates) {
            if (!is_xnetgroup(record->table) || model_.entry_of(*record) != nullptr) continue;
            xnet_entry *parent = model_.filed_under(*record);
            portgroup_entry *bound = parent != nullptr && record->has(6)
                                         ? model_.module().find_portgrp_by_name(record->column(6))
                                         : nullptr;
            const std::string *change = changed_to(plan_, *record);
            auto why = lost_.find(record);
            if (change == nullptr && why == lost_.end() && bound == nullptr)
                continue; // turned away before, and would be again
            const std::string cause =
                change != nullptr ? *change : why != lost_.end() ? why->second : cause_of(bound, *record);
            auto label = [&] { return xnetgroup_label(*record, parent); };
            tell(step_, cause, [&] {
                if (change != nullptr) return "create " + label();
                if (why != lost_.end()) return "re-create " + label() + " (" + Phrase::place(where(*record)) + ")";
                // Turned away before, for want of its port group.
                return "create " + label() + " (" + Phrase::place(where(*record)) + ") again: " +
                       portgroup_label(*bound) + " is listed now";
            });
            if (parent == nullptr) {
                tell(step_, cause, [&] { return "skip " + label() + ": its xnet is not in the running model"; });
                model_.skip_xnetgroup(*record);
                continue;
            }
            first_before_.emplace(parent, first_entry<xnetgroup_entry>(&parent->xnetgroups));
            xnetgroup_entry *entry = model_.create_xnetgroup(*record, parent, cause);
            if (entry == nullptr) continue;
            created_.emplace(entry, cause);
            xnetgroups_changed_.emplace(parent, cause);
            if (xnetgroup_entry *before = place(&parent->xnetgroups, entry))
                tell(step_, cause, [&] {
                    return "move it before " + xnetgroup_label(model_.origin(before), parent) +
                           ", where a fresh start lists it";
                });
        }
    }

    // 6. The native-VLAN test of every xnet created, and of every xnet whose
    // first xnetgroup is another entry now. A port group that changes takes
    // the xnetgroups bound to it along, so the group a test finds by number
    // changes only with the first xnetgroup.
    void test_native_vlans() {
        Xnets changed;
        for (const auto &[entry, cause] : created_)
            if (model_.listed(entry) && is_xnet(model_.origin(entry).table))
                changed.insert(static_cast<const xnet_entry *>(entry));
        for (const auto &[xnet, first] : first_before_)
            changed.insert(xnet);
        for (xnet_entry *xnet : in_list_order(changed)) {
            const xnetgroup_entry *first = first_entry<xnetgroup_entry>(&xnet->xnetgroups);
            auto before = first_before_.find(xnet);
            const std::string *cause =
                created_.count(xnet) ? &created_.at(xnet)
                : before != first_before_.end() && (before->second != first || created_.count(before->second))
                    ? &xnetgroups_changed_.at(xnet)
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
        size_t position = at(model_.origin(entry));
        CONFMODEL_LIST_FOREACH(Entry, e, list) {
            if (e != entry && at(model_.origin(e)) > position) {
                model_.move_before(list, entry, e);
                return e;
            }
        }
        return nullptr;
    }

    XnetgroupReleased xnetgroup_released() {
        return [&](const Record &record, xnet_entry *xnet, const std::string &cause) {
            lost_.emplace(&record, cause);
            first_before_.emplace(xnet, first_entry<xnetgroup_entry>(&xnet->xnetgroups));
            xnetgroups_changed_.emplace(xnet, cause);
        };
    }

    // The xnets where a xnetgroup goes in 1: under an xnet that goes, of a
    // record that goes, or bound to a port group that goes.
    const Xnets &xnets_losing_xnetgroups() {
        std::set<const portgroup_entry *> going_groups;
        for (const auto &[entry, t] : going_) {
            if (is_xnet(t->before->table)) under_.insert(static_cast<const xnet_entry *>(entry));
            if (is_xnetgroup(t->before->table)) under_.insert(static_cast<const xnetgroup_entry *>(entry)->xnet);
            if (t->before->table == Table::portgroup) going_groups.insert(static_cast<const portgroup_entry *>(entry));
        }
        if (!going_groups.empty()) add_xnets_binding(going_groups, under_);
        return under_;
    }

    // Adds the xnets holding a xnetgroup bound to one of the groups.
    void add_xnets_binding(const std::set<const portgroup_entry *> &groups, Xnets &xnets) const {
        for (const portgroup_entry *group : groups)
            for (const xnetgroup_entry *bound : model_.bound_to(group))
                xnets.insert(bound->xnet);
    }

    // The xnets named that are listed, in list order. Where the records'
    // lines are the store's order, so is the list's (a fresh start creates
    // in store order, and each step here keeps it): they are sorted, not
    // looked for in a walk of the list. The host owns the entries.
    const std::vector<xnet_entry *> &in_list_order(const Xnets &named) {
        ordered_.clear();
        if (plan_.ordered_by_line) {
            for (const xnet_entry *xnet : named)
                if (model_.listed(xnet)) ordered_.push_back(const_cast<xnet_entry *>(xnet));
            std::sort(ordered_.begin(), ordered_.end(), [&](const xnet_entry *a, const xnet_entry *b) {
                return model_.origin(a).line < model_.origin(b).line;
            });
        } else if (!named.empty()) {
            CONFMODEL_LIST_FOREACH(xnet_entry, xnet, model_.module().xnets) {
                if (named.count(xnet) != 0) ordered_.push_back(xnet);
            }
        }
        return ordered_;
    }

    // Where a record stands in the changed configuration, and whether it is
    // in it (a record of the configuration before may not be).
    size_t at(const Record &record) const { return plan_.ordered_by_line ? record.line : at_.at(&record); }
    bool in_configuration(const Record *record) const {
        if (!plan_.ordered_by_line) return at_.count(record) != 0;
        return changed_to(plan_, *record) != nullptr || touched(plan_, *record) == nullptr;
    }

    // The records of the changed configuration that the changes bring, or
    // that lost their entry or answer here.
    RecordList changed_or_lost() const {
        RecordList records;
        for (const auto &[id, t] : plan_.touched)
            if (t.after != nullptr && is_list_record(t.after->table)) records.push_back(t.after);
        for (const auto &[record, cause] : lost_)
            if (in_configuration(record)) records.push_back(record);
        return records;
    }

    // The records whose answer from the module changed here: lost, or given
    // by an entry created here.
    RecordList answers_changed() const {
        RecordList records;
        for (const auto &[record, cause] : lost_)
            records.push_back(record);
        for (const auto &[entry, cause] : created_)
            records.push_back(&model_.origin(entry));
        return records;
    }

    static void unique(std::vector<std::string> &names) {
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
    }
    static bool among(const std::vector<std::string> &names, std::string_view name) {
        return std::binary_search(names.begin(), names.end(), name);
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
    // Each xnet's first xnetgroup before its xnetgroups changed, which the
    // native-VLAN test depends on, and the first change to them.
    std::unordered_map<const xnet_entry *, const xnetgroup_entry *> first_before_;
    std::unordered_map<const xnet_entry *, std::string> xnetgroups_changed_;
    // The pathnames filed anew (4) and the xnets they were filed under; the
    // pathnames of port groups listed or released here (5); the xnets a
    // walk of xnetgroups looks under.
    std::vector<std::string> refiled_;
    Xnets filed_before_;
    std::vector<std::string> portgroups_listed_;
    Xnets under_;
    std::vector<xnet_entry *> ordered_;
};

} // namespace

void run_faithful_host(HostModel &model, const Plan &plan, const StepSink &step) {
    FaithfulHost(model, plan, step).run();
}

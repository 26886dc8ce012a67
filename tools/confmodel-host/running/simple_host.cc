// The simple host: it touches as little as it can see to touch, and leaves
// order and old refusals alone (docs/changes.md):
//  1. it releases the xnetgroups whose record changes or goes, those filed
//     under an xnet that changes or goes or under the name of an xnet record
//     that does, and those bound to a port group that changes or goes (their
//     copies of the group would go stale, and the group's pointer must not
//     dangle);
//  2. then those xnets, then those port groups, then the changed port records;
//  3. it creates the changed and added port groups, then xnets, then
//     xnetgroups (and those released in 1 whose records remain, filed again
//     under the xnet created for the record they were filed under), each at
//     the tail of its list;
//  4. it tests again the native VLAN of every xnet created or whose
//     xnetgroups changed;
//  5. it decodes the changed port records, appended to those it holds.
// A record the module turned away stays away until a restart.
#include "running/host_steps.h"

#include "running/labels.h"

namespace {

class SimpleHost {
  public:
    SimpleHost(HostModel &model, const Plan &plan, const StepSink &step)
        : model_(model), plan_(plan), step_(step), going_(going_of(model, plan)) {
        for (const auto &[id, t] : plan.touched)
            if (t.before != nullptr && is_xnet(t.before->table)) xnet_names_.emplace(t.before->column(0), &t);
    }

    void run() {
        release_touched_xnetgroups();
        release_xnets();
        release_portgroups(model_, going_, step_, [](const std::string &, const RecordList &) {});
        release_port_records(model_, plan_, step_);
        create_portgroups();
        create_xnets();
        file_names_again();
        create_xnetgroups();
        test_native_vlans();
        decode_port_records(model_, plan_, step_);
    }

  private:
    // 1. The xnetgroups a change touches, and what depends on them: those
    // released for another's change are created again, and their xnet tested.
    void release_touched_xnetgroups() {
        release_xnetgroups(
            model_, step_,
            [&](const Record &record, const xnet_entry &xnet,
                const xnetgroup_entry &group) -> std::optional<Step> {
                if (const Plan::Touched *t = touched(plan_, record))
                    return Step{t->cause, std::string("its record") + goes(*t)};
                if (auto x = going_.find(&xnet); x != going_.end())
                    return Step{x->second->cause, "its xnet " + Phrase::name(xnet.pathname) + goes(*x->second)};
                if (auto name = xnet_names_.find(std::string(record.xnet())); name != xnet_names_.end())
                    return Step{name->second->cause, "the xnet record it names" + std::string(goes(*name->second))};
                if (auto g = going_.find(group.portgroup); g != going_.end())
                    return Step{g->second->cause, "its " + portgroup_label(*group.portgroup) + goes(*g->second)};
                return std::nullopt;
            },
            [&](const Record &record, xnet_entry *xnet, const std::string &cause) {
                if (touched(plan_, record) == nullptr) recreate_.emplace(&record, cause);
                to_retest_.emplace(xnet, cause);
            });
    }

    // 2. The xnets, keeping the names their records filed xnetgroups under
    // for the xnet created for the same record; the names of the xnet
    // records that go are forgotten.
    void release_xnets() {
        for (xnet_entry *xnet = first_entry<xnet_entry>(model_.module().xnets), *next; xnet != nullptr;
             xnet = next) {
            next = next_entry(xnet);
            if (auto at = going_.find(xnet); at != going_.end()) {
                tell(step_, at->second->cause, [&] { return "release " + xnet_label(*xnet); });
                to_retest_.erase(xnet); // a later entry may take its address
                if (std::vector<std::string> names = model_.names_filed_under(xnet); !names.empty())
                    refile_[&model_.origin(xnet)] = names;
                model_.release_xnet(xnet);
            }
        }
        for (const auto &[name, t] : xnet_names_)
            model_.unfile(name);
    }

    // 3. Creation, in store order within each kind, at the tails.
    void create_portgroups() {
        for (const Record *record : plan_.result)
            if (record->table == Table::portgroup)
                if (const std::string *cause = changed_to(plan_, *record)) {
                    tell(step_, *cause, [&] { return "create " + describe_phrase(*record); });
                    model_.create_portgroup(*record, *cause);
                }
    }

    void create_xnets() {
        for (const Record *record : plan_.result)
            if (is_xnet(record->table))
                if (const std::string *cause = changed_to(plan_, *record)) {
                    tell(step_, *cause, [&] { return "create " + describe_phrase(*record); });
                    model_.create_xnet(*record, *cause);
                    model_.file_xnet(*record);
                    if (void *created = model_.entry_of(*record))
                        to_retest_.emplace(static_cast<xnet_entry *>(created), *cause);
                }
    }

    // The names filed under a released xnet go to what the module answered
    // the record that replaces its own.
    void file_names_again() {
        for (const auto &[id, t] : plan_.touched) {
            auto names = t.before != nullptr ? refile_.find(t.before) : refile_.end();
            if (names == refile_.end() || t.after == nullptr) continue;
            model_.file_names(names->second, *t.after);
        }
    }

    void create_xnetgroups() {
        for (const Record *record : plan_.result) {
            if (!is_xnetgroup(record->table)) continue;
            const std::string *cause = changed_to(plan_, *record);
            auto again = recreate_.find(record);
            if (cause == nullptr && again == recreate_.end()) continue;
            if (cause == nullptr) cause = &again->second;
            xnet_entry *parent = model_.filed_under(*record);
            auto label = [&] { return xnetgroup_label(*record, parent); };
            tell(step_, *cause, [&] {
                return again != recreate_.end() ? "re-create " + label() + " (" + Phrase::place(where(*record)) + ")"
                                                : "create " + label();
            });
            if (parent == nullptr) {
                tell(step_, *cause, [&] { return "skip " + label() + ": its xnet is not in the running model"; });
                model_.skip_xnetgroup(*record);
                continue;
            }
            model_.create_xnetgroup(*record, parent, *cause);
            to_retest_.emplace(parent, *cause);
        }
    }

    // 4. The native-VLAN test, once for each xnet still listed.
    void test_native_vlans() {
        CONFMODEL_LIST_FOREACH(xnet_entry, xnet, model_.module().xnets) {
            if (auto at = to_retest_.find(xnet); at != to_retest_.end())
                retest_native_vlan(model_, xnet, at->second, step_);
        }
    }

    HostModel &model_;
    const Plan &plan_;
    const StepSink &step_;
    // What goes, and which change makes it go; the pathnames of the xnet
    // records that go, likewise.
    const Going going_;
    std::unordered_map<std::string, const Plan::Touched *> xnet_names_;
    // Xnetgroup records released for another's change, to create again.
    std::unordered_map<const Record *, std::string> recreate_;
    // Xnets to test again, with the first change that asks for it.
    std::unordered_map<xnet_entry *, std::string> to_retest_;
    // The names filed under each released xnet, by its record.
    std::unordered_map<const Record *, std::vector<std::string>> refile_;
};

} // namespace

void run_simple_host(HostModel &model, const Plan &plan, const StepSink &step) {
    SimpleHost(model, plan, step).run();
}

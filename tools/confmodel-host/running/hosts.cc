// A running host's reaction to changed records. The module has no update and
// removes nothing, so the host unlinks and releases what a change touches and
// creates it anew, in the order the module's rules force:
//  1. xnetgroups first: those whose record changes, those filed under an xnet
//     that goes, and those bound to a port group that goes (their copies of
//     the group would go stale, and the group's pointer must not dangle);
//  2. then the xnets, 3. then the port groups, 4. and the port records;
//  5. then creation in the module's order: port groups, xnets, xnetgroups
//     (changed, added, and those released in 1 whose records remain);
//  6. the native-VLAN test of every xnet whose xnetgroups changed or that was
//     created; 7. the port records decoded again.
// A re-created entry goes to the tail of its list, where a fresh start would
// have put it in store order: the two can answer lookups differently.
#include "input/changes.h"
#include "running/model.h"
#include "model/list.h"
#include "running/labels.h"
#include "input/text.h"

#include <algorithm>
#include <unordered_set>

int HostModel::apply(const Plan &plan, const StepSink &step) {
    const Module &m = module_;
    auto touched = [&](const Record &record) -> const Plan::Touched * {
        auto at = plan.touched.find(identity(record));
        return at == plan.touched.end() ? nullptr : &at->second;
    };

    // What goes, and which change makes it go.
    std::unordered_map<const void *, std::string> going;
    std::unordered_map<std::string, std::string> xnet_names; // of xnet records that change
    for (const auto &[id, t] : plan.touched) {
        if (t.before == nullptr) continue;
        if (is_xnet(t.before->table)) xnet_names.emplace(t.before->column(0), t.cause);
        if (auto entry = entries_.find(id); entry != entries_.end())
            going.emplace(entry->second, t.cause);
    }

    // 1. Xnetgroups.
    std::unordered_map<const Record *, std::string> recreate;
    // Xnets to test again, with the first change that asks for it.
    std::unordered_map<xnet_entry *, std::string> retest;
    LIST_FOREACH(xnet_entry, xnet, m.xnets) {
        for (xnetgroup_entry *group = list_first<xnetgroup_entry>(&xnet->xnetgroups), *next;
             group != nullptr; group = next) {
            next = list_next(group);
            const Record &record = origin(group);
            std::string cause, why;
            if (const Plan::Touched *t = touched(record)) {
                cause = t->cause;
                why = t->after == nullptr ? "its record is removed" : "its record changes";
            } else if (going.count(xnet)) {
                cause = going[xnet];
                why = "its xnet changes";
            } else if (auto name = xnet_names.find(std::string(record.xnet()));
                       name != xnet_names.end()) {
                cause = name->second;
                why = "the xnet record it names changes";
            } else if (going.count(group->portgroup)) {
                cause = going[group->portgroup];
                why = "its " + portgroup_label(*group->portgroup) + " changes";
            } else {
                continue;
            }
            step(cause, "release " + xnetgroup_label(*group) + ": " + why);
            if (touched(record) == nullptr) recreate.emplace(&record, cause);
            retest.emplace(xnet, cause);
            release_xnetgroup(group);
        }
    }

    // 2. Xnets, and the names their records filed xnetgroups under.
    for (xnet_entry *xnet = list_first<xnet_entry>(m.xnets), *next; xnet != nullptr; xnet = next) {
        next = list_next(xnet);
        if (auto at = going.find(xnet); at != going.end()) {
            step(at->second, "release " + xnet_label(*xnet));
            retest.erase(xnet); // a later entry may take its address
            release_xnet(xnet);
        }
    }
    for (const auto &[name, cause] : xnet_names)
        filed_under_.erase(name);

    // 3. Port groups.
    for (portgroup_entry *group = list_first<portgroup_entry>(m.portgroups), *next;
         group != nullptr; group = next) {
        next = list_next(group);
        if (auto at = going.find(group); at != going.end()) {
            step(at->second, "release " + portgroup_label(*group));
            release_portgroup(group);
        }
    }

    // 4. Port records.
    auto drop = [&](auto &records, auto release) {
        records.erase(std::remove_if(records.begin(), records.end(),
                                     [&](auto &r) {
                                         const Plan::Touched *t = touched(*r.record);
                                         if (t == nullptr) return false;
                                         step(t->cause, "release " + describe(*r.record));
                                         release(r);
                                         return true;
                                     }),
                      records.end());
    };
    drop(subports_, [&](Subport &s) { m.free_subport_data(&s.data); });
    drop(port_protects_, [](PortProtect &) {});
    drop(subport_protects_, [](SubportProtect &) {});

    // 5. Creation, in store order within each kind.
    auto changed_to = [&](const Record &record) -> const std::string * {
        const Plan::Touched *t = touched(record);
        return t != nullptr && t->after == &record ? &t->cause : nullptr;
    };
    for (const Record *record : plan.result)
        if (record->table == Table::portgroup)
            if (const std::string *cause = changed_to(*record)) {
                step(*cause, "create " + describe(*record));
                create_portgroup(*record, *cause);
            }
    for (const Record *record : plan.result)
        if (is_xnet(record->table))
            if (const std::string *cause = changed_to(*record)) {
                step(*cause, "create " + describe(*record));
                create_xnet(*record, *cause);
                if (auto at = entries_.find(identity(*record)); at != entries_.end())
                    retest.emplace(static_cast<xnet_entry *>(at->second), *cause);
            }
    int skipped = 0;
    for (const Record *record : plan.result) {
        if (!is_xnetgroup(record->table)) continue;
        const std::string *cause = changed_to(*record);
        auto again = recreate.find(record);
        if (cause == nullptr && again == recreate.end()) continue;
        if (cause == nullptr) cause = &again->second;
        step(*cause, (again != recreate.end() ? "re-create " : "create ") + describe(*record) +
                         (again != recreate.end() ? " (" + where(*record) + ")" : ""));
        if (!create_xnetgroup(*record, *cause)) {
            step(*cause, "skip " + describe(*record) + ": its xnet is not in the running model");
            skipped++;
            continue;
        }
        retest.emplace(filed_under_.at(std::string(record->xnet())), *cause);
    }

    // 6. The native-VLAN test, once for each xnet still listed.
    LIST_FOREACH(xnet_entry, xnet, m.xnets) {
        auto at = retest.find(xnet);
        if (at == retest.end()) continue;
        int32_t number = native_vlan_portgroup(*xnet);
        step(at->second, "test the native VLAN of " + xnet_label(*xnet) +
                             (number < 0 ? " against no port group" : " against #" + std::to_string(number)));
        test_native_vlan(xnet, at->second);
    }

    // 7. Port records.
    for (const Record *record : plan.result)
        if (record->table == Table::subport || record->table == Table::port_protect ||
            record->table == Table::subport_protect)
            if (const std::string *cause = changed_to(*record)) {
                step(*cause, "decode " + describe(*record));
                decode(*record, *cause);
            }
    return skipped;
}

#include "running/host_steps.h"

#include "running/labels.h"

const Plan::Touched *touched(const Plan &plan, const Record &record) {
    return plan.touched_before(&record);
}

const std::string *changed_to(const Plan &plan, const Record &record) {
    const Plan::Touched *t = plan.touched_after(&record);
    return t == nullptr ? nullptr : &t->cause;
}

const char *goes(const Plan::Touched &t) {
    return t.after == nullptr ? " is removed" : " changes";
}

Going going_of(const HostModel &model, const Plan &plan) {
    Going going;
    for (const auto &[id, t] : plan.touched)
        if (t.before != nullptr)
            if (void *entry = model.entry_of(*t.before)) going.emplace(entry, &t);
    return going;
}

namespace {

void release_xnetgroups_under(HostModel &model, xnet_entry *xnet, const StepSink &step,
                              const XnetgroupReason &why, const XnetgroupReleased &released) {
    // The next entry is taken before this one goes.
    for (xnetgroup_entry *group = first_entry<xnetgroup_entry>(&xnet->xnetgroups), *next; group != nullptr;
         group = next) {
        next = next_entry(group);
        const Record &record = model.origin(group);
        std::optional<Step> reason = why(record, *xnet, *group);
        if (!reason) continue;
        tell(step, reason->cause, [&] { return "release " + xnetgroup_label(record, xnet) + ": " + reason->what; });
        if (released) released(record, xnet, reason->cause);
        model.release_xnetgroup(group);
    }
}

} // namespace

void release_xnetgroups(HostModel &model, const StepSink &step, const XnetgroupReason &why,
                        const XnetgroupReleased &released, const std::vector<xnet_entry *> *under) {
    if (under != nullptr) {
        for (xnet_entry *xnet : *under)
            release_xnetgroups_under(model, xnet, step, why, released);
        return;
    }
    // Releasing xnetgroups leaves the list of xnets as it is.
    CONFMODEL_LIST_FOREACH(xnet_entry, xnet, model.module().xnets) {
        release_xnetgroups_under(model, xnet, step, why, released);
    }
}

void release_portgroups(HostModel &model, const Going &going, const StepSink &step,
                        const std::function<void(const std::string &, const RecordList &)> &released) {
    for (portgroup_entry *group = first_entry<portgroup_entry>(model.module().portgroups), *next;
         group != nullptr; group = next) {
        next = next_entry(group);
        if (auto t = going.find(group); t != going.end()) {
            tell(step, t->second->cause, [&] { return "release " + portgroup_label(*group); });
            released(t->second->cause, model.release_portgroup(group));
        }
    }
}

namespace {

// Whether the plan touches a port record on that side: the walks of the
// port records are skipped when it does not.
bool touches_port_records(const Plan &plan, const Record *Plan::Touched::*side) {
    for (const auto &[id, t] : plan.touched)
        if (t.*side != nullptr && is_port_record((t.*side)->table)) return true;
    return false;
}

} // namespace

void release_port_records(HostModel &model, const Plan &plan, const StepSink &step) {
    if (!model.keeps_port_records() || !touches_port_records(plan, &Plan::Touched::before)) return;
    model.release_port_records([&](const Record &record) {
        // A record of the configuration before.
        const Plan::Touched *t = touched(plan, record);
        if (t == nullptr) return false;
        tell(step, t->cause, [&] { return "release " + describe_phrase(record); });
        return true;
    });
}

void decode_port_records(HostModel &model, const Plan &plan, const StepSink &step) {
    if (!model.keeps_port_records() || !touches_port_records(plan, &Plan::Touched::after)) return;
    std::vector<std::pair<const Record *, const std::string *>> decoding;
    HostModel::PortRecordCounts more;
    for (const Record *record : plan.result)
        if (is_port_record(record->table))
            if (const std::string *cause = changed_to(plan, *record)) {
                decoding.emplace_back(record, cause);
                more.count(record->table);
            }
    model.reserve(more);
    for (const auto &[record, cause] : decoding) {
        tell(step, *cause, [record = record] { return "decode " + describe_phrase(*record); });
        model.decode(*record, *cause);
    }
}

void retest_native_vlan(HostModel &model, xnet_entry *xnet, const std::string &cause,
                        const StepSink &step) {
    int32_t number = native_vlan_portgroup(*xnet);
    tell(step, cause, [&] {
        return "test the native VLAN of " + xnet_label(*xnet) +
               (number < 0 ? " against no port group" : " against #" + std::to_string(number));
    });
    model.test_native_vlan(xnet, cause);
}

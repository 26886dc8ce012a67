#include "running/model.h"

#include "confmodel_lists.h"
#include "running/services.h"
#include "input/progress.h"
#include "input/text.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <new>
#include <optional>
#include <type_traits>

namespace {

// What caused a step, for messages: a change's place, or a record's own.
const std::string &text_of(const std::string &cause) {
    return cause;
}
std::string text_of(const Record &record) {
    return where(record);
}

// Runs a step of the module under a log context; a host allocation that
// fails on the way is reported with it.
template <typename Cause, typename Step> auto logged(const Cause &cause, Step step) {
    services::set_log_context(cause);
    struct Reset {
        ~Reset() { services::set_log_context(""); }
    } reset;
    try {
        return step();
    } catch (const std::bad_alloc &) {
        throw Failure(text_of(cause) + ": out of memory");
    }
}

// Decodes a port record into the member of `out` for its table; the
// module's status.
template <typename Out> int parse_port_record(const Module &m, const Record &record, Out &out) {
    auto columns = record.columns();
    switch (record.table) {
    case Table::subport: {
        int32_t parent =
            record.parent_port ? *record.parent_port : m.get_parent_port_number(record.column(0));
        return m.parse_subport_data(parent, columns.data(), &out.subport);
    }
    case Table::port_protect:
        return m.parse_port_protect_data(columns.data(), &out.port_protect);
    default:
        return m.parse_subport_protect_data(columns.data(), &out.subport_protect);
    }
}

} // namespace

DecodedPortRecord::DecodedPortRecord(const Module &m, const Record &r) : module(m), record(r) {
    logged(record, [&] { decoded = parse_port_record(module, record, *this) == 0; });
}

DecodedPortRecord::~DecodedPortRecord() {
    module.free_subport_data(&subport);
}

int32_t native_vlan_portgroup(const xnet_entry &xnet) {
    const xnetgroup_entry *first = first_entry<xnetgroup_entry>(&xnet.xnetgroups);
    return first != nullptr ? first->portgroup_number : -1;
}

void HostModel::PortRecordCounts::count(Table table) {
    subports += table == Table::subport;
    port_protects += table == Table::port_protect;
    subport_protects += table == Table::subport_protect;
}

void HostModel::reserve(const PortRecordCounts &more) {
    subports_.reserve(subports_.size() + more.subports);
    port_protects_.reserve(port_protects_.size() + more.port_protects);
    subport_protects_.reserve(subport_protects_.size() + more.subport_protects);
}

void HostModel::start() {
    confmodel_list_init(module_.portgroups);
    confmodel_list_init(module_.xnets);
    built_ = true;
}

template <typename Cause> void HostModel::decode_under(const Record &record, const Cause &cause) {
    logged(cause, [&] {
        struct {
            subport_data subport{};
            port_protect_data port_protect{};
            subport_protect_data subport_protect{};
        } out;
        if (int status = parse_port_record(module_, record, out); status != 0)
            services::note(text_of(cause), "parse_subport_data returned " + std::to_string(status));
        else if (parts_ == Parts::decoded_and_released)
            module_.free_subport_data(&out.subport);
        else if (record.table == Table::subport)
            subports_.push_back({&record, out.subport});
        else if (record.table == Table::port_protect)
            port_protects_.push_back({&record, out.port_protect});
        else
            subport_protects_.push_back({&record, out.subport_protect});
    });
}

template <typename Records> void HostModel::build_from(const Records &records, Parts parts) {
    start();
    parts_ = parts;
    // A dump's records, or pointers to records.
    auto record_at = [](const auto &item) -> const Record & {
        if constexpr (std::is_pointer_v<std::decay_t<decltype(item)>>)
            return *item;
        else
            return item;
    };
    // Each record handed to the module counts; a model of the lists alone
    // takes no port records.
    Progress progress("building the model");
    uint64_t done = 0, total = 0;
    for (const auto &item : records)
        total += record_at(item).table != Table::remote_device &&
                 (parts != Parts::lists || !is_port_record(record_at(item).table));
    auto each = [&](auto matches, auto step) {
        for (const auto &item : records)
            if (matches(record_at(item).table)) {
                step(record_at(item));
                done++;
                progress.update(done, done, total);
            }
    };
    each([](Table t) { return t == Table::portgroup; },
         [&](const Record &r) { create_portgroup(r, where(r)); });
    each(is_xnet, [&](const Record &r) {
        create_xnet(r, where(r));
        file_xnet(r);
    });
    each(is_xnetgroup, [&](const Record &r) {
        if (xnet_entry *parent = filed_under(r))
            create_xnetgroup(r, parent, where(r));
        else {
            services::note(where(r), "xnetgroup skipped: its xnet is not in the model");
            turned_away_.insert(&r);
        }
    });
    CONFMODEL_LIST_FOREACH(xnet_entry, xnet, module_.xnets) {
        test_native_vlan(xnet, where(origin(xnet)));
    }
    if (parts == Parts::lists) return;
    if (parts == Parts::everything) {
        PortRecordCounts more;
        for (const auto &item : records)
            more.count(record_at(item).table);
        reserve(more);
    }
    each(is_port_record, [&](const Record &r) { decode_under(r, r); });
}

void HostModel::build(const Dump &dump, Parts parts) {
    build_from(dump.records, parts);
}

void HostModel::build(const RecordList &records, Parts parts) {
    build_from(records, parts);
}

portgroup_entry *HostModel::create_portgroup(const Record &record, const std::string &cause) {
    return logged(cause, [&]() -> portgroup_entry * {
        auto columns = record.columns();
        portgroup_entry *entry;
        if (int status = module_.create_new_portgroup(columns.data(), &entry); status != 0) {
            services::note(cause, "create_new_portgroup returned " + std::to_string(status));
            tally_.refused++;
            answer_[&record] = nullptr;
            return nullptr;
        }
        if (origins_.emplace(entry, &record).second) { // a duplicate hands back the first
            entry_of_[&record] = entry;
            tally_.created++;
        }
        answer_[&record] = entry;
        answered_[entry].push_back(&record);
        return entry;
    });
}

xnet_entry *HostModel::create_xnet(const Record &record, const std::string &cause) {
    return logged(cause, [&]() -> xnet_entry * {
        auto columns = record.columns();
        xnet_entry *entry;
        int duplicate;
        int status = record.table == Table::xnet
                         ? module_.create_new_xnet(columns.data(), &entry, &duplicate)
                         : module_.create_new_fc_xnet(columns.data(), &entry, &duplicate);
        if (status != 0) {
            services::note(cause, "the module refused the xnet (status " + std::to_string(status) + ")");
            tally_.refused++;
            answer_[&record] = nullptr;
            return nullptr;
        }
        if (duplicate) {
            // The xnetgroups that name it are filed under the xnet handed
            // back, as a host holding that answer would.
            services::note(cause, "duplicate of " + escaped(entry->pathname) + "; its xnetgroups join that xnet");
        } else {
            origins_.emplace(entry, &record);
            entry_of_[&record] = entry;
            tally_.created++;
        }
        answer_[&record] = entry;
        answered_[entry].push_back(&record);
        return entry;
    });
}

xnet_entry *HostModel::xnet_answering(const Record &xnet_record) const {
    auto answer = answer_.find(&xnet_record);
    return static_cast<xnet_entry *>(answer == answer_.end() ? nullptr : answer->second);
}

void HostModel::file_xnet(const Record &record) {
    file_name(record.column(0), xnet_answering(record));
}

void HostModel::file_names(const std::vector<std::string> &names, const Record &xnet_record) {
    for (const std::string &name : names)
        file_name(name, xnet_answering(xnet_record));
}

void HostModel::file_name(const std::string &name, xnet_entry *xnet) {
    if (filed_under_.emplace(name, xnet).second && xnet != nullptr) filed_names_[xnet].push_back(name);
}

std::vector<std::string> HostModel::names_filed_under(const xnet_entry *xnet) const {
    auto names = filed_names_.find(xnet);
    return names == filed_names_.end() ? std::vector<std::string>() : names->second;
}

void HostModel::unfile(const std::string &name) {
    auto at = filed_under_.find(name);
    if (at == filed_under_.end()) return;
    if (auto names = filed_names_.find(at->second); names != filed_names_.end()) {
        names->second.erase(std::remove(names->second.begin(), names->second.end(), name), names->second.end());
        if (names->second.empty()) filed_names_.erase(names);
    }
    filed_under_.erase(at);
}

void HostModel::unfile_all() {
    filed_under_.clear();
    filed_names_.clear();
}

xnet_entry *HostModel::filed_under(const Record &xnetgroup) const {
    return filed_under(std::string(xnetgroup.xnet()));
}

xnet_entry *HostModel::filed_under(const std::string &name) const {
    auto parent = filed_under_.find(name);
    return parent == filed_under_.end() ? nullptr : parent->second;
}

void *HostModel::entry_of(const Record &record) const {
    auto own = entry_of_.find(&record);
    return own == entry_of_.end() ? nullptr : own->second;
}

bool HostModel::has_answer(const Record &record) const {
    return answer_.count(&record) != 0;
}

void HostModel::forget(const Record &record) {
    turned_away_.erase(&record);
    auto answer = answer_.find(&record);
    if (answer == answer_.end()) return;
    if (auto answered = answered_.find(answer->second); answered != answered_.end()) {
        RecordList &records = answered->second;
        records.erase(std::remove(records.begin(), records.end(), &record), records.end());
    }
    answer_.erase(answer);
}

const void *HostModel::answer(const Record &record) const {
    if (auto own = entry_of_.find(&record); own != entry_of_.end()) return own->second;
    auto answer = answer_.find(&record);
    return answer == answer_.end() ? nullptr : answer->second;
}

xnetgroup_entry *HostModel::create_xnetgroup(const Record &record, xnet_entry *parent,
                                             const std::string &cause) {
    return logged(cause, [&]() -> xnetgroup_entry * {
        auto columns = record.columns();
        xnetgroup_entry *entry;
        int status = record.table == Table::xnetgroup
                         ? module_.create_new_xnetgroup(columns.data(), parent, &entry)
                         : module_.create_new_fc_xnetgroup(columns.data(), parent, &entry);
        if (status != 0) {
            services::note(cause, "the module refused the xnetgroup (status " + std::to_string(status) + ")");
            tally_.refused++;
            turned_away_.insert(&record);
            return nullptr;
        }
        turned_away_.erase(&record);
        origins_.emplace(entry, &record);
        entry_of_[&record] = entry;
        bound_[entry->portgroup].insert(entry);
        tally_.created++;
        return entry;
    });
}

void HostModel::test_native_vlan(xnet_entry *xnet, const std::string &cause) {
    logged(cause, [&] { module_.test_and_set_native_vlan(xnet, native_vlan_portgroup(*xnet)); });
}

void HostModel::decode(const Record &record, const std::string &cause) {
    decode_under(record, cause);
}

void HostModel::move_before(list_head *list, void *entry, void *before) {
    confmodel_list_unlink(list, entry);
    confmodel_list_insert_before(list, before, entry);
}

RecordList HostModel::forget_answers(const void *entry) {
    RecordList lost;
    if (auto answered = answered_.find(entry); answered != answered_.end()) {
        for (const Record *record : answered->second) {
            answer_.erase(record);
            lost.push_back(record);
        }
        answered_.erase(answered);
    }
    entry_of_.erase(origins_.at(entry));
    origins_.erase(entry);
    tally_.released++;
    return lost;
}

const std::unordered_set<const xnetgroup_entry *> &HostModel::bound_to(const portgroup_entry *group) const {
    static const std::unordered_set<const xnetgroup_entry *> none;
    auto bound = bound_.find(group);
    return bound == bound_.end() ? none : bound->second;
}

void HostModel::release_xnetgroup(xnetgroup_entry *group) {
    confmodel_list_unlink(&group->xnet->xnetgroups, group);
    group->portgroup->xnetgroup_count--;
    if (auto bound = bound_.find(group->portgroup); bound != bound_.end()) {
        bound->second.erase(group);
        if (bound->second.empty()) bound_.erase(bound);
    }
    forget_answers(group); // no record has an xnetgroup for its answer
    module_.free_xnetgroup_entry(group);
}

RecordList HostModel::release_xnet(xnet_entry *xnet) {
    while (xnetgroup_entry *group = first_entry<xnetgroup_entry>(&xnet->xnetgroups))
        release_xnetgroup(group);
    confmodel_list_unlink(module_.xnets, xnet);
    if (auto names = filed_names_.find(xnet); names != filed_names_.end()) {
        for (const std::string &name : names->second)
            if (auto at = filed_under_.find(name); at != filed_under_.end() && at->second == xnet)
                filed_under_.erase(at);
        filed_names_.erase(names);
    }
    RecordList lost = forget_answers(xnet);
    module_.free_xnet_entry(xnet);
    return lost;
}

RecordList HostModel::release_portgroup(portgroup_entry *group) {
    confmodel_list_unlink(module_.portgroups, group);
    RecordList lost = forget_answers(group);
    module_.free_portgroup_entry(group);
    return lost;
}

HostModel::PortRecordCounts HostModel::port_records_held() const {
    PortRecordCounts held;
    held.subports = subports_.size();
    held.port_protects = port_protects_.size();
    held.subport_protects = subport_protects_.size();
    return held;
}

template <typename Apply> bool HostModel::on_port_records(Table table, Apply apply) {
    switch (table) {
    case Table::subport:
        return apply(subports_, [&](Subport &s) { module_.free_subport_data(&s.data); });
    case Table::port_protect:
        return apply(port_protects_, [](PortProtect &) {});
    case Table::subport_protect:
        return apply(subport_protects_, [](SubportProtect &) {});
    default:
        return false;
    }
}

bool HostModel::replace_port_record(const Record *before, const Record *after, const std::string &cause) {
    if (!keeps_port_records()) return false;
    auto by_line = [](const auto &held, uint32_t line) { return held.record->line < line; };
    // Where `before` stands; none when the module failed to decode it, and
    // then nothing holds its line.
    std::optional<size_t> held;
    if (before != nullptr &&
        !on_port_records(before->table, [&](auto &records, auto) {
            auto at = std::lower_bound(records.begin(), records.end(), before->line, by_line);
            if (at != records.end() && at->record == before) held = static_cast<size_t>(at - records.begin());
            return held || at == records.end() || at->record->line != before->line;
        }))
        return false;
    const bool in_place = held && after != nullptr && after->table == before->table && after->line == before->line;
    if (before != nullptr && held)
        on_port_records(before->table, [&](auto &records, auto release) {
            release(records[*held]);
            if (!in_place) records.erase(records.begin() + static_cast<std::ptrdiff_t>(*held));
            return true;
        });
    if (after == nullptr) return true;
    return on_port_records(after->table, [&](auto &records, auto) {
        const size_t size = records.size();
        decode_under(*after, cause);
        if (records.size() == size) {
            // Not decoded: the slot it would have taken goes.
            if (in_place) records.erase(records.begin() + static_cast<std::ptrdiff_t>(*held));
        } else if (in_place) {
            records[*held] = records.back();
            records.pop_back();
        } else {
            auto at = std::lower_bound(records.begin(), records.end() - 1, after->line, by_line);
            std::rotate(at, records.end() - 1, records.end());
        }
        return true;
    });
}

void HostModel::release_port_records(const std::function<bool(const Record &)> &goes) {
    auto drop = [&](auto &records, auto release) {
        records.erase(std::remove_if(records.begin(), records.end(),
                                     [&](auto &r) {
                                         if (!goes(*r.record)) return false;
                                         release(r);
                                         return true;
                                     }),
                      records.end());
    };
    drop(subports_, [&](Subport &s) { module_.free_subport_data(&s.data); });
    drop(port_protects_, [](PortProtect &) {});
    drop(subport_protects_, [](SubportProtect &) {});
}

void HostModel::merge_port_records(const PortRecordCounts &kept, const RecordList &configuration) {
    auto in_order = [&](auto &records, size_t kept, Table table) {
        if (records.size() == kept) return; // nothing decoded
        std::remove_reference_t<decltype(records)> merged;
        merged.reserve(records.size());
        size_t old = 0, decoded = kept;
        for (const Record *record : configuration) {
            if (record->table != table) continue;
            if (decoded < records.size() && records[decoded].record == record)
                merged.push_back(records[decoded++]);
            else if (old < kept && records[old].record == record)
                merged.push_back(records[old++]);
        }
        records.swap(merged);
    };
    in_order(subports_, kept.subports, Table::subport);
    in_order(port_protects_, kept.port_protects, Table::port_protect);
    in_order(subport_protects_, kept.subport_protects, Table::subport_protect);
}

void HostModel::release() {
    if (!built_) return;
    const Module &m = module_;
    while (xnet_entry *xnet = first_entry<xnet_entry>(m.xnets)) {
        while (xnetgroup_entry *group = first_entry<xnetgroup_entry>(&xnet->xnetgroups)) {
            confmodel_list_unlink(&xnet->xnetgroups, group);
            m.free_xnetgroup_entry(group);
        }
        confmodel_list_unlink(m.xnets, xnet);
        m.free_xnet_entry(xnet);
    }
    while (portgroup_entry *group = first_entry<portgroup_entry>(m.portgroups)) {
        confmodel_list_unlink(m.portgroups, group);
        m.free_portgroup_entry(group);
    }
    for (Subport &subport : subports_)
        module_.free_subport_data(&subport.data);
    subports_.clear();
    port_protects_.clear();
    subport_protects_.clear();
    origins_.clear();
    entry_of_.clear();
    answer_.clear();
    answered_.clear();
    turned_away_.clear();
    bound_.clear();
    filed_under_.clear();
    filed_names_.clear();
    built_ = false;
}

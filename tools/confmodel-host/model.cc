#include "model.h"

#include "model/list.h"
#include "record.h"
#include "services.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <map>

namespace {

std::string where(const Dump &dump, const DumpRecord &record) {
    return dump.name + ":" + std::to_string(record.line);
}

// The column array the module reads, as long as the table's highest column.
Record to_record(const DumpRecord &record) {
    Record columns(record.columns.size(), {});
    for (size_t i = 0; i < record.columns.size(); i++)
        columns.set(i, record.column(i));
    return columns;
}

void note(const Dump &dump, const DumpRecord &record, const std::string &text) {
    std::cerr << where(dump, record) << ": note: " << text << "\n";
}

} // namespace

int32_t native_vlan_portgroup(const xnet_entry &xnet) {
    const xnetgroup_entry *first = list_first<xnetgroup_entry>(&xnet.xnetgroups);
    return first != nullptr ? first->portgroup_number : -1;
}

void HostModel::build(const Dump &dump) {
    const Module &m = module_;
    list_init(m.portgroups);
    list_init(m.xnets);
    built_ = true;

    auto each = [&](std::initializer_list<Table> kinds, auto &&step) {
        for (const DumpRecord &record : dump.records) {
            if (std::find(kinds.begin(), kinds.end(), record.table) == kinds.end()) continue;
            services::set_log_context(where(dump, record));
            Record columns = to_record(record);
            step(record, columns);
        }
        services::set_log_context("");
    };

    each({Table::portgroup}, [&](const DumpRecord &record, Record &columns) {
        portgroup_entry *entry;
        if (int status = m.create_new_portgroup(columns, &entry); status != 0)
            note(dump, record, "create_new_portgroup returned " + std::to_string(status));
    });

    // A duplicate xnet record gets the entry already listed; the xnetgroups
    // that name it are filed there, as a host holding that answer would.
    std::map<std::string, xnet_entry *> xnet_by_record;
    std::map<const xnet_entry *, const DumpRecord *> xnet_line;
    each({Table::xnet, Table::fc_xnet}, [&](const DumpRecord &record, Record &columns) {
        xnet_entry *entry;
        int duplicate;
        int status = record.table == Table::xnet
                         ? m.create_new_xnet(columns, &entry, &duplicate)
                         : m.create_new_fc_xnet(columns, &entry, &duplicate);
        if (status != 0)
            note(dump, record,
                 "the module refused the xnet (status " + std::to_string(status) + ")");
        else if (duplicate)
            note(dump, record,
                 std::string("duplicate of ") + entry->pathname +
                     "; its xnetgroups join that xnet");
        else
            xnet_line[entry] = &record;
        xnet_by_record.emplace(*record.columns[0], entry);
    });

    each({Table::xnetgroup, Table::fc_xnetgroup}, [&](const DumpRecord &record, Record &columns) {
        xnet_entry *parent = xnet_by_record[record.xnet];
        if (parent == nullptr) {
            note(dump, record, "xnetgroup skipped: its xnet was not created");
            return;
        }
        xnetgroup_entry *entry;
        int status = record.table == Table::xnetgroup
                         ? m.create_new_xnetgroup(columns, parent, &entry)
                         : m.create_new_fc_xnetgroup(columns, parent, &entry);
        if (status != 0)
            note(dump, record,
                 "the module refused the xnetgroup (status " + std::to_string(status) + ")");
    });

    LIST_FOREACH(xnet_entry, xnet, m.xnets) {
        services::set_log_context(where(dump, *xnet_line[xnet]));
        m.test_and_set_native_vlan(xnet, native_vlan_portgroup(*xnet));
    }
    services::set_log_context("");

    each({Table::subport, Table::port_protect, Table::subport_protect},
         [&](const DumpRecord &record, Record &columns) {
             if (record.table == Table::subport) {
                 int32_t parent = record.parent_port ? *record.parent_port
                                                     : m.get_parent_port_number(record.column(0));
                 subport_data data;
                 memset(&data, 0, sizeof data);
                 if (int status = m.parse_subport_data(parent, columns, &data); status != 0)
                     note(dump, record, "parse_subport_data returned " + std::to_string(status));
                 else
                     subports_.push_back(data);
             } else if (record.table == Table::port_protect) {
                 PortProtect port{record.column(0) ? record.column(0) : "", {}};
                 m.parse_port_protect_data(columns, &port.data);
                 port_protects_.push_back(port);
             } else {
                 SubportProtect subport{record.column(0) ? record.column(0) : "", {}};
                 m.parse_subport_protect_data(columns, &subport.data);
                 subport_protects_.push_back(subport);
             }
         });
}

void HostModel::release() {
    if (!built_) return;
    const Module &m = module_;
    LIST_FOREACH(xnet_entry, xnet, m.xnets) {
        while (xnetgroup_entry *group = list_first<xnetgroup_entry>(&xnet->xnetgroups)) {
            list_unlink(&xnet->xnetgroups, group);
            m.free_xnetgroup_entry(group);
        }
    }
    while (xnet_entry *xnet = list_first<xnet_entry>(m.xnets)) {
        list_unlink(m.xnets, xnet);
        m.free_xnet_entry(xnet);
    }
    while (portgroup_entry *group = list_first<portgroup_entry>(m.portgroups)) {
        list_unlink(m.portgroups, group);
        m.free_portgroup_entry(group);
    }
    for (subport_data &subport : subports_)
        m.free_subport_data(&subport);
    subports_.clear();
    built_ = false;
}

#include "model.h"

#include "model/list.h"
#include "services.h"
#include "text.h"

#include <cstring>
#include <iostream>
#include <new>
#include <string_view>

namespace {

void note(const std::string &where, const std::string &text) {
    std::cerr << where << ": note: " << text << "\n";
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
    source_ = dump.name;

    auto where = [&](const Record &record) { return location(dump.name, record.line); };
    auto each = [&](auto matches, auto &&step) {
        for (const Record &record : dump.records) {
            if (!matches(record.table)) continue;
            services::set_log_context(where(record));
            try {
                std::vector<char *> columns = record.columns();
                step(record, columns.data());
            } catch (const std::bad_alloc &) {
                throw Failure(where(record) + ": out of memory");
            }
        }
        services::set_log_context("");
    };

    each([](Table t) { return t == Table::portgroup; },
         [&](const Record &record, config_record columns) {
             portgroup_entry *entry;
             if (int status = m.create_new_portgroup(columns, &entry); status != 0)
                 note(where(record), "create_new_portgroup returned " + std::to_string(status));
             else
                 origins_.emplace(entry, &record); // a duplicate keeps the first's
         });

    // A duplicate xnet record gets the entry already listed; the xnetgroups
    // that name it are filed there, as a host holding that answer would.
    std::unordered_map<std::string_view, xnet_entry *> filed_under;
    each(is_xnet, [&](const Record &record, config_record columns) {
        xnet_entry *entry;
        int duplicate;
        int status = record.table == Table::xnet ? m.create_new_xnet(columns, &entry, &duplicate)
                                                 : m.create_new_fc_xnet(columns, &entry, &duplicate);
        if (status != 0)
            note(where(record), "the module refused the xnet (status " + std::to_string(status) + ")");
        else if (duplicate)
            note(where(record), std::string("duplicate of ") + escaped(entry->pathname) +
                                    "; its xnetgroups join that xnet");
        else
            origins_.emplace(entry, &record);
        filed_under.emplace(record.column(0), entry);
    });

    each(is_xnetgroup, [&](const Record &record, config_record columns) {
        xnet_entry *parent = filed_under[record.xnet()];
        if (parent == nullptr) {
            note(where(record), "xnetgroup skipped: its xnet was not created");
            return;
        }
        xnetgroup_entry *entry;
        int status = record.table == Table::xnetgroup
                         ? m.create_new_xnetgroup(columns, parent, &entry)
                         : m.create_new_fc_xnetgroup(columns, parent, &entry);
        if (status != 0)
            note(where(record),
                 "the module refused the xnetgroup (status " + std::to_string(status) + ")");
        else
            origins_.emplace(entry, &record);
    });

    LIST_FOREACH(xnet_entry, xnet, m.xnets) {
        services::set_log_context(where(origin(xnet)));
        m.test_and_set_native_vlan(xnet, native_vlan_portgroup(*xnet));
    }
    services::set_log_context("");

    each([](Table t) { return t == Table::subport || t == Table::port_protect ||
                              t == Table::subport_protect; },
         [&](const Record &record, config_record columns) {
             if (record.table == Table::subport) {
                 int32_t parent = record.parent_port ? *record.parent_port
                                                     : m.get_parent_port_number(record.column(0));
                 Subport subport{&record, {}};
                 if (int status = m.parse_subport_data(parent, columns, &subport.data); status != 0)
                     note(where(record), "parse_subport_data returned " + std::to_string(status));
                 else
                     subports_.push_back(subport);
             } else if (record.table == Table::port_protect) {
                 PortProtect port{&record, {}};
                 m.parse_port_protect_data(columns, &port.data);
                 port_protects_.push_back(port);
             } else {
                 SubportProtect subport{&record, {}};
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
    for (Subport &subport : subports_)
        m.free_subport_data(&subport.data);
    subports_.clear();
    port_protects_.clear();
    subport_protects_.clear();
    origins_.clear();
    built_ = false;
}

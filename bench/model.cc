#include "model.h"

#include "model/list.h"
#include "release_model.h"

#include <cinttypes>
#include <cstdio>

namespace bench {

std::string portgroup_name(int number) { return "/portgroups/pg" + std::to_string(number); }

std::string xnet_name(int vid) { return "/xnets/vlan" + std::to_string(vid); }

std::string xnetgroup_name(int vid, int portgroup) {
    return xnet_name(vid) + xnetgroup_separator + "pg" + std::to_string(portgroup);
}

Record portgroup_record(int number, uint64_t ports) {
    char ports_text[24];
    snprintf(ports_text, sizeof ports_text, "0x%016" PRIx64, ports);
    Record r(20, {{0, portgroup_name(number).c_str()},
                  {3, std::to_string(number).c_str()},
                  {5, "1"},
                  {6, "9000"},
                  {7, ports_text},
                  {8, "1"},
                  {18, "true"},
                  {19, "long"}});
    for (size_t column = 9; column <= 16; column++)
        r.set(column, "0x0000000000000000");
    return r;
}

Record xnet_record(int vid) {
    return Record(12, {{0, xnet_name(vid).c_str()},
                       {5, std::to_string(vid).c_str()},
                       {6, "1500"},
                       {7, "enabled"},
                       {8, "false"},
                       {9, "true"},
                       {10, "false"},
                       {11, "true"}});
}

Record fc_xnet_record(int vid) {
    return Record(14, {{0, xnet_name(vid).c_str()},
                       {5, std::to_string(vid).c_str()},
                       {6, "LAN"},
                       {7, "enabled"},
                       {8, "3"},
                       {9, "4"},
                       {13, "true"}});
}

Record xnetgroup_record(int vid, int portgroup) {
    return Record(8, {{0, xnetgroup_name(vid, portgroup).c_str()},
                      {5, "server"},
                      {6, portgroup_name(portgroup).c_str()},
                      {7, "2"}});
}

Record fc_xnetgroup_record(int vid, int portgroup) {
    Record r = xnetgroup_record(vid, portgroup);
    r.set(5, "fc");
    return r;
}

Model::Model() {
    list_init(&portgroups);
    list_init(&xnets);
}

Model::~Model() { clear(); }

void Model::clear() { release_model(); }

void release(portgroup_entry *entry) {
    list_unlink(&portgroups, entry);
    free_portgroup_entry(entry);
}

void release(xnet_entry *entry) {
    list_unlink(&xnets, entry);
    free_xnet_entry(entry);
}

void release(xnetgroup_entry *entry) {
    list_unlink(&entry->xnet->xnetgroups, entry);
    if (entry->portgroup != nullptr)
        entry->portgroup->xnetgroup_count--;
    free_xnetgroup_entry(entry);
}

} // namespace bench

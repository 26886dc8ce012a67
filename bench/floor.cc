#include "floor.h"

#include "hosk.h"
#include "model/list.h"
#include "tavri.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <syslog.h>

namespace by_hand {

namespace {

bool is(const char *column, const char *text) {
    return column != nullptr && strcmp(column, text) == 0;
}

int32_t decimal(const char *column, int32_t absent) {
    return column != nullptr ? atoi(column) : absent;
}

// The C library's unsigned conversion, held to 32 bits.
uint32_t unsigned32(const char *column, int base) {
    if (column == nullptr)
        return 0;
    unsigned long long value = strtoull(column, nullptr, base);
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

template <typename Entry> Entry *allocate(config_record record) {
    Entry *entry = static_cast<Entry *>(malloc(sizeof(Entry)));
    if (entry == nullptr)
        return nullptr;
    memset(entry, 0, sizeof *entry);
    entry->pathname = hosk_strdup(record[0]);
    if (entry->pathname == nullptr) {
        free(entry);
        return nullptr;
    }
    return entry;
}

xnet_entry *insert_xnet(xnet_entry *entry) {
    LIST_FOREACH(xnet_entry, x, &xnets) {
        if (x->int_vid == entry->int_vid) {
            free(entry->pathname);
            free(entry);
            return x;
        }
    }
    list_append(&xnets, entry);
    return entry;
}

xnetgroup_entry *bind_xnetgroup(config_record record, xnet_entry *xnet, xnetgroup_entry *entry) {
    entry->xnet = xnet;
    entry->col7_value = decimal(record[7], -1);
    portgroup_entry *group = record[6] != nullptr ? find_portgrp_by_name(record[6]) : nullptr;
    if (group == nullptr) {
        free(entry->pathname);
        free(entry);
        return nullptr;
    }
    entry->portgroup = group;
    entry->portgroup_number = group->number;
    entry->portgroup_col5_value = group->col5_value;
    entry->ports_bitmap = group->ports_bitmap;
    entry->subport_union = group->subport_union;
    memcpy(entry->subport_bitmaps, group->subport_bitmaps, sizeof entry->subport_bitmaps);
    group->xnetgroup_count++;
    list_append(&xnet->xnetgroups, entry);
    return entry;
}

} // namespace

__attribute__((noinline)) portgroup_entry *create_portgroup(config_record record) {
    portgroup_entry *entry = allocate<portgroup_entry>(record);
    if (entry == nullptr)
        return nullptr;
    entry->number = atoi(record[3]);
    entry->col5_value = atoi(record[5]);
    entry->col6_value = atoi(record[6]);
    entry->ports_bitmap = strtoull(record[7], nullptr, 16);
    entry->native_vlan = atoi(record[8]);
    entry->col18_flag = is(record[18], "true");
    for (int i = 0; i < 8; i++) {
        entry->subport_bitmaps[i] = strtoull(record[9 + i], nullptr, 16);
        entry->subport_union |= entry->subport_bitmaps[i];
    }
    if ((entry->ports_bitmap & entry->subport_union) != 0)
        syslog(LOG_WARNING, "overlap %s", entry->pathname);
    entry->not_long = !is(record[19], "long");
    LIST_FOREACH(portgroup_entry, g, &portgroups) {
        if (g->number == entry->number) {
            free(entry->pathname);
            free(entry);
            return g;
        }
    }
    list_append(&portgroups, entry);
    return entry;
}

__attribute__((noinline)) xnet_entry *create_xnet(config_record record) {
    xnet_entry *entry = allocate<xnet_entry>(record);
    if (entry == nullptr)
        return nullptr;
    list_init(&entry->xnetgroups);
    entry->int_vid = decimal(record[5], -1);
    entry->col6_value = decimal(record[6], -1);
    entry->enabled = is(record[7], "enabled");
    entry->eth_col8_flag = is(record[8], "true");
    entry->eth_col9_flag = is(record[9], "true");
    entry->eth_col10_flag = is(record[10], "true");
    entry->eth11_fc13_flag = is(record[11], "true");
    entry->preset_value = -1;
    return insert_xnet(entry);
}

__attribute__((noinline)) xnet_entry *create_fc_xnet(config_record record) {
    xnet_entry *entry = allocate<xnet_entry>(record);
    if (entry == nullptr)
        return nullptr;
    list_init(&entry->xnetgroups);
    entry->int_vid = decimal(record[5], -1);
    entry->fc_attach_mode = is(record[6], "direct_attach") ? FC_ATTACH_DIRECT
                            : is(record[6], "LAN")         ? FC_ATTACH_LAN
                                                           : FC_ATTACH_NONE;
    entry->enabled = is(record[7], "enabled");
    entry->fc_col8_value = decimal(record[8], 0);
    entry->fc_col9_value = decimal(record[9], 0);
    entry->eth11_fc13_flag = is(record[13], "true");
    entry->preset_value = -1;
    entry->kind = XNET_KIND_FC;
    entry->eth_col10_flag = 1;
    return insert_xnet(entry);
}

__attribute__((noinline)) xnetgroup_entry *create_xnetgroup(config_record record,
                                                            xnet_entry *xnet) {
    xnetgroup_entry *entry = allocate<xnetgroup_entry>(record);
    if (entry == nullptr)
        return nullptr;
    const char *role = record[5];
    entry->role = is(role, "external")         ? XGRP_ROLE_EXTERNAL
                  : is(role, "sflow")          ? XGRP_ROLE_SFLOW
                  : is(role, "server")         ? XGRP_ROLE_SERVER
                  : is(role, "mtp")            ? XGRP_ROLE_MTP
                  : is(role, "ingress_mirror") ? XGRP_ROLE_INGRESS_MIRROR
                  : is(role, "egress_mirror")  ? XGRP_ROLE_EGRESS_MIRROR
                                               : XGRP_ROLE_NONE;
    xnetgroup_entry *bound = bind_xnetgroup(record, xnet, entry);
    if (bound != nullptr)
        bound->portgroup_col18_flag = bound->portgroup->col18_flag;
    return bound;
}

__attribute__((noinline)) xnetgroup_entry *create_fc_xnetgroup(config_record record,
                                                               xnet_entry *xnet) {
    xnetgroup_entry *entry = allocate<xnetgroup_entry>(record);
    if (entry == nullptr)
        return nullptr;
    const char *role = record[5];
    entry->role = is(role, "fc")       ? XGRP_ROLE_FC
                  : is(role, "server") ? XGRP_ROLE_SERVER
                                       : XGRP_ROLE_NONE;
    return bind_xnetgroup(record, xnet, entry);
}

__attribute__((noinline)) portgroup_entry *find_portgrp_by_number(int32_t number) {
    LIST_FOREACH(portgroup_entry, g, &portgroups) {
        if (g->number == number)
            return g;
    }
    return nullptr;
}

__attribute__((noinline)) portgroup_entry *find_portgrp_by_name(const char *pathname) {
    LIST_FOREACH(portgroup_entry, g, &portgroups) {
        if (strcmp(g->pathname, pathname) == 0)
            return g;
    }
    return nullptr;
}

__attribute__((noinline)) portgroup_entry *find_ext_portgroup_for_port(int32_t port) {
    if (port < 0 || port > 63)
        return nullptr;
    LIST_FOREACH(portgroup_entry, g, &portgroups) {
        if (((g->ports_bitmap >> port) & 1u) != 0)
            return g;
    }
    return nullptr;
}

__attribute__((noinline)) xnet_entry *find_xnet_by_int_vid(int32_t vid) {
    LIST_FOREACH(xnet_entry, x, &xnets) {
        if (x->int_vid == vid)
            return x;
    }
    return nullptr;
}

__attribute__((noinline)) xnet_entry *find_xnet_by_name(const char *pathname) {
    LIST_FOREACH(xnet_entry, x, &xnets) {
        if (strcmp(x->pathname, pathname) == 0)
            return x;
    }
    return nullptr;
}

__attribute__((noinline)) xnetgroup_entry *find_xgrp_by_name_generic(const char *pathname,
                                                                     const char *separator) {
    size_t length = strlen(pathname);
    if (length > 36)
        return nullptr;
    char name[37];
    memcpy(name, pathname, length + 1);
    char *cut = strstr(name, separator);
    if (cut == nullptr)
        return nullptr;
    *cut = '\0';
    LIST_FOREACH(xnet_entry, x, &xnets) {
        if (strcmp(x->pathname, name) != 0)
            continue;
        LIST_FOREACH(xnetgroup_entry, g, &x->xnetgroups) {
            if (strcmp(g->pathname, pathname) == 0)
                return g;
        }
        return nullptr;
    }
    return nullptr;
}

__attribute__((noinline)) int parse_subport_data(int32_t parent_port, config_record record,
                                                subport_data *subport) {
    subport->pathname = hosk_strdup(record[0]);
    if (subport->pathname == nullptr)
        return ENOMEM;
    subport->parent_port = parent_port;
    subport->in_use = 1;
    subport->col5_value = decimal(record[5], 0);
    subport->enabled = is(record[9], "enabled");
    subport->col10_value = decimal(record[10], 0);
    subport->col11_value = decimal(record[11], 0);
    subport->col16_flag = is(record[16], "true");
    subport->col17_hex = unsigned32(record[17], 16);
    subport->is_fcoe = is(record[7], "FCoE");
    return 0;
}

__attribute__((noinline)) int parse_port_protect_data(config_record record,
                                                     port_protect_data *out) {
    const char *loop = record[4];
    out->loop_protect = is(loop, "disabled")  ? PROTECT_DISABLED
                        : is(loop, "enabled") ? PROTECT_ENABLED
                                              : PROTECT_NONE;
    out->loop_state = is(record[5], "loop_detected") ? LOOP_STATE_DETECTED : LOOP_STATE_NONE;
    const char *pause = record[6];
    out->pause_protect = is(pause, "disabled")         ? PROTECT_DISABLED
                         : is(pause, "enabled")        ? PROTECT_ENABLED
                         : is(pause, "detection_only") ? PROTECT_DETECTION_ONLY
                                                       : PROTECT_NONE;
    const char *state = record[7];
    out->pause_state = is(state, "pause_flood_detected") ? PAUSE_STATE_FLOOD_DETECTED
                       : is(state, "in_pause_condition") ? PAUSE_STATE_IN_PAUSE
                                                         : PAUSE_STATE_NONE;
    out->col8_value = unsigned32(record[8], 0);
    return 0;
}

__attribute__((noinline)) int parse_subport_protect_data(config_record record,
                                                        subport_protect_data *out) {
    const char *loop = record[5];
    out->loop_protect = is(loop, "disabled")  ? PROTECT_DISABLED
                        : is(loop, "enabled") ? PROTECT_ENABLED
                                              : PROTECT_NONE;
    out->loop_state = is(record[6], "loop_detected") ? LOOP_STATE_DETECTED : LOOP_STATE_NONE;
    return 0;
}

__attribute__((noinline)) int get_parent_port_number(const char *pathname) {
    int number;
    return sscanf(pathname, "/ports/port%d", &number) == 1 ? number - 1 : -1;
}

__attribute__((noinline)) int dcbx_pending_test_and_set(uintptr_t store_handle,
                                                        uintptr_t device_key, const char *expected,
                                                        const char *new_value) {
    void *results = nullptr;
    remotedevice_record *device = nullptr;
    int count = 0;
    int status = tavri_transaction_start(store_handle);
    if (status == 0 && expected != nullptr) {
        remotedevice_record query = {};
        query.key = device_key;
        status = tavri_remotedevice_get(store_handle, &query, &results, &device, &count);
        if (status == 0 && count != 1)
            status = EINVAL;
        else if (status == 0 &&
                 (device->dcbx_pending == nullptr || strcmp(expected, device->dcbx_pending) != 0))
            status = EBUSY;
    }
    if (status == 0) {
        remotedevice_record update = {};
        update.dcbx_pending = new_value;
        status = tavri_remotedevice_set(store_handle, device_key, &update);
    }
    if (status == 0)
        status = tavri_transaction_commit(store_handle);
    tavri_results_free(store_handle, results);
    if (status != 0)
        tavri_transaction_abort(store_handle);
    return status;
}

} // namespace by_hand

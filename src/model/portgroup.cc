#include "hosk.h"
#include "model/list.h"
#include "model/model.h"
#include "records/convert.h"

#include <errno.h>
#include <syslog.h>

list_head portgroups;
int slog_level;

namespace {

enum PortgroupColumn {
    PG_PATHNAME = 0,
    PG_NUMBER = 3,
    PG_COL5 = 5,
    PG_COL6 = 6,
    PG_PORTS = 7,
    PG_NATIVE_VLAN = 8,
    PG_SUBPORTS = 9, /* 9..16, one per subport position */
    PG_COL18 = 18,
    PG_LENGTH = 19,
};

constexpr int subport_positions = sizeof(portgroup_entry::subport_bitmaps) / sizeof(uint64_t);
static_assert(PG_SUBPORTS + subport_positions - 1 < PG_COL18, "subport columns end at 16");

} // namespace

int create_new_portgroup(config_record record, portgroup_entry **out_entry) {
    *out_entry = nullptr;

    portgroup_entry *entry = alloc_entry<portgroup_entry>();
    if (entry == nullptr) {
        syslog(LOG_ERR, "no memory for portgroups!\n");
        return ENOMEM;
    }
    entry->pathname = hosk_strdup(record[PG_PATHNAME]);
    if (entry->pathname == nullptr) {
        syslog(LOG_ERR, "no memory for new portgroup pathname!");
        free_portgroup_entry(entry);
        return ENOMEM;
    }

    entry->number = conv_decimal(record[PG_NUMBER], 0);
    entry->col5_value = conv_decimal(record[PG_COL5], 0);
    entry->col6_value = conv_decimal(record[PG_COL6], 0);
    entry->ports_bitmap = conv_hex64(record[PG_PORTS]);
    entry->native_vlan = conv_decimal(record[PG_NATIVE_VLAN], 0);
    entry->col18_flag = conv_true_flag(record[PG_COL18]);
    for (int i = 0; i < subport_positions; i++) {
        entry->subport_bitmaps[i] = conv_hex64(record[PG_SUBPORTS + i]);
        entry->subport_union |= entry->subport_bitmaps[i];
    }
    if ((entry->ports_bitmap & entry->subport_union) != 0)
        syslog(LOG_WARNING, "Create new port group: Both ports & subport bitmap specified for %s!",
               entry->pathname);
    entry->not_long = conv_not_long(record[PG_LENGTH]);

    portgroup_entry *listed = find_portgrp_by_number(entry->number);
    if (listed != nullptr) {
        syslog(LOG_ERR, "duplicated portgroup entry found!  path=%s", listed->pathname);
        free_portgroup_entry(entry);
        *out_entry = listed;
        return 0;
    }
    list_append(&portgroups, entry);
    *out_entry = entry;
    return 0;
}

portgroup_entry *find_portgrp_by_number(int32_t number) {
    LIST_FOREACH(portgroup_entry, entry, &portgroups) {
        if (entry->number == number)
            return entry;
    }
    return nullptr;
}

portgroup_entry *find_portgrp_by_name(const char *pathname) {
    LIST_FOREACH(portgroup_entry, entry, &portgroups) {
        if (strcmp(entry->pathname, pathname) == 0)
            return entry;
    }
    return nullptr;
}

portgroup_entry *find_ext_portgroup_for_port(int32_t port) {
    /* A shift by 64 or more, or by a negative count, is undefined: such a
     * port is in no bitmap. */
    if (port < 0 || port > 63)
        return nullptr;
    LIST_FOREACH(portgroup_entry, entry, &portgroups) {
        if (((entry->ports_bitmap >> port) & 1u) != 0)
            return entry;
    }
    return nullptr;
}

void free_portgroup_entry(portgroup_entry *entry) {
    if (entry == nullptr)
        return;
    free(entry->pathname);
    free(entry);
}

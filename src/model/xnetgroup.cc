#include "hosk.h"
#include "model/list.h"
#include "model/model.h"
#include "records/convert.h"

#include <errno.h>
#include <syslog.h>

namespace {

enum XnetgroupColumn {
    XG_PATHNAME = 0,
    XG_ROLE = 5,
    XG_PORTGROUP = 6,
    XG_COL7 = 7,
};

constexpr keyword ethernet_roles[] = {
    {"external", XGRP_ROLE_EXTERNAL},
    {"sflow", XGRP_ROLE_SFLOW},
    {"server", XGRP_ROLE_SERVER},
    {"mtp", XGRP_ROLE_MTP},
    {"ingress_mirror", XGRP_ROLE_INGRESS_MIRROR},
    {"egress_mirror", XGRP_ROLE_EGRESS_MIRROR},
};

constexpr keyword fc_roles[] = {
    {"fc", XGRP_ROLE_FC},
    {"server", XGRP_ROLE_SERVER},
};

/* An xnet pathname, the separator and the rest must fit this. */
constexpr size_t max_xgrp_pathname = 36;

template <size_t N>
int parse(config_record record, xnet_entry *xnet, xnetgroup_entry *entry,
          const keyword (&roles)[N], bool copies_col18_flag) {
    entry->pathname = hosk_strdup(record[XG_PATHNAME]);
    entry->xnet = xnet;
    entry->role = XGRP_ROLE_NONE;
    entry->ports_bitmap = 0;
    entry->portgroup_number = -1;
    if (entry->pathname == nullptr)
        return ENOMEM;

    entry->role = conv_keyword(record[XG_ROLE], roles);
    entry->col7_value = conv_decimal(record[XG_COL7], -1);

    const char *group_name = record[XG_PORTGROUP];
    portgroup_entry *group = group_name != nullptr ? find_portgrp_by_name(group_name) : nullptr;
    if (group == nullptr) {
        syslog(LOG_ERR, "Cannot find portgroup (%s) specified for %s!",
               group_name != nullptr ? group_name : "", entry->pathname);
        return CONFMODEL_NO_PORTGROUP;
    }
    entry->portgroup_number = group->number;
    entry->portgroup_col5_value = group->col5_value;
    entry->ports_bitmap = group->ports_bitmap;
    entry->subport_union = group->subport_union;
    memcpy(entry->subport_bitmaps, group->subport_bitmaps, sizeof entry->subport_bitmaps);
    if (copies_col18_flag)
        entry->portgroup_col18_flag = group->col18_flag;
    entry->portgroup = group;
    group->xnetgroup_count++;
    return 0;
}

/* ENOMEM only when the entry cannot be allocated: the caller logs it. */
int create(config_record record, xnet_entry *xnet, xnetgroup_entry **out_entry,
           int (*parse_kind)(config_record, xnet_entry *, xnetgroup_entry *)) {
    *out_entry = nullptr;

    xnetgroup_entry *entry = alloc_entry<xnetgroup_entry>();
    if (entry == nullptr)
        return ENOMEM;
    if (parse_kind(record, xnet, entry) != 0) {
        free_xnetgroup_entry(entry);
        return CONFMODEL_REJECTED;
    }
    list_append(&xnet->xnetgroups, entry);
    *out_entry = entry;
    return 0;
}

} // namespace

int parse_xnetgroup_data(config_record record, xnet_entry *xnet, xnetgroup_entry *entry) {
    return parse(record, xnet, entry, ethernet_roles, true);
}

int parse_fc_xnetgroup_data(config_record record, xnet_entry *xnet, xnetgroup_entry *entry) {
    return parse(record, xnet, entry, fc_roles, false);
}

int create_new_xnetgroup(config_record record, xnet_entry *xnet, xnetgroup_entry **out_entry) {
    int status = create(record, xnet, out_entry, parse_xnetgroup_data);
    if (status == ENOMEM)
        syslog(LOG_ERR, "no memory for xnetgroup!\n");
    return status;
}

int create_new_fc_xnetgroup(config_record record, xnet_entry *xnet, xnetgroup_entry **out_entry) {
    int status = create(record, xnet, out_entry, parse_fc_xnetgroup_data);
    if (status == ENOMEM)
        syslog(LOG_ERR, "no memory for FC xnetgroup!\n");
    return status;
}

xnetgroup_entry *find_xgrp_by_name_generic(const char *pathname, const char *separator) {
    size_t length = strlen(pathname);
    if (length > max_xgrp_pathname) {
        syslog(LOG_ERR, "xnetgroup pathname (%s) is too long", pathname);
        return nullptr;
    }
    char xnet_name[max_xgrp_pathname + 1];
    memcpy(xnet_name, pathname, length + 1);
    char *cut = strstr(xnet_name, separator);
    if (cut == nullptr)
        return nullptr;
    *cut = '\0';

    const xnet_entry *xnet = find_xnet_by_name(xnet_name);
    if (xnet == nullptr)
        return nullptr;
    LIST_FOREACH(xnetgroup_entry, entry, &xnet->xnetgroups) {
        if (strcmp(entry->pathname, pathname) == 0)
            return entry;
    }
    return nullptr;
}

void free_xnetgroup_entry(xnetgroup_entry *entry) {
    if (entry == nullptr)
        return;
    free(entry->pathname);
    free(entry);
}

#include "hosk.h"
#include "model/list.h"
#include "model/model.h"
#include "records/convert.h"

#include <errno.h>
#include <syslog.h>

list_head xnets;

namespace {

enum XnetColumn {
    XN_PATHNAME = 0,
    XN_INT_VID = 5,
    XN_COL6 = 6, /* Ethernet: a number. FC: the attach mode */
    XN_ENABLED = 7,
    XN_COL8 = 8,
    XN_COL9 = 9,
    XN_ETH_COL10 = 10,
    XN_ETH_COL11 = 11,
    XN_FC_COL13 = 13,
};

constexpr keyword fc_attach_modes[] = {
    {"direct_attach", FC_ATTACH_DIRECT},
    {"LAN", FC_ATTACH_LAN},
};

/* The creators differ only in the parser and the message they log for
 * ENOMEM, which only the allocation here returns. */
int create(config_record record, xnet_entry **out_entry, int *out_duplicate,
           int (*parse)(config_record, xnet_entry *)) {
    *out_entry = nullptr;
    *out_duplicate = 0;

    xnet_entry *entry = alloc_entry<xnet_entry>();
    if (entry == nullptr)
        return ENOMEM;
    list_init(&entry->xnetgroups);
    if (parse(record, entry) != 0) {
        free_xnet_entry(entry);
        return CONFMODEL_REJECTED;
    }
    return insert_xnet_entry(out_entry, entry, out_duplicate);
}

} // namespace

int create_new_xnet(config_record record, xnet_entry **out_entry, int *out_duplicate) {
    int status = create(record, out_entry, out_duplicate, parse_xnet_data);
    if (status == ENOMEM)
        syslog(LOG_ERR, "no memory for xnet!\n");
    return status;
}

int create_new_fc_xnet(config_record record, xnet_entry **out_entry, int *out_duplicate) {
    int status = create(record, out_entry, out_duplicate, parse_fc_xnet_data);
    if (status == ENOMEM)
        syslog(LOG_ERR, "no memory for FC xnet!\n");
    return status;
}

int insert_xnet_entry(xnet_entry **out_entry, xnet_entry *entry, int *out_duplicate) {
    xnet_entry *listed = find_xnet_by_int_vid(entry->int_vid);
    if (listed != nullptr) {
        syslog(LOG_ERR, "duplicated xnet entry found!  path=%s vid=%d\n", listed->pathname,
               listed->int_vid);
        free_xnet_entry(entry);
        *out_entry = listed;
        *out_duplicate = 1;
        return 0;
    }
    list_append(&xnets, entry);
    *out_entry = entry;
    return 0;
}

int parse_xnet_data(config_record record, xnet_entry *entry) {
    entry->pathname = hosk_strdup(record[XN_PATHNAME]);
    if (entry->pathname == nullptr)
        return ENOMEM;
    entry->int_vid = conv_decimal(record[XN_INT_VID], -1);
    entry->col6_value = conv_decimal(record[XN_COL6], -1);
    entry->enabled = conv_enabled_flag(record[XN_ENABLED]);
    entry->eth_col8_flag = conv_true_flag(record[XN_COL8]);
    entry->eth_col9_flag = conv_true_flag(record[XN_COL9]);
    entry->eth_col10_flag = conv_true_flag(record[XN_ETH_COL10]);
    entry->eth11_fc13_flag = conv_true_flag(record[XN_ETH_COL11]);
    entry->preset_value = -1;
    entry->kind = XNET_KIND_ETHERNET;
    return 0;
}

int parse_fc_xnet_data(config_record record, xnet_entry *entry) {
    entry->pathname = hosk_strdup(record[XN_PATHNAME]);
    if (entry->pathname == nullptr)
        return ENOMEM;
    entry->int_vid = conv_decimal(record[XN_INT_VID], -1);
    entry->fc_attach_mode = conv_keyword(record[XN_COL6], fc_attach_modes);
    entry->enabled = conv_enabled_flag(record[XN_ENABLED]);
    entry->fc_col8_value = conv_decimal(record[XN_COL8], 0);
    entry->fc_col9_value = conv_decimal(record[XN_COL9], 0);
    entry->eth11_fc13_flag = conv_true_flag(record[XN_FC_COL13]);
    entry->preset_value = -1;
    entry->kind = XNET_KIND_FC;
    entry->eth_col10_flag = 1;
    entry->eth_col9_flag = 0;
    return 0;
}

xnet_entry *find_xnet_by_int_vid(int32_t vid) {
    LIST_FOREACH(xnet_entry, entry, &xnets) {
        if (entry->int_vid == vid)
            return entry;
    }
    return nullptr;
}

xnet_entry *find_xnet_by_name(const char *pathname) {
    LIST_FOREACH(xnet_entry, entry, &xnets) {
        if (strcmp(entry->pathname, pathname) == 0)
            return entry;
    }
    return nullptr;
}

void free_xnet_entry(xnet_entry *entry) {
    if (entry == nullptr)
        return;
    free(entry->pathname);
    free(entry);
}

void test_and_set_native_vlan(xnet_entry *xnet, int32_t portgroup_number) {
    xnet->is_native_vlan = 0;
    if (portgroup_number < 0)
        return;
    const portgroup_entry *group = find_portgrp_by_number(portgroup_number);
    if (group == nullptr) {
        syslog(LOG_ERR, "Portgroup #%d not found!", portgroup_number);
        return;
    }
    xnet->is_native_vlan = xnet->int_vid == group->native_vlan ? 1 : 0;
}

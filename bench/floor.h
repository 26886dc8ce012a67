// The floors: each record and each lookup done by hand, with only the work
// any implementation must do. A creation allocates a zero-filled entry, copies
// the pathname through the host, converts the columns the record kind has
// with the C library, makes the checks the behaviour needs (duplicate key,
// port group by name) and appends. A decoder converts the same columns the
// same way. A lookup is a bare loop over the same
// list's next pointers comparing the same key. Built in a file of its own and
// never inlined, so a floor pays one call just as the module's function does.
#ifndef CONFMODEL_BENCH_FLOOR_H
#define CONFMODEL_BENCH_FLOOR_H

#include "confmodel.h"

namespace by_hand {

portgroup_entry *create_portgroup(config_record record);
xnet_entry *create_xnet(config_record record);
xnet_entry *create_fc_xnet(config_record record);
xnetgroup_entry *create_xnetgroup(config_record record, xnet_entry *xnet);
xnetgroup_entry *create_fc_xnetgroup(config_record record, xnet_entry *xnet);

portgroup_entry *find_portgrp_by_number(int32_t number);
portgroup_entry *find_portgrp_by_name(const char *pathname);
portgroup_entry *find_ext_portgroup_for_port(int32_t port);
xnet_entry *find_xnet_by_int_vid(int32_t vid);
xnet_entry *find_xnet_by_name(const char *pathname);
xnetgroup_entry *find_xgrp_by_name_generic(const char *pathname, const char *separator);

// The port decoders: the same columns, converted with the C library.
int parse_subport_data(int32_t parent_port, config_record record, subport_data *subport);
int parse_port_protect_data(config_record record, port_protect_data *out);
int parse_subport_protect_data(config_record record, subport_protect_data *out);
int get_parent_port_number(const char *pathname);

// The store calls of a test-and-set in their order, with the two records it
// must build; nothing else.
int dcbx_pending_test_and_set(uintptr_t store_handle, uintptr_t device_key, const char *expected,
                              const char *new_value);

} // namespace by_hand

#endif

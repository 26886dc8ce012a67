/*
 * confmodel: the configuration model of the device, built from the records the
 * host reads out of its configuration store.
 *
 * Conventions
 *  1. Statuses: 0 success; ENOMEM (12) out of memory; EBUSY (16) a test-and-set
 *     found another value; EINVAL (22) a device key matched no device or several;
 *     CONFMODEL_REJECTED (-1) a creator whose parser refused the record;
 *     CONFMODEL_NO_PORTGROUP (1) an xnetgroup parser that found no port group.
 *     A configuration-store status other than 0 is passed through unchanged.
 *  2. Creators clear their out-parameters before any other work, so on failure
 *     the caller holds null.
 *  3. A listed entry belongs to its list, and so to the host. The module appends
 *     but never unlinks; the host unlinks an entry, then releases it with its
 *     free_* function. Each entry and each parsed subport owns a heap copy of its
 *     record's column 0 (`pathname`), released with free().
 *  4. Lookups scan in creation order and return the first match, or null. Name
 *     arguments must not be null.
 *  5. The host puts `portgroups` and `xnets` into the empty state before the
 *     first creation (first = NULL, tail_link = &first); the module never does.
 *  6. A record is an array of column strings, null where a column is absent. The
 *     host supplies the mandatory columns; should one be absent all the same,
 *     it converts as an empty column would (0 for numbers and bitmaps), and the
 *     module never reads through it. Column 0 is handed to hosk_strdup as it is.
 *  7. Members named host_* belong to the host. The module zeroes them when it
 *     allocates an entry, and free_subport_data zeroes a released subport's
 *     along with the rest; nothing else in the module touches them.
 *  8. Nothing is locked; the host serialises all calls that read or change the
 *     lists.
 *  9. The free_* functions accept null and then do nothing.
 */
#ifndef CONFMODEL_CONFMODEL_H
#define CONFMODEL_CONFMODEL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(CONFMODEL_BUILDING) && defined(__GNUC__)
#define CONFMODEL_API __attribute__((visibility("default")))
#else
#define CONFMODEL_API
#endif

/* Compile-time layout checks for every C and C++ a host may be written in;
 * static_assert only where the language has it. */
#if defined(__cplusplus) && __cplusplus >= 201103L
#define CONFMODEL_ASSERT(cond, name) static_assert(cond, #name)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define CONFMODEL_ASSERT(cond, name) _Static_assert(cond, #name)
#else
#define CONFMODEL_ASSERT(cond, name) typedef char confmodel_assert_##name[(cond) ? 1 : -1]
#endif

enum {
    CONFMODEL_REJECTED = -1,    /* creator: the parser refused the record */
    CONFMODEL_NO_PORTGROUP = 1  /* xnetgroup parser: port group not found */
};

/* One configuration-store record: nullable column strings, never written. */
typedef char *const *config_record;

/* Intrusive tail queue. Every entry begins with a list_link. */
typedef struct list_link {
    void *next;       /* next entry, null at the tail */
    void **prev_link; /* address of the pointer that points at this entry */
} list_link;

typedef struct list_head {
    void *first;      /* first entry, null when empty */
    void **tail_link; /* address of the last entry's next, or of first when empty */
} list_head;

/* Exported for the host's logging setup; the module never reads it. */
CONFMODEL_API extern int slog_level;

/* ---- Port groups ---------------------------------------------------------- */

typedef struct portgroup_entry {
    list_link link;               /* position in portgroups */
    char *pathname;               /* owned copy of column 0 */
    int32_t number;               /* column 3; unique on the list */
    int32_t xnetgroup_count;      /* raised once per xnetgroup bound */
    int32_t col5_value;           /* column 5 */
    int32_t col6_value;           /* column 6 */
    uint64_t ports_bitmap;        /* column 7; bit n is port n */
    uint64_t subport_union;       /* OR of subport_bitmaps */
    uint64_t subport_bitmaps[8];  /* columns 9..16, one per subport position */
    int32_t native_vlan;          /* column 8 */
    int32_t host_field;           /* host-owned */
    int32_t col18_flag;           /* column 18 is "true" */
    int32_t not_long;             /* 0 only when column 19 is "long" */
} portgroup_entry;

CONFMODEL_API extern list_head portgroups;

/* Returns 0 with *out_entry set, also for a duplicate number (then the entry
 * already listed, and the record is dropped), or ENOMEM with *out_entry null. */
CONFMODEL_API int create_new_portgroup(config_record record, portgroup_entry **out_entry);
CONFMODEL_API portgroup_entry *find_portgrp_by_number(int32_t number);
CONFMODEL_API portgroup_entry *find_portgrp_by_name(const char *pathname);
/* Only ports_bitmap is examined; a port outside 0..63 matches no group. */
CONFMODEL_API portgroup_entry *find_ext_portgroup_for_port(int32_t port);
/* Releases pathname and the entry; does not unlink. */
CONFMODEL_API void free_portgroup_entry(portgroup_entry *entry);

/* ---- Xnets ---------------------------------------------------------------- */

enum { XNET_KIND_ETHERNET = 0, XNET_KIND_FC = 1 };
enum { FC_ATTACH_NONE = 0, FC_ATTACH_DIRECT = 1, FC_ATTACH_LAN = 2 };

typedef struct xnet_entry {
    list_link link;           /* position in xnets */
    char *pathname;           /* owned copy of column 0 */
    int32_t int_vid;          /* column 5; -1 when absent; unique on the list */
    int32_t col6_value;       /* Ethernet: column 6, -1 when absent. FC: 0 */
    int32_t kind;             /* XNET_KIND_* */
    int32_t fc_col8_value;    /* FC: column 8 */
    int32_t fc_attach_mode;   /* FC: column 6, FC_ATTACH_* */
    int32_t fc_col9_value;    /* FC: column 9 */
    int32_t enabled;          /* column 7 is "enabled" */
    int32_t eth_col8_flag;    /* Ethernet: column 8 is "true" */
    int32_t is_native_vlan;   /* set by test_and_set_native_vlan */
    int32_t host_state_a;     /* host-owned */
    list_head xnetgroups;     /* this xnet's xnetgroups, in creation order */
    int32_t host_field;       /* host-owned */
    int32_t preset_value;     /* -1 at creation; never read by the module */
    int32_t eth_col9_flag;    /* Ethernet: column 9 is "true". FC: 0 */
    int32_t eth11_fc13_flag;  /* column 11 (Ethernet) or 13 (FC) is "true" */
    int32_t host_state_b;     /* host-owned */
    int32_t eth_col10_flag;   /* Ethernet: column 10 is "true". FC: 1 */
    int32_t host_state_c;     /* host-owned */
} xnet_entry;

CONFMODEL_API extern list_head xnets;

/* Return 0, ENOMEM, or CONFMODEL_REJECTED when the pathname copy failed. A
 * duplicate int_vid (either kind) returns 0, the listed entry and
 * *out_duplicate 1. */
CONFMODEL_API int create_new_xnet(config_record record, xnet_entry **out_entry, int *out_duplicate);
CONFMODEL_API int create_new_fc_xnet(config_record record, xnet_entry **out_entry, int *out_duplicate);
/* Fill a zeroed entry; leave xnetgroups alone. 0, or ENOMEM with pathname null. */
CONFMODEL_API int parse_xnet_data(config_record record, xnet_entry *entry);
CONFMODEL_API int parse_fc_xnet_data(config_record record, xnet_entry *entry);
CONFMODEL_API xnet_entry *find_xnet_by_int_vid(int32_t vid);
CONFMODEL_API xnet_entry *find_xnet_by_name(const char *pathname);
/* Releases pathname and the entry; neither unlinks it nor frees its xnetgroups. */
CONFMODEL_API void free_xnet_entry(xnet_entry *entry);
/* is_native_vlan = the group numbered portgroup_number has native_vlan equal to
 * the xnet's int_vid; 0 for a negative or unknown number. */
CONFMODEL_API void test_and_set_native_vlan(xnet_entry *xnet, int32_t portgroup_number);

/* ---- Xnetgroups ----------------------------------------------------------- */

enum {
    XGRP_ROLE_NONE = 0,
    XGRP_ROLE_EXTERNAL = 1,
    XGRP_ROLE_SERVER = 2,
    XGRP_ROLE_MTP = 3,
    XGRP_ROLE_INGRESS_MIRROR = 4,
    XGRP_ROLE_EGRESS_MIRROR = 5,
    XGRP_ROLE_FC = 6,
    XGRP_ROLE_SFLOW = 7
};

typedef struct xnetgroup_entry {
    list_link link;                /* position in the parent's xnetgroups */
    char *pathname;                /* owned copy of column 0 */
    struct xnet_entry *xnet;       /* parent, not owned */
    struct portgroup_entry *portgroup; /* bound group, not owned */
    int32_t role;                  /* XGRP_ROLE_*, from column 5 */
    int32_t portgroup_number;      /* group's number; -1 until bound */
    int32_t portgroup_col5_value;  /* group's col5_value */
    int32_t col7_value;            /* column 7; -1 when absent */
    int32_t portgroup_col18_flag;  /* Ethernet: group's col18_flag. FC: 0 */
    uint64_t ports_bitmap;         /* group's bitmaps, copied at creation */
    uint64_t subport_union;
    uint64_t subport_bitmaps[8];
    int32_t host_state;            /* host-owned */
} xnetgroup_entry;

/* Return 0, ENOMEM, or CONFMODEL_REJECTED when the pathname copy failed or the
 * port group named in column 6 was not found (logged by the parser). The entry
 * is appended to xnet->xnetgroups; there is no duplicate check. */
CONFMODEL_API int create_new_xnetgroup(config_record record, xnet_entry *xnet, xnetgroup_entry **out_entry);
CONFMODEL_API int create_new_fc_xnetgroup(config_record record, xnet_entry *xnet, xnetgroup_entry **out_entry);
/* 0 when bound, CONFMODEL_NO_PORTGROUP, or ENOMEM when the pathname copy failed.
 * An absent column 6 shows as "()" in the log line. */
CONFMODEL_API int parse_xnetgroup_data(config_record record, xnet_entry *xnet, xnetgroup_entry *entry);
CONFMODEL_API int parse_fc_xnetgroup_data(config_record record, xnet_entry *xnet, xnetgroup_entry *entry);
/* pathname is "<xnet pathname><separator><rest>", at most 36 characters; the
 * first occurrence of separator ends the xnet's pathname. */
CONFMODEL_API xnetgroup_entry *find_xgrp_by_name_generic(const char *pathname, const char *separator);
/* Releases pathname and the entry; neither unlinks it nor lowers the group's
 * xnetgroup_count. */
CONFMODEL_API void free_xnetgroup_entry(xnetgroup_entry *entry);

/* ---- Port records ---------------------------------------------------------
 * Decoded into structures the caller owns; nothing is listed or logged. */

typedef struct subport_data {
    int32_t in_use;           /* 1 once a parse has succeeded */
    char *pathname;           /* owned copy of column 0 */
    int32_t parent_port;      /* the parse's parent_port argument */
    int32_t col5_value;       /* column 5 */
    int32_t enabled;          /* column 9 is "enabled" */
    int32_t host_state_a;     /* host-owned */
    int32_t col10_value;      /* column 10 */
    int32_t col11_value;      /* column 11 */
    int32_t host_field;       /* host-owned */
    int32_t col16_flag;       /* column 16 is "true" */
    uint32_t col17_hex;       /* column 17, hex */
    int32_t host_state_b;     /* host-owned */
    int32_t is_fcoe;          /* column 7 is "FCoE" */
    int32_t host_state_c;     /* host-owned */
} subport_data;

enum { PROTECT_NONE = 0, PROTECT_DISABLED = 1, PROTECT_ENABLED = 2, PROTECT_DETECTION_ONLY = 3 };
enum { LOOP_STATE_NONE = 0, LOOP_STATE_DETECTED = 1 };
enum { PAUSE_STATE_NONE = 0, PAUSE_STATE_FLOOD_DETECTED = 1, PAUSE_STATE_IN_PAUSE = 2 };

typedef struct port_protect_data {
    int32_t loop_protect;     /* column 4: PROTECT_NONE, _DISABLED or _ENABLED */
    int32_t loop_state;       /* column 5: LOOP_STATE_* */
    int32_t host_field;       /* host-owned */
    int32_t pause_protect;    /* column 6: PROTECT_* */
    int32_t pause_state;      /* column 7: PAUSE_STATE_* */
    uint64_t col8_value;      /* column 8, a 32-bit number zero-extended */
} port_protect_data;

typedef struct subport_protect_data {
    int32_t loop_protect;     /* column 5: PROTECT_NONE, _DISABLED or _ENABLED */
    int32_t loop_state;       /* column 6: LOOP_STATE_* */
} subport_protect_data;

/* 0, or ENOMEM when the pathname copy failed (then only pathname, null, was
 * stored). Host-owned members are left as they were. Release an earlier parse
 * with free_subport_data first. */
CONFMODEL_API int parse_subport_data(int32_t parent_port, config_record record, subport_data *subport);
/* When in_use: frees pathname and zeroes the whole structure. Otherwise nothing. */
CONFMODEL_API void free_subport_data(subport_data *subport);
/* Always 0. */
CONFMODEL_API int parse_port_protect_data(config_record record, port_protect_data *out);
CONFMODEL_API int parse_subport_protect_data(config_record record, subport_protect_data *out);
/* "/ports/port<n>..." gives n - 1; -1 when no number is there, or for null. */
CONFMODEL_API int get_parent_port_number(const char *pathname);

/* ---- DCBX pending flag ----------------------------------------------------
 * Each call runs in one configuration-store transaction: committed on success,
 * aborted on every failure. store_handle and device_key are the host's opaque
 * values. Returns 0, EBUSY when the stored value differs from expected, EINVAL
 * when device_key matches no device or several, or the failing store call's
 * status. A stored value that is absent equals no expected string: EBUSY. */

CONFMODEL_API int dcbx_pending_test_and_set(uintptr_t store_handle, uintptr_t device_key,
                                            const char *expected, const char *new_value);
/* Write "true" / "false" without reading first. */
CONFMODEL_API int dcbx_pending_set(uintptr_t store_handle, uintptr_t device_key);
CONFMODEL_API int dcbx_pending_reset(uintptr_t store_handle, uintptr_t device_key);

/* ---- Layout ---------------------------------------------------------------
 * Hosts are compiled against these structures, so their layout is part of the
 * interface. On every build each member must follow the one before it; for the
 * device (32-bit PowerPC: 4-byte pointers, 8-byte aligned uint64_t) every
 * offset and size is pinned as well. A member moved, dropped or widened fails
 * the build. */

#define CONFMODEL_FOLLOWS(type, before, after) \
    CONFMODEL_ASSERT(offsetof(type, before) < offsetof(type, after), type##_##after##_follows_##before)

CONFMODEL_ASSERT(offsetof(list_link, next) == 0 && offsetof(list_head, first) == 0, list_next_first);
CONFMODEL_ASSERT(offsetof(portgroup_entry, link) == 0, portgroup_link_first);
CONFMODEL_ASSERT(offsetof(xnet_entry, link) == 0, xnet_link_first);
CONFMODEL_ASSERT(offsetof(xnetgroup_entry, link) == 0, xnetgroup_link_first);
CONFMODEL_ASSERT(offsetof(subport_data, in_use) == 0, subport_in_use_first);
CONFMODEL_ASSERT(offsetof(port_protect_data, loop_protect) == 0, port_protect_loop_protect_first);
CONFMODEL_ASSERT(offsetof(subport_protect_data, loop_protect) == 0, subport_protect_loop_protect_first);

CONFMODEL_FOLLOWS(list_link, next, prev_link);
CONFMODEL_FOLLOWS(list_head, first, tail_link);

CONFMODEL_FOLLOWS(portgroup_entry, link, pathname);
CONFMODEL_FOLLOWS(portgroup_entry, pathname, number);
CONFMODEL_FOLLOWS(portgroup_entry, number, xnetgroup_count);
CONFMODEL_FOLLOWS(portgroup_entry, xnetgroup_count, col5_value);
CONFMODEL_FOLLOWS(portgroup_entry, col5_value, col6_value);
CONFMODEL_FOLLOWS(portgroup_entry, col6_value, ports_bitmap);
CONFMODEL_FOLLOWS(portgroup_entry, ports_bitmap, subport_union);
CONFMODEL_FOLLOWS(portgroup_entry, subport_union, subport_bitmaps);
CONFMODEL_FOLLOWS(portgroup_entry, subport_bitmaps, native_vlan);
CONFMODEL_FOLLOWS(portgroup_entry, native_vlan, host_field);
CONFMODEL_FOLLOWS(portgroup_entry, host_field, col18_flag);
CONFMODEL_FOLLOWS(portgroup_entry, col18_flag, not_long);

CONFMODEL_FOLLOWS(xnet_entry, link, pathname);
CONFMODEL_FOLLOWS(xnet_entry, pathname, int_vid);
CONFMODEL_FOLLOWS(xnet_entry, int_vid, col6_value);
CONFMODEL_FOLLOWS(xnet_entry, col6_value, kind);
CONFMODEL_FOLLOWS(xnet_entry, kind, fc_col8_value);
CONFMODEL_FOLLOWS(xnet_entry, fc_col8_value, fc_attach_mode);
CONFMODEL_FOLLOWS(xnet_entry, fc_attach_mode, fc_col9_value);
CONFMODEL_FOLLOWS(xnet_entry, fc_col9_value, enabled);
CONFMODEL_FOLLOWS(xnet_entry, enabled, eth_col8_flag);
CONFMODEL_FOLLOWS(xnet_entry, eth_col8_flag, is_native_vlan);
CONFMODEL_FOLLOWS(xnet_entry, is_native_vlan, host_state_a);
CONFMODEL_FOLLOWS(xnet_entry, host_state_a, xnetgroups);
CONFMODEL_FOLLOWS(xnet_entry, xnetgroups, host_field);
CONFMODEL_FOLLOWS(xnet_entry, host_field, preset_value);
CONFMODEL_FOLLOWS(xnet_entry, preset_value, eth_col9_flag);
CONFMODEL_FOLLOWS(xnet_entry, eth_col9_flag, eth11_fc13_flag);
CONFMODEL_FOLLOWS(xnet_entry, eth11_fc13_flag, host_state_b);
CONFMODEL_FOLLOWS(xnet_entry, host_state_b, eth_col10_flag);
CONFMODEL_FOLLOWS(xnet_entry, eth_col10_flag, host_state_c);

CONFMODEL_FOLLOWS(xnetgroup_entry, link, pathname);
CONFMODEL_FOLLOWS(xnetgroup_entry, pathname, xnet);
CONFMODEL_FOLLOWS(xnetgroup_entry, xnet, portgroup);
CONFMODEL_FOLLOWS(xnetgroup_entry, portgroup, role);
CONFMODEL_FOLLOWS(xnetgroup_entry, role, portgroup_number);
CONFMODEL_FOLLOWS(xnetgroup_entry, portgroup_number, portgroup_col5_value);
CONFMODEL_FOLLOWS(xnetgroup_entry, portgroup_col5_value, col7_value);
CONFMODEL_FOLLOWS(xnetgroup_entry, col7_value, portgroup_col18_flag);
CONFMODEL_FOLLOWS(xnetgroup_entry, portgroup_col18_flag, ports_bitmap);
CONFMODEL_FOLLOWS(xnetgroup_entry, ports_bitmap, subport_union);
CONFMODEL_FOLLOWS(xnetgroup_entry, subport_union, subport_bitmaps);
CONFMODEL_FOLLOWS(xnetgroup_entry, subport_bitmaps, host_state);

CONFMODEL_FOLLOWS(subport_data, in_use, pathname);
CONFMODEL_FOLLOWS(subport_data, pathname, parent_port);
CONFMODEL_FOLLOWS(subport_data, parent_port, col5_value);
CONFMODEL_FOLLOWS(subport_data, col5_value, enabled);
CONFMODEL_FOLLOWS(subport_data, enabled, host_state_a);
CONFMODEL_FOLLOWS(subport_data, host_state_a, col10_value);
CONFMODEL_FOLLOWS(subport_data, col10_value, col11_value);
CONFMODEL_FOLLOWS(subport_data, col11_value, host_field);
CONFMODEL_FOLLOWS(subport_data, host_field, col16_flag);
CONFMODEL_FOLLOWS(subport_data, col16_flag, col17_hex);
CONFMODEL_FOLLOWS(subport_data, col17_hex, host_state_b);
CONFMODEL_FOLLOWS(subport_data, host_state_b, is_fcoe);
CONFMODEL_FOLLOWS(subport_data, is_fcoe, host_state_c);

CONFMODEL_FOLLOWS(port_protect_data, loop_protect, loop_state);
CONFMODEL_FOLLOWS(port_protect_data, loop_state, host_field);
CONFMODEL_FOLLOWS(port_protect_data, host_field, pause_protect);
CONFMODEL_FOLLOWS(port_protect_data, pause_protect, pause_state);
CONFMODEL_FOLLOWS(port_protect_data, pause_state, col8_value);

CONFMODEL_FOLLOWS(subport_protect_data, loop_protect, loop_state);

#undef CONFMODEL_FOLLOWS

#if defined(__powerpc__) && !defined(__powerpc64__)
#define CONFMODEL_AT(type, member, offset) \
    CONFMODEL_ASSERT(offsetof(type, member) == (offset), type##_##member##_at_##offset)
#define CONFMODEL_SIZE(type, size) CONFMODEL_ASSERT(sizeof(type) == (size), type##_is_##size##_bytes)

CONFMODEL_SIZE(list_link, 8);
CONFMODEL_SIZE(list_head, 8);

CONFMODEL_AT(portgroup_entry, pathname, 8);
CONFMODEL_AT(portgroup_entry, number, 12);
CONFMODEL_AT(portgroup_entry, xnetgroup_count, 16);
CONFMODEL_AT(portgroup_entry, col5_value, 20);
CONFMODEL_AT(portgroup_entry, col6_value, 24);
CONFMODEL_AT(portgroup_entry, ports_bitmap, 32);
CONFMODEL_AT(portgroup_entry, subport_union, 40);
CONFMODEL_AT(portgroup_entry, subport_bitmaps, 48);
CONFMODEL_AT(portgroup_entry, native_vlan, 112);
CONFMODEL_AT(portgroup_entry, host_field, 116);
CONFMODEL_AT(portgroup_entry, col18_flag, 120);
CONFMODEL_AT(portgroup_entry, not_long, 124);
CONFMODEL_SIZE(portgroup_entry, 128);

CONFMODEL_AT(xnet_entry, pathname, 8);
CONFMODEL_AT(xnet_entry, int_vid, 12);
CONFMODEL_AT(xnet_entry, col6_value, 16);
CONFMODEL_AT(xnet_entry, kind, 20);
CONFMODEL_AT(xnet_entry, fc_col8_value, 24);
CONFMODEL_AT(xnet_entry, fc_attach_mode, 28);
CONFMODEL_AT(xnet_entry, fc_col9_value, 32);
CONFMODEL_AT(xnet_entry, enabled, 36);
CONFMODEL_AT(xnet_entry, eth_col8_flag, 40);
CONFMODEL_AT(xnet_entry, is_native_vlan, 44);
CONFMODEL_AT(xnet_entry, host_state_a, 48);
CONFMODEL_AT(xnet_entry, xnetgroups, 52);
CONFMODEL_AT(xnet_entry, host_field, 60);
CONFMODEL_AT(xnet_entry, preset_value, 64);
CONFMODEL_AT(xnet_entry, eth_col9_flag, 68);
CONFMODEL_AT(xnet_entry, eth11_fc13_flag, 72);
CONFMODEL_AT(xnet_entry, host_state_b, 76);
CONFMODEL_AT(xnet_entry, eth_col10_flag, 80);
CONFMODEL_AT(xnet_entry, host_state_c, 84);
CONFMODEL_SIZE(xnet_entry, 88);

CONFMODEL_AT(xnetgroup_entry, pathname, 8);
CONFMODEL_AT(xnetgroup_entry, xnet, 12);
CONFMODEL_AT(xnetgroup_entry, portgroup, 16);
CONFMODEL_AT(xnetgroup_entry, role, 20);
CONFMODEL_AT(xnetgroup_entry, portgroup_number, 24);
CONFMODEL_AT(xnetgroup_entry, portgroup_col5_value, 28);
CONFMODEL_AT(xnetgroup_entry, col7_value, 32);
CONFMODEL_AT(xnetgroup_entry, portgroup_col18_flag, 36);
CONFMODEL_AT(xnetgroup_entry, ports_bitmap, 40);
CONFMODEL_AT(xnetgroup_entry, subport_union, 48);
CONFMODEL_AT(xnetgroup_entry, subport_bitmaps, 56);
CONFMODEL_AT(xnetgroup_entry, host_state, 120);
CONFMODEL_SIZE(xnetgroup_entry, 128);

CONFMODEL_AT(subport_data, pathname, 4);
CONFMODEL_AT(subport_data, parent_port, 8);
CONFMODEL_AT(subport_data, col5_value, 12);
CONFMODEL_AT(subport_data, enabled, 16);
CONFMODEL_AT(subport_data, host_state_a, 20);
CONFMODEL_AT(subport_data, col10_value, 24);
CONFMODEL_AT(subport_data, col11_value, 28);
CONFMODEL_AT(subport_data, host_field, 32);
CONFMODEL_AT(subport_data, col16_flag, 36);
CONFMODEL_AT(subport_data, col17_hex, 40);
CONFMODEL_AT(subport_data, host_state_b, 44);
CONFMODEL_AT(subport_data, is_fcoe, 48);
CONFMODEL_AT(subport_data, host_state_c, 52);
CONFMODEL_SIZE(subport_data, 56);

CONFMODEL_AT(port_protect_data, loop_state, 4);
CONFMODEL_AT(port_protect_data, host_field, 8);
CONFMODEL_AT(port_protect_data, pause_protect, 12);
CONFMODEL_AT(port_protect_data, pause_state, 16);
CONFMODEL_AT(port_protect_data, col8_value, 24);
CONFMODEL_SIZE(port_protect_data, 32);

CONFMODEL_AT(subport_protect_data, loop_state, 4);
CONFMODEL_SIZE(subport_protect_data, 8);

#undef CONFMODEL_AT
#undef CONFMODEL_SIZE
#endif

#ifdef __cplusplus
}
#endif

#endif /* CONFMODEL_CONFMODEL_H */

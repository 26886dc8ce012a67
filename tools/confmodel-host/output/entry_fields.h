// The fields of each entry's description, in order, handed to a visitor:
// the JSON view builds them as JSON, a snapshot writes them as compact text,
// the model's JSON view writes port records and remote devices as they come.
// A visitor takes text(), number(), unsigned_number(), flag(), null(),
// positions() (a port group's subport bitmaps) and begin()/end() of an
// inner object. The text and graph views read the same entries' fields.
#ifndef CONFMODEL_HOST_OUTPUT_ENTRY_FIELDS_H
#define CONFMODEL_HOST_OUTPUT_ENTRY_FIELDS_H

#include "running/labels.h"
#include "running/model.h"

#include <cstdint>
#include <string>
#include <string_view>

// Ports as 1-based ranges, as pathnames number ports: bits 0-3 and 6 give "1-4,7".
std::string port_ranges(uint64_t bitmap);

// "0x" and the value's lowercase hex digits, at least `digits` of them.
std::string hex(uint64_t value, int digits);

// A keyword of the module's, "?" for a value none gives.
template <size_t N> const char *name_of(const char *const (&names)[N], int32_t value) {
    return value >= 0 && static_cast<size_t>(value) < N ? names[value] : "?";
}

inline const char *const attach_names[] = {"none", "direct_attach", "LAN"};
inline const char *const protect_names[] = {"unset", "disabled", "enabled", "detection_only"};
inline const char *const loop_state_names[] = {"none", "loop_detected"};
inline const char *const pause_state_names[] = {"none", "pause_flood_detected", "in_pause_condition"};

// Calls visit(position, ports) for each subport position that has ports.
template <typename Visit> void each_position(const uint64_t (&bitmaps)[8], Visit visit) {
    for (int i = 0; i < 8; i++)
        if (bitmaps[i] != 0) visit(i, port_ranges(bitmaps[i]));
}

template <typename Visit> void portgroup_fields(const portgroup_entry &group, Visit &v) {
    v.number("number", group.number);
    v.text("pathname", group.pathname);
    v.text("ports", port_ranges(group.ports_bitmap));
    v.text("ports_bitmap", hex(group.ports_bitmap, 16));
    v.positions("subports", group.subport_bitmaps);
    v.text("subport_union", hex(group.subport_union, 16));
    v.text("subport_ports", port_ranges(group.subport_union));
    v.number("native_vlan", group.native_vlan);
    v.number("xnetgroup_count", group.xnetgroup_count);
    v.number("col5_value", group.col5_value);
    v.number("col6_value", group.col6_value);
    v.flag("col18_flag", group.col18_flag != 0);
    v.flag("not_long", group.not_long != 0);
}

template <typename Visit> void xnetgroup_fields(const xnetgroup_entry &group, Visit &v) {
    v.text("pathname", group.pathname);
    v.text("xnet", group.xnet->pathname);
    v.text("role", role_name(group.role));
    v.number("portgroup_number", group.portgroup_number);
    v.text("portgroup", group.portgroup->pathname);
    v.number("col7_value", group.col7_value);
    v.number("portgroup_col5_value", group.portgroup_col5_value);
    v.flag("portgroup_col18_flag", group.portgroup_col18_flag != 0);
    v.text("ports", port_ranges(group.ports_bitmap));
    v.positions("subports", group.subport_bitmaps);
}

// Every field, whatever the kind: the module sets those of the other kind
// too (an FC xnet's eth_col10_flag is 1), and a change of kind shows what it
// holds.
template <typename Visit> void xnet_fields(const xnet_entry &xnet, Visit &v) {
    v.text("pathname", xnet.pathname);
    v.text("kind", xnet.kind == XNET_KIND_FC ? "fc" : "ethernet");
    v.number("int_vid", xnet.int_vid);
    v.flag("enabled", xnet.enabled != 0);
    v.flag("is_native_vlan", xnet.is_native_vlan != 0);
    v.number("native_vlan_portgroup", native_vlan_portgroup(xnet));
    v.text("fc_attach_mode", name_of(attach_names, xnet.fc_attach_mode));
    v.number("fc_col8_value", xnet.fc_col8_value);
    v.number("fc_col9_value", xnet.fc_col9_value);
    v.number("col6_value", xnet.col6_value);
    v.flag("eth_col8_flag", xnet.eth_col8_flag != 0);
    v.flag("eth_col9_flag", xnet.eth_col9_flag != 0);
    v.flag("eth_col10_flag", xnet.eth_col10_flag != 0);
    v.flag("eth11_fc13_flag", xnet.eth11_fc13_flag != 0);
}

template <typename Visit> void subport_fields(const subport_data &s, Visit &v) {
    v.text("pathname", s.pathname);
    v.number("parent_port", s.parent_port);
    v.number("col5_value", s.col5_value);
    v.flag("enabled", s.enabled != 0);
    v.number("col10_value", s.col10_value);
    v.number("col11_value", s.col11_value);
    v.flag("col16_flag", s.col16_flag != 0);
    v.text("col17_hex", hex(s.col17_hex, 8));
    v.flag("is_fcoe", s.is_fcoe != 0);
}

template <typename Visit>
void port_protect_fields(std::string_view pathname, const port_protect_data &p, Visit &v) {
    v.text("pathname", pathname);
    v.text("loop_protect", name_of(protect_names, p.loop_protect));
    v.text("loop_state", name_of(loop_state_names, p.loop_state));
    v.text("pause_protect", name_of(protect_names, p.pause_protect));
    v.text("pause_state", name_of(pause_state_names, p.pause_state));
    v.unsigned_number("col8_value", p.col8_value);
}

template <typename Visit>
void subport_protect_fields(std::string_view pathname, const subport_protect_data &p, Visit &v) {
    v.text("pathname", pathname);
    v.text("loop_protect", name_of(protect_names, p.loop_protect));
    v.text("loop_state", name_of(loop_state_names, p.loop_state));
}

// A remote device: the key, the DCBX-pending flag, and the store's other
// fields where it has any.
template <typename Visit> void remote_device_fields(const Record &device, Visit &v) {
    v.unsigned_number("key", device_key(device));
    if (const char *pending = device.column(REMOTE_DEVICE_DCBX_PENDING))
        v.text("dcbx_pending", pending);
    else
        v.null("dcbx_pending");
    bool others = false;
    for (int n = 1; n < MAX_COLUMNS; n++) {
        const char *text = device.column(n);
        if (n == REMOTE_DEVICE_DCBX_PENDING || text == nullptr) continue;
        if (!others) v.begin("fields");
        others = true;
        v.text(column_name(n), text);
    }
    if (others) v.end();
}

#endif

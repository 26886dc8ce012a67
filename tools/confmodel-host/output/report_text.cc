#include "output/report_text.h"

#include "confmodel_lists.h"
#include "input/text.h"
#include "output/entry_fields.h"
#include "output/json.h"

#include <cstdio>

namespace {

const char *yes_no(int flag) {
    return flag != 0 ? "yes" : "no";
}

std::string or_none(const std::string &text) {
    return text.empty() ? "none" : text;
}

std::string positions_text(const uint64_t (&bitmaps)[8]) {
    std::string text;
    each_position(bitmaps, [&](int position, const std::string &ports) {
        text += (text.empty() ? "" : "; ") + std::string("position ") + std::to_string(position) + ": " + ports;
    });
    return or_none(text);
}

// One "label  value" line under an entry's heading.
void field(std::ostream &out, const char *label, const std::string &value) {
    char padded[16];
    snprintf(padded, sizeof padded, "%-13s", label);
    out << "      " << padded << value << "\n";
}

} // namespace

void print_portgroup(std::ostream &out, const portgroup_entry &g) {
    out << "  #" << g.number << " " << escaped(g.pathname) << "\n";
    field(out, "ports", or_none(port_ranges(g.ports_bitmap)));
    field(out, "subports", positions_text(g.subport_bitmaps));
    field(out, "native VLAN", std::to_string(g.native_vlan));
    field(out, "xnetgroups", std::to_string(g.xnetgroup_count));
    field(out, "columns",
          "col5 " + std::to_string(g.col5_value) + ", col6 " + std::to_string(g.col6_value) +
              ", col18 flag " + yes_no(g.col18_flag) + ", long " + (g.not_long ? "no" : "yes"));
}

void print_xnetgroup(std::ostream &out, const xnetgroup_entry &g) {
    field(out, "xnetgroup",
          escaped(g.pathname) + ": " + role_name(g.role) + " on #" + std::to_string(g.portgroup_number) +
              " " + escaped(g.portgroup->pathname) + ", col7 " + std::to_string(g.col7_value));
}

void print_xnet(std::ostream &out, const xnet_entry &x) {
    const bool fc = x.kind == XNET_KIND_FC;
    const int32_t tested = native_vlan_portgroup(x);
    std::string native = x.is_native_vlan ? "native VLAN of #" + std::to_string(tested)
                         : tested < 0     ? "not native (no xnetgroup)"
                                          : "not native on #" + std::to_string(tested);
    out << "  " << (fc ? "FC " : "Ethernet ") << escaped(x.pathname) << ": VLAN " << x.int_vid << ", "
        << (x.enabled ? "enabled" : "disabled") << ", " << native << "\n";
    if (fc)
        field(out, "columns",
              std::string("attach ") + name_of(attach_names, x.fc_attach_mode) + ", col8 " +
                  std::to_string(x.fc_col8_value) + ", col9 " + std::to_string(x.fc_col9_value) +
                  ", col13 flag " + yes_no(x.eth11_fc13_flag));
    else
        field(out, "columns",
              "col6 " + std::to_string(x.col6_value) + ", col8 flag " + yes_no(x.eth_col8_flag) +
                  ", col9 flag " + yes_no(x.eth_col9_flag) + ", col10 flag " + yes_no(x.eth_col10_flag) +
                  ", col11 flag " + yes_no(x.eth11_fc13_flag));
    bool groups = false;
    CONFMODEL_LIST_FOREACH(const xnetgroup_entry, g, &x.xnetgroups) {
        print_xnetgroup(out, *g);
        groups = true;
    }
    if (!groups) field(out, "xnetgroups", "none");
}

void print_subport(std::string &out, const subport_data &s) {
    out += "  ";
    append_escaped(out, s.pathname);
    out += ": parent port ";
    append_number(out, s.parent_port);
    if (s.parent_port >= 0 && s.parent_port < INT32_MAX) {
        out += " (/ports/port";
        append_number(out, s.parent_port + 1);
        out += ')';
    }
    out += s.enabled ? ", enabled" : ", disabled";
    if (s.is_fcoe) out += ", FCoE";
    out += "\n      columns      col5 ";
    append_number(out, s.col5_value);
    out += ", col10 ";
    append_number(out, s.col10_value);
    out += ", col11 ";
    append_number(out, s.col11_value);
    out += s.col16_flag ? ", col16 flag yes, col17 " : ", col16 flag no, col17 ";
    out += hex(s.col17_hex, 8);
    out += '\n';
}

void print_port_protect(std::string &out, std::string_view pathname, const port_protect_data &p) {
    out += "  ";
    append_escaped(out, pathname);
    out.append(": loop ").append(name_of(protect_names, p.loop_protect));
    out.append(" (").append(name_of(loop_state_names, p.loop_state));
    out.append("), pause ").append(name_of(protect_names, p.pause_protect));
    out.append(" (").append(name_of(pause_state_names, p.pause_state)).append("), col8 ");
    append_number(out, p.col8_value);
    out += '\n';
}

void print_subport_protect(std::string &out, std::string_view pathname,
                           const subport_protect_data &p) {
    out += "  ";
    append_escaped(out, pathname);
    out.append(": loop ").append(name_of(protect_names, p.loop_protect));
    out.append(" (").append(name_of(loop_state_names, p.loop_state)).append(")\n");
}

void print_remote_device(std::string &out, const Record &device) {
    out.append("  ").append(device.column(REMOTE_DEVICE_KEY)).append(": dcbx_pending ");
    if (const char *pending = device.column(REMOTE_DEVICE_DCBX_PENDING)) {
        out += '"';
        append_escaped(out, pending);
        out += "\"\n";
    } else {
        out += "null\n";
    }
}


#include "output/report.h"

#include "output/vocabulary.h"

#include "model/list.h"
#include "input/text.h"
#include "output/json.h"

#include <cstdio>
#include <unordered_map>

using json = ojson;

namespace {

template <size_t N> const char *name_of(const char *const (&names)[N], int32_t value) {
    return value >= 0 && static_cast<size_t>(value) < N ? names[value] : "?";
}

const char *const attach_names[] = {"none", "direct_attach", "LAN"};
const char *const protect_names[] = {"unset", "disabled", "enabled", "detection_only"};
const char *const loop_state_names[] = {"none", "loop_detected"};
const char *const pause_state_names[] = {"none", "pause_flood_detected", "in_pause_condition"};

// "0x" and the value's lowercase hex digits, at least `digits` of them.
std::string hex(uint64_t value, int digits) {
    char text[2 + 16];
    char *end = text + sizeof text, *p = end;
    do {
        *--p = "0123456789abcdef"[value & 15];
        value >>= 4;
    } while (value != 0);
    while (end - p < digits)
        *--p = '0';
    *--p = 'x';
    *--p = '0';
    return std::string(p, end);
}

// Calls visit(position, ports) for each subport position that has ports.
template <typename Visit> void each_position(const uint64_t (&bitmaps)[8], Visit visit) {
    for (int i = 0; i < 8; i++)
        if (bitmaps[i] != 0) visit(i, port_ranges(bitmaps[i]));
}

json subport_positions(const uint64_t (&bitmaps)[8]) {
    json positions = json::array();
    each_position(bitmaps, [&](int position, const std::string &ports) {
        positions.push_back({{"position", position}, {"ports", ports}});
    });
    return positions;
}

std::string yes_no(const json &flag) {
    return flag.get<bool>() ? "yes" : "no";
}

std::string or_none(const std::string &text) {
    return text.empty() ? "none" : text;
}

// A text field of a description, shown safely: it came from the dump.
std::string str(const json &value) {
    return escaped(value.get_ref<const std::string &>());
}

std::string positions_text(const json &positions) {
    std::string text;
    for (const json &p : positions)
        text += (text.empty() ? "" : "; ") + std::string("position ") +
                std::to_string(p["position"].get<int>()) + ": " + p["ports"].get<std::string>();
    return or_none(text);
}

// One "label  value" line under an entry's heading.
void field(std::ostream &out, const char *label, const std::string &value) {
    char padded[16];
    snprintf(padded, sizeof padded, "%-13s", label);
    out << "      " << padded << value << "\n";
}

std::string number(const json &value) {
    return value.dump();
}

// A Graphviz quoted string of lines. Each line shows as escaped() shows it,
// then backslashes, quotes and '&' are escaped for DOT, so that nothing in a
// name can act in the picture: no escape such as "\\N" and no entity such as
// "&#10;", which would break a line. Only the lines given are lines.
std::string dot_quoted(const std::vector<std::string> &lines) {
    std::string out = "\"";
    for (const std::string &line : lines) {
        if (out.size() > 1) out += "\\n";
        for (char c : escaped(line))
            out += c == '\\' ? "\\\\" : c == '"' ? "\\\"" : c == '&' ? "&amp;" : std::string(1, c);
    }
    return out + "\"";
}

void dot_portgroup(std::ostream &out, const json &g) {
    std::vector<std::string> label = {"#" + number(g["number"]) + " " + g["pathname"].get<std::string>(),
                                      "ports " + or_none(g["ports"])};
    if (g["subport_ports"] != "") label.push_back("subports of " + g["subport_ports"].get<std::string>());
    label.push_back("native VLAN " + number(g["native_vlan"]));
    out << "  " << dot_quoted({"pg" + number(g["number"])}) << " [shape=box3d, label="
        << dot_quoted(label) << "];\n";
}

void dot_xnet(std::ostream &out, const json &x, size_t index) {
    std::string xid = dot_quoted({"x" + std::to_string(index)});
    const bool enabled = x["enabled"].get<bool>();
    std::vector<std::string> label = {
        x["pathname"].get<std::string>(),
        (x["kind"] == "fc" ? "FC" : "Ethernet") + std::string(" VLAN ") + number(x["int_vid"])};
    if (!enabled) label.push_back("disabled");
    out << "  " << xid << " [shape=box, style=" << (enabled ? "rounded" : "\"rounded,filled\", fillcolor=grey85")
        << (x["is_native_vlan"].get<bool>() ? ", penwidth=2" : "") << ", label=" << dot_quoted(label)
        << "];\n";
    int gi = 0;
    for (const json &g : x["xnetgroups"]) {
        std::string gid = dot_quoted({"x" + std::to_string(index) + "g" + std::to_string(gi++)});
        out << "  " << gid << " [shape=ellipse, label="
            << dot_quoted({g["pathname"].get<std::string>(), g["role"].get<std::string>()}) << "];\n";
        out << "  " << xid << " -> " << gid << ";\n";
        out << "  " << gid << " -> " << dot_quoted({"pg" + number(g["portgroup_number"])}) << ";\n";
    }
}

// Records that list no entry, drawn dashed: a duplicate grey, with an edge
// to the entry listed in its place; a refused one red, with an edge from the
// xnet it was filed under.
void dot_unlisted(std::ostream &out, const HostModel &model, const Dump &dump) {
    std::unordered_map<const void *, std::string> xnet_node; // as dot_xnet names them
    size_t index = 0;
    LIST_FOREACH(const xnet_entry, xnet, model.module().xnets) {
        xnet_node.emplace(xnet, "x" + std::to_string(index++));
    }
    size_t n = 0;
    for (const Record &record : dump.records) {
        const bool xnet = is_xnet(record.table), xnetgroup = is_xnetgroup(record.table);
        if (record.table != Table::portgroup && !xnet && !xnetgroup) continue;
        const void *answer = model.answer(record);
        if (answer != nullptr && &model.origin(answer) == &record) continue;
        const std::string id = dot_quoted({"r" + std::to_string(n++)});
        const char *color = answer != nullptr ? "grey50" : "red3";
        std::vector<std::string> label = {record.column(0)};
        std::string edge;
        if (answer == nullptr) {
            const xnet_entry *parent = xnetgroup ? model.filed_under(record) : nullptr;
            label.push_back(xnetgroup && parent == nullptr ? "skipped: its xnet is not listed"
                                                           : "refused by the module");
            if (parent != nullptr) edge = dot_quoted({xnet_node.at(parent)}) + " -> " + id;
        } else if (xnet) {
            label.push_back((record.table == Table::fc_xnet ? "FC VLAN " : "Ethernet VLAN ") +
                            std::to_string(static_cast<const xnet_entry *>(answer)->int_vid));
            label.push_back("duplicate, not listed");
            edge = id + " -> " + dot_quoted({xnet_node.at(answer)});
        } else {
            const int32_t number = static_cast<const portgroup_entry *>(answer)->number;
            label[0] = "#" + std::to_string(number) + " " + label[0];
            label.push_back("duplicate, not listed");
            edge = id + " -> " + dot_quoted({"pg" + std::to_string(number)});
        }
        out << "  " << id << " [shape="
            << (xnet ? "box, style=\"rounded,dashed\"" : xnetgroup ? "ellipse, style=dashed" : "box3d, style=dashed")
            << ", color=" << color << ", fontcolor=" << color << ", label=" << dot_quoted(label) << "];\n";
        if (!edge.empty()) out << "  " << edge << " [style=dashed, color=" << color << "];\n";
    }
}

// Each kind of node and edge, drawn as the graph draws it.
void dot_legend(std::ostream &out) {
    out << R"(  subgraph cluster_legend {
    label="Legend";
    fontname="Helvetica";
    "legend_native" [shape=box, style=rounded, penwidth=2, label="xnet, bold: the native VLAN\nof its port group"];
    "legend_disabled" [shape=box, style="rounded,filled", fillcolor=grey85, label="xnet, filled grey:\ndisabled"];
    "legend_xnetgroup" [shape=ellipse, label="xnetgroup: from its xnet,\nto the port group it binds"];
    "legend_portgroup" [shape=box3d, label="port group"];
    "legend_duplicate" [shape=box, style=dashed, color=grey50, fontcolor=grey50, label="dashed grey: a duplicate record,\nnot listed; to the entry listed"];
    "legend_refused" [shape=box, style=dashed, color=red3, fontcolor=red3, label="dashed red: a record\nthe module refused"];
    "legend_native" -> "legend_xnetgroup" -> "legend_portgroup";
  }
)";
}

} // namespace

std::string port_ranges(uint64_t bitmap) {
    std::string text;
    while (bitmap != 0) {
        // A run of set bits, from its first to its last.
        const int first = __builtin_ctzll(bitmap);
        const uint64_t after = ~(bitmap >> first);
        const int last = after == 0 ? 63 : first + __builtin_ctzll(after) - 1;
        if (!text.empty()) text += ',';
        append_number(text, first + 1);
        if (last > first) {
            text += '-';
            append_number(text, last + 1);
        }
        bitmap = last == 63 ? 0 : bitmap >> (last + 1) << (last + 1);
    }
    return text;
}

namespace {

// The fields of each list entry's description, in order, handed to a
// visitor: show builds them as JSON, a snapshot writes them as compact text.
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

// The fields of each port record's description, in order, handed to a
// visitor: the JSON view writes them as they come, a snapshot keeps them.
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

// A visitor that builds the description as JSON.
class JsonBuilder {
  public:
    void text(const char *name, std::string_view value) { top()[name] = value; }
    void number(const char *name, int64_t value) { top()[name] = value; }
    void unsigned_number(const char *name, uint64_t value) { top()[name] = value; }
    void flag(const char *name, bool value) { top()[name] = value; }
    void null(const char *name) { top()[name] = nullptr; }
    void positions(const char *name, const uint64_t (&bitmaps)[8]) {
        top()[name] = subport_positions(bitmaps);
    }
    void begin(const char *name) {
        value_[name] = json::object();
        inner_ = name;
    }
    void end() { inner_ = nullptr; }
    json result() { return std::move(value_); }

  private:
    json &top() { return inner_ != nullptr ? value_[inner_] : value_; }
    json value_ = json::object();
    const char *inner_ = nullptr;
};

template <typename Fields> json built(Fields fields) {
    JsonBuilder builder;
    fields(builder);
    return builder.result();
}


// A visitor that writes the description as compact JSON text: the values
// JsonBuilder gives, without building them.
class CompactWriter : public JsonObjectWriter {
  public:
    explicit CompactWriter(std::string &out) : JsonObjectWriter(out, compact) {}
    void positions(const char *name, const uint64_t (&bitmaps)[8]) {
        std::string array = "[";
        each_position(bitmaps, [&](int position, const std::string &ports) {
            if (array.size() > 1) array += ',';
            JsonObjectWriter entry(array, compact);
            entry.number("position", position);
            entry.text("ports", ports);
            entry.finish();
        });
        raw(name, array + "]");
    }
};

template <typename Fields> std::string written(Fields fields) {
    std::string out;
    CompactWriter writer(out);
    fields(writer);
    writer.finish();
    return out;
}

} // namespace

json describe_portgroup(const portgroup_entry &group) {
    return built([&](JsonBuilder &b) { portgroup_fields(group, b); });
}

json describe_xnetgroup(const xnetgroup_entry &group) {
    return built([&](JsonBuilder &b) { xnetgroup_fields(group, b); });
}

json describe_xnet_alone(const xnet_entry &xnet) {
    return built([&](JsonBuilder &b) { xnet_fields(xnet, b); });
}

json describe_xnet(const xnet_entry &xnet) {
    json groups = json::array();
    LIST_FOREACH(const xnetgroup_entry, group, &xnet.xnetgroups)
    groups.push_back(describe_xnetgroup(*group));
    json out = describe_xnet_alone(xnet);
    out["xnetgroups"] = groups;
    return out;
}

std::string description_text(const portgroup_entry &group) {
    return written([&](CompactWriter &w) { portgroup_fields(group, w); });
}

std::string description_text(const xnetgroup_entry &group) {
    return written([&](CompactWriter &w) { xnetgroup_fields(group, w); });
}

std::string description_text(const xnet_entry &xnet) {
    return written([&](CompactWriter &w) { xnet_fields(xnet, w); });
}

namespace {

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

} // namespace

json describe_subport(const subport_data &s) {
    return built([&](JsonBuilder &b) { subport_fields(s, b); });
}

json describe_port_protect(std::string_view pathname, const port_protect_data &p) {
    return built([&](JsonBuilder &b) { port_protect_fields(pathname, p, b); });
}

json describe_subport_protect(std::string_view pathname, const subport_protect_data &p) {
    return built([&](JsonBuilder &b) { subport_protect_fields(pathname, p, b); });
}

json describe_port_record(const DecodedPortRecord &decoded) {
    const Record &record = decoded.record;
    std::string_view pathname = record.column_text(0);
    if (!decoded.decoded) return json::object();
    switch (record.table) {
    case Table::subport:
        return describe_subport(decoded.subport);
    case Table::port_protect:
        return describe_port_protect(pathname, decoded.port_protect);
    default:
        return describe_subport_protect(pathname, decoded.subport_protect);
    }
}

json describe_remote_device(const Record &device) {
    return built([&](JsonBuilder &b) { remote_device_fields(device, b); });
}

void print_portgroup(std::ostream &out, const json &g) {
    out << "  #" << g["number"] << " " << str(g["pathname"]) << "\n";
    field(out, "ports", or_none(g["ports"]));
    field(out, "subports", positions_text(g["subports"]));
    field(out, "native VLAN", number(g["native_vlan"]));
    field(out, "xnetgroups", number(g["xnetgroup_count"]));
    field(out, "columns",
          "col5 " + number(g["col5_value"]) + ", col6 " + number(g["col6_value"]) +
              ", col18 flag " + yes_no(g["col18_flag"]) + ", long " +
              (g["not_long"].get<bool>() ? "no" : "yes"));
}

void print_xnetgroup(std::ostream &out, const json &g) {
    field(out, "xnetgroup",
          str(g["pathname"]) + ": " + g["role"].get<std::string>() + " on #" +
              number(g["portgroup_number"]) + " " + str(g["portgroup"]) + ", col7 " +
              number(g["col7_value"]));
}

void print_xnet(std::ostream &out, const json &x) {
    bool fc = x["kind"] == "fc";
    int32_t tested = x["native_vlan_portgroup"];
    std::string native = x["is_native_vlan"].get<bool>()
                             ? "native VLAN of #" + std::to_string(tested)
                         : tested < 0 ? "not native (no xnetgroup)"
                                      : "not native on #" + std::to_string(tested);
    out << "  " << (fc ? "FC " : "Ethernet ") << str(x["pathname"]) << ": VLAN " << x["int_vid"]
        << ", " << (x["enabled"].get<bool>() ? "enabled" : "disabled") << ", " << native << "\n";
    if (fc)
        field(out, "columns",
              "attach " + x["fc_attach_mode"].get<std::string>() + ", col8 " +
                  number(x["fc_col8_value"]) + ", col9 " + number(x["fc_col9_value"]) +
                  ", col13 flag " + yes_no(x["eth11_fc13_flag"]));
    else
        field(out, "columns",
              "col6 " + number(x["col6_value"]) + ", col8 flag " + yes_no(x["eth_col8_flag"]) +
                  ", col9 flag " + yes_no(x["eth_col9_flag"]) + ", col10 flag " +
                  yes_no(x["eth_col10_flag"]) + ", col11 flag " + yes_no(x["eth11_fc13_flag"]));
    for (const json &g : x["xnetgroups"])
        print_xnetgroup(out, g);
    if (x["xnetgroups"].empty()) field(out, "xnetgroups", "none");
}

namespace {

// Writes one section of the model in a view: every description the source
// yields, with the section's framing.
class ModelWriter {
  public:
    ModelWriter(std::ostream &out, View view) : out_(out), view_(view) {}

    template <typename Each, typename PrintText, typename PrintDot>
    void section(const char *title, const char *key, size_t count, Each each,
                 PrintText print_text, PrintDot print_dot) {
        size_t index = 0;
        switch (view_) {
        case View::text:
            out_ << title << " (" << count << ")\n";
            each([&](const json &d) { print_text(out_, d); });
            out_ << "\n";
            break;
        case View::json:
            out_ << (sections_++ == 0 ? "{\n" : ",\n") << "  \"" << key << "\": [";
            each([&](const json &d) {
                out_ << (index++ == 0 ? "\n" : ",\n") << indented(json_text(d), "    ");
            });
            out_ << (index == 0 ? "]" : "\n  ]");
            break;
        case View::dot:
            each([&](const json &d) { print_dot(out_, d, index++); });
            break;
        }
    }

    // A section of port records, written into a buffer as they come: each
    // item appended to it as text by print_text, as a JSON object by
    // write_json.
    template <typename Each, typename PrintText, typename WriteJson>
    void records(const char *title, const char *key, size_t count, Each each, PrintText print_text,
                 WriteJson write_json) {
        BlockWriter buffer(out_);
        std::string &text = buffer.text();
        size_t index = 0;
        if (view_ == View::text) {
            out_ << title << " (" << count << ")\n";
            each([&](const auto &item) {
                print_text(text, item);
                buffer.appended();
            });
            text += '\n';
        } else if (view_ == View::json) {
            out_ << (sections_++ == 0 ? "{\n" : ",\n") << "  \"" << key << "\": [";
            each([&](const auto &item) {
                text += index++ == 0 ? "\n" : ",\n";
                JsonObjectWriter object(text, 4);
                write_json(object, item);
                object.finish();
                buffer.appended();
            });
            text += index == 0 ? "]" : "\n  ]";
        }
        buffer.flush();
    }

    void begin() {
        if (view_ == View::json) {
            out_ << "{\n  \"format\": " << json_format;
            sections_++;
        }
        if (view_ == View::dot)
            out_ << "digraph confmodel {\n  rankdir=LR;\n  node [fontname=\"Helvetica\"];\n";
    }

    void end() {
        if (view_ == View::json) out_ << "\n}\n";
        if (view_ == View::dot) out_ << "}\n";
    }

  private:
    static std::string indented(const std::string &text, const std::string &by) {
        std::string out = by;
        for (char c : text) {
            out += c;
            if (c == '\n') out += by;
        }
        return out;
    }

    std::ostream &out_;
    View view_;
    int sections_ = 0;
};

template <typename Entry> size_t length(const list_head *head) {
    size_t n = 0;
    LIST_FOREACH(const Entry, e, head)
    n++;
    return n;
}


} // namespace

void write_model(std::ostream &out, View view, const HostModel &model, const Dump &dump) {
    const Module &m = model.module();
    ModelWriter writer(out, view);
    writer.begin();
    writer.section(
        "Port groups", "portgroups", length<portgroup_entry>(m.portgroups),
        [&](auto emit) {
            LIST_FOREACH(const portgroup_entry, group, m.portgroups)
            emit(describe_portgroup(*group));
        },
        print_portgroup, [](std::ostream &o, const json &g, size_t) { dot_portgroup(o, g); });
    writer.section(
        "Xnets", "xnets", length<xnet_entry>(m.xnets),
        [&](auto emit) {
            LIST_FOREACH(const xnet_entry, xnet, m.xnets)
            emit(describe_xnet(*xnet));
        },
        print_xnet, dot_xnet);
    if (view == View::dot) {
        dot_unlisted(out, model, dump);
        dot_legend(out);
        return writer.end();
    }

    writer.records(
        "Subports", "subports", model.subports().size(),
        [&](auto emit) {
            for (const Subport &s : model.subports())
                emit(s.data);
        },
        print_subport, [](JsonObjectWriter &o, const subport_data &s) { subport_fields(s, o); });
    writer.records(
        "Port protection", "port_protects", model.port_protects().size(),
        [&](auto emit) {
            for (const PortProtect &p : model.port_protects())
                emit(p);
        },
        [&](std::string &o, const PortProtect &p) { print_port_protect(o, p.record->column_text(0), p.data); },
        [&](JsonObjectWriter &o, const PortProtect &p) {
            port_protect_fields(p.record->column_text(0), p.data, o);
        });
    writer.records(
        "Subport protection", "subport_protects", model.subport_protects().size(),
        [&](auto emit) {
            for (const SubportProtect &p : model.subport_protects())
                emit(p);
        },
        [&](std::string &o, const SubportProtect &p) {
            print_subport_protect(o, p.record->column_text(0), p.data);
        },
        [&](JsonObjectWriter &o, const SubportProtect &p) {
            subport_protect_fields(p.record->column_text(0), p.data, o);
        });
    size_t devices = 0;
    for (const Record &record : dump.records)
        devices += record.table == Table::remote_device;
    writer.records(
        "Remote devices", "remote_devices", devices,
        [&](auto emit) {
            for (const Record &record : dump.records)
                if (record.table == Table::remote_device) emit(record);
        },
        print_remote_device,
        [](JsonObjectWriter &o, const Record &device) { remote_device_fields(device, o); });
    writer.end();
}

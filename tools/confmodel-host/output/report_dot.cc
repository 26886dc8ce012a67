#include "output/report_dot.h"

#include "confmodel_lists.h"
#include "input/text.h"
#include "output/entry_fields.h"

#include <unordered_map>
#include <vector>

namespace {

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

} // namespace

void dot_portgroup(std::ostream &out, const portgroup_entry &g) {
    const std::string number = std::to_string(g.number), ports = port_ranges(g.ports_bitmap),
                      subport_ports = port_ranges(g.subport_union);
    std::vector<std::string> label = {"#" + number + " " + g.pathname, "ports " + (ports.empty() ? "none" : ports)};
    if (!subport_ports.empty()) label.push_back("subports of " + subport_ports);
    label.push_back("native VLAN " + std::to_string(g.native_vlan));
    out << "  " << dot_quoted({"pg" + number}) << " [shape=box3d, label=" << dot_quoted(label) << "];\n";
}

void dot_xnet(std::ostream &out, const xnet_entry &x, size_t index) {
    std::string xid = dot_quoted({"x" + std::to_string(index)});
    const bool enabled = x.enabled != 0;
    std::vector<std::string> label = {
        x.pathname, (x.kind == XNET_KIND_FC ? "FC" : "Ethernet") + std::string(" VLAN ") + std::to_string(x.int_vid)};
    if (!enabled) label.push_back("disabled");
    out << "  " << xid << " [shape=box, style=" << (enabled ? "rounded" : "\"rounded,filled\", fillcolor=grey85")
        << (x.is_native_vlan ? ", penwidth=2" : "") << ", label=" << dot_quoted(label) << "];\n";
    int gi = 0;
    CONFMODEL_LIST_FOREACH(const xnetgroup_entry, g, &x.xnetgroups) {
        std::string gid = dot_quoted({"x" + std::to_string(index) + "g" + std::to_string(gi++)});
        out << "  " << gid << " [shape=ellipse, label=" << dot_quoted({g->pathname, role_name(g->role)}) << "];\n";
        out << "  " << xid << " -> " << gid << ";\n";
        out << "  " << gid << " -> " << dot_quoted({"pg" + std::to_string(g->portgroup_number)}) << ";\n";
    }
}

// Records that list no entry, drawn dashed: a duplicate grey, with an edge
// to the entry listed in its place; a refused one red, with an edge from the
// xnet it was filed under.
void dot_unlisted(std::ostream &out, const HostModel &model, const RecordList &records) {
    std::unordered_map<const void *, std::string> xnet_node; // as dot_xnet names them
    size_t index = 0;
    CONFMODEL_LIST_FOREACH(const xnet_entry, xnet, model.module().xnets) {
        xnet_node.emplace(xnet, "x" + std::to_string(index++));
    }
    size_t n = 0;
    for (const Record *listed : records) {
        const Record &record = *listed;
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


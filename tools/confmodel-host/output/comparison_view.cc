#include "output/comparison_view.h"

#include "input/text.h"

#include <algorithm>
#include <iterator>

namespace {

const char *const section_names[] = {"portgroups",    "xnets",           "xnetgroups",
                                     "subports",      "port_protects",   "subport_protects",
                                     "remote_devices"};
const char *const section_titles[] = {"Port groups",     "Xnets",           "Xnetgroups",
                                      "Subports",        "Port protection", "Subport protection",
                                      "Remote devices"};

std::string value_text(const ojson &value) {
    return value.is_null() ? "absent" : json_text(value, -1);
}

} // namespace

void print_comparison(std::ostream &out, const Comparison &c, Sides sides, const char *indent) {
    const std::string in = indent;
    if (c.same()) {
        out << in << "no difference\n";
        return;
    }
    int shown = -1;
    for (const Comparison::Entry &e : c.entries) {
        if (e.section != shown) out << in << section_titles[shown = e.section] << "\n";
        out << in << "  " << e.change << " " << escaped(e.label)
            << (e.change == '+'   ? std::string(": ") + sides.after + " only"
                : e.change == '-' ? std::string(": ") + sides.before + " only"
                                  : std::string())
            << "\n";
        for (const Comparison::Field &f : e.fields)
            out << in << "      " << f.name << ": " << sides.before << " " << value_text(f.before)
                << ", " << sides.after << " " << value_text(f.after) << "\n";
    }
    auto derived = [&](const char *title, const std::vector<Comparison::Lookup> &list) {
        if (!list.empty()) out << in << title << "\n";
        for (const Comparison::Lookup &l : list)
            out << in << "  " << escaped(l.question) << ": " << sides.before << " " << l.before
                << ", " << sides.after << " " << l.after << "\n";
    };
    if (!c.order.empty()) out << in << "Order, from the first entry out of place\n";
    for (const Comparison::Lookup &l : c.order)
        out << in << "  " << escaped(l.question) << ": " << sides.before << " " << escaped(l.before)
            << ", " << sides.after << " " << escaped(l.after) << "\n";
    derived("Native VLAN", c.native_vlan);
    derived("Xnetgroup counts", c.xnetgroup_counts);
    if (!c.lookups.empty()) out << in << "Lookups\n";
    for (const Comparison::Lookup &l : c.lookups)
        out << in << "  " << escaped(l.question) << ": " << sides.before << " " << escaped(l.before)
            << ", " << sides.after << " " << escaped(l.after) << "\n";
}

ojson comparison_json(const Comparison &c, Sides sides) {
    ojson entries = ojson::array();
    for (const Comparison::Entry &e : c.entries) {
        ojson entry = {{"section", section_names[e.section]},
                       {"change", e.change == '+'   ? std::string(sides.after) + " only"
                                  : e.change == '-' ? std::string(sides.before) + " only"
                                                    : std::string("differs")},
                       {"entry", e.label}};
        if (e.change == '~') {
            ojson fields = ojson::array();
            for (const Comparison::Field &f : e.fields)
                fields.push_back({{"field", f.name}, {sides.before, f.before}, {sides.after, f.after}});
            entry["fields"] = fields;
        }
        entries.push_back(entry);
    }
    auto pairs = [&](const std::vector<Comparison::Lookup> &list, const char *what) {
        ojson out = ojson::array();
        for (const Comparison::Lookup &l : list)
            out.push_back({{what, l.question}, {sides.before, l.before}, {sides.after, l.after}});
        return out;
    };
    // Counts as the numbers they are, as in the entries' fields.
    ojson counts = ojson::array();
    for (const Comparison::Lookup &l : c.xnetgroup_counts)
        counts.push_back({{"entry", l.question},
                          {sides.before, ojson::parse(l.before)},
                          {sides.after, ojson::parse(l.after)}});
    std::vector<Comparison::Lookup> ports;
    std::copy_if(c.ports.begin(), c.ports.end(), std::back_inserter(ports),
                 [](const Comparison::Lookup &l) { return l.before != l.after; });
    return {{"same", c.same()},
            {"entries", entries},
            {"order", pairs(c.order, "list")},
            {"native_vlan", pairs(c.native_vlan, "entry")},
            {"xnetgroup_counts", counts},
            {"lookups", pairs(c.lookups, "lookup")},
            {"ports", pairs(ports, "lookup")}};
}

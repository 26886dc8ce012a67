#include "output/report_json.h"

#include "confmodel_lists.h"
#include "output/entry_fields.h"
#include "output/json.h"

using json = ojson;

namespace {

json subport_positions(const uint64_t (&bitmaps)[8]) {
    json positions = json::array();
    each_position(bitmaps, [&](int position, const std::string &ports) {
        positions.push_back({{"position", position}, {"ports", ports}});
    });
    return positions;
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
// JsonBuilder gives, without building them. For apply at 1M records, against
// nlohmann's tree of each description dumped: 11 % fewer instructions, 8 %
// less CPU; against snapshots that keep the trees: 19 % less CPU, 7 % fewer
// instructions, 27 MB less memory (2026-12-07).
class CompactWriter : public JsonObjectWriter {
  public:
    explicit CompactWriter(std::string &out) : JsonObjectWriter(out, compact) {}
    void positions(const char *name, const uint64_t (&bitmaps)[8]) {
        std::string &array = value(name);
        array += '[';
        bool first = true;
        each_position(bitmaps, [&](int position, const std::string &ports) {
            if (!first) array += ',';
            first = false;
            JsonObjectWriter entry(array, compact);
            entry.number("position", position);
            entry.text("ports", ports);
            entry.finish();
        });
        array += ']';
    }
};

template <typename Fields> void write_into(std::string &out, Fields fields) {
    CompactWriter writer(out);
    fields(writer);
    writer.finish();
}

template <typename Fields> std::string written(Fields fields) {
    std::string out;
    write_into(out, fields);
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
    CONFMODEL_LIST_FOREACH(const xnetgroup_entry, group, &xnet.xnetgroups)
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

void append_description(std::string &out, const portgroup_entry &group) {
    write_into(out, [&](CompactWriter &w) { portgroup_fields(group, w); });
}

void append_description(std::string &out, const xnetgroup_entry &group) {
    write_into(out, [&](CompactWriter &w) { xnetgroup_fields(group, w); });
}

void append_description(std::string &out, const xnet_entry &xnet) {
    write_into(out, [&](CompactWriter &w) { xnet_fields(xnet, w); });
}

void append_description_with_groups(std::string &out, const xnet_entry &xnet) {
    append_description(out, xnet);
    out.pop_back(); // the closing brace: its xnetgroups follow
    out += ",\"xnetgroups\":[";
    bool first = true;
    CONFMODEL_LIST_FOREACH(const xnetgroup_entry, group, &xnet.xnetgroups) {
        if (!first) out += ',';
        first = false;
        append_description(out, *group);
    }
    out += "]}";
}

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


#include "dump.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <climits>
#include <set>

using nlohmann::json;

namespace {

struct TableInfo {
    Table table;
    const char *name;
    int last_column;            // the highest column the module reads
    std::vector<int> mandatory; // the columns the store always fills
};

const TableInfo tables[] = {
    {Table::portgroup, "portgroup", 19, {0, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
    {Table::xnet, "xnet", 11, {0}},
    {Table::fc_xnet, "fc_xnet", 13, {0}},
    {Table::xnetgroup, "xnetgroup", 7, {0}},
    {Table::fc_xnetgroup, "fc_xnetgroup", 7, {0}},
    {Table::subport, "subport", 17, {0}},
    {Table::port_protect, "port_protect", 8, {}},
    {Table::subport_protect, "subport_protect", 6, {}},
    {Table::remote_device, "remote_device", REMOTE_DEVICE_DCBX_PENDING, {REMOTE_DEVICE_KEY}},
};

bool is_xnetgroup(Table table) {
    return table == Table::xnetgroup || table == Table::fc_xnetgroup;
}

// Digits only, without leading zeros, so that "03" cannot stand beside "3".
std::optional<unsigned long long> canonical_number(const std::string &text,
                                                   unsigned long long max) {
    if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0') ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    unsigned long long value = std::stoull(text);
    if (value > max) return std::nullopt;
    return value;
}

class LineReader {
  public:
    LineReader(const std::string &name, int line) : name_(name), line_(line) {}

    [[noreturn]] void fail(const std::string &reason) const {
        throw BadInput(name_ + ":" + std::to_string(line_) + ": " + reason);
    }

    DumpRecord read(const std::string &text) const {
        // The parser keeps the last of two equal keys; a record that has
        // one twice would lose the other, so it is refused.
        std::vector<std::set<std::string>> keys;
        std::string twice;
        auto note_keys = [&](int, json::parse_event_t event, json &parsed) {
            if (event == json::parse_event_t::object_start)
                keys.emplace_back();
            else if (event == json::parse_event_t::object_end)
                keys.pop_back();
            else if (event == json::parse_event_t::key && !keys.back().insert(parsed).second &&
                     twice.empty())
                twice = parsed;
            return true;
        };
        json object;
        try {
            object = json::parse(text, note_keys);
        } catch (const json::parse_error &e) {
            fail("malformed JSON (" + parse_reason(e) + ")");
        }
        if (!twice.empty()) fail("\"" + twice + "\" appears twice in one object");
        if (!object.is_object())
            fail("a record is a JSON object, {\"table\": ..., \"columns\": {...}}");

        auto table = object.find("table");
        if (table == object.end() || !table->is_string()) fail("the record names no \"table\"");
        auto known = std::find_if(std::begin(tables), std::end(tables),
                                  [&](const TableInfo &t) { return *table == t.name; });
        if (known == std::end(tables))
            fail("unknown table \"" + table->get<std::string>() + "\" (known: " + table_list() +
                 ")");

        DumpRecord record{known->table, line_, {}, {}, {}};
        record.columns.resize(known->last_column + 1);
        for (auto &[key, value] : object.items()) {
            if (key == "table")
                continue;
            else if (key == "columns")
                read_columns(*known, value, record);
            else if (key == "xnet" && is_xnetgroup(known->table))
                record.xnet = string_field(key, value);
            else if (key == "parent_port" && known->table == Table::subport)
                record.parent_port = int_field(key, value);
            else
                fail("unknown field \"" + key + "\" in a " + known->name + " record");
        }

        std::string missing;
        for (int column : known->mandatory)
            if (!record.columns[column])
                missing += (missing.empty() ? "" : ", ") + std::to_string(column);
        if (!missing.empty())
            fail(std::string("the ") + known->name + " record lacks mandatory column" +
                 (missing.find(',') != std::string::npos ? "s " : " ") + missing);
        if (is_xnetgroup(known->table) && object.find("xnet") == object.end())
            fail(std::string("the ") + known->name +
                 " record names no parent \"xnet\" (the xnet's pathname)");
        if (known->table == Table::remote_device &&
            !canonical_number(*record.columns[REMOTE_DEVICE_KEY], UINT32_MAX))
            fail("column 0 of a remote_device, its key, is a decimal number up to 4294967295, not "
                 "\"" +
                 *record.columns[REMOTE_DEVICE_KEY] + "\"");
        return record;
    }

  private:
    void read_columns(const TableInfo &table, const json &columns, DumpRecord &record) const {
        if (!columns.is_object()) fail("\"columns\" is an object from column number to text");
        for (auto &[key, value] : columns.items()) {
            std::optional<unsigned long long> column = canonical_number(key, INT_MAX);
            if (!column) fail("\"" + key + "\" is not a column number");
            if (*column > static_cast<unsigned long long>(table.last_column))
                fail("column " + key + " is out of range for " + table.name + " (0 to " +
                     std::to_string(table.last_column) + ")");
            if (table.table == Table::remote_device && *column != REMOTE_DEVICE_KEY &&
                *column != REMOTE_DEVICE_DCBX_PENDING)
                fail("a remote_device keeps only column 0, its key, and column 22, its "
                     "DCBX-pending flag; not column " +
                     key);
            if (!value.is_string()) fail("column " + key + " is not a string");
            const std::string &text = value.get_ref<const std::string &>();
            if (text.find('\0') != std::string::npos)
                fail("column " + key + " holds a NUL character");
            record.columns[*column] = text;
        }
    }

    std::string string_field(const std::string &key, const json &value) const {
        if (!value.is_string()) fail("\"" + key + "\" is not a string");
        return value.get<std::string>();
    }

    int32_t int_field(const std::string &key, const json &value) const {
        bool fits = value.is_number_unsigned()
                        ? value.get<uint64_t>() <= INT32_MAX
                        : value.is_number_integer() && value.get<int64_t>() >= INT32_MIN &&
                              value.get<int64_t>() <= INT32_MAX;
        if (!fits) fail("\"" + key + "\" is not a 32-bit integer");
        return value.get<int32_t>();
    }

    static std::string table_list() {
        std::string list;
        for (const TableInfo &t : tables)
            list += (list.empty() ? "" : ", ") + std::string(t.name);
        return list;
    }

    // "[json.exception.parse_error.101] parse error at line 1, column 5: x"
    // becomes "column 5: x": the dump's line is already in the message.
    static std::string parse_reason(const json::parse_error &e) {
        std::string text = e.what();
        const std::string at_line = "at line 1, ";
        size_t start = text.find(at_line);
        return start == std::string::npos ? text : text.substr(start + at_line.size());
    }

    const std::string &name_;
    int line_;
};

bool is_blank_or_comment(const std::string &line) {
    size_t start = line.find_first_not_of(" \t\r");
    return start == std::string::npos || line[start] == '#';
}

} // namespace

Dump read_dump(std::istream &in, const std::string &name) {
    Dump dump{name, {}};
    std::string line;
    for (int number = 1; std::getline(in, line); number++) {
        if (!is_blank_or_comment(line)) dump.records.push_back(LineReader(name, number).read(line));
    }
    if (in.bad()) throw BadInput(name + ": cannot be read");

    // An xnetgroup is filed under an xnet of the same dump.
    std::set<std::string> xnet_names;
    for (const DumpRecord &record : dump.records)
        if (record.table == Table::xnet || record.table == Table::fc_xnet)
            xnet_names.insert(*record.columns[0]);
    for (const DumpRecord &record : dump.records)
        if (is_xnetgroup(record.table) && xnet_names.count(record.xnet) == 0)
            LineReader(name, record.line)
                .fail("the parent xnet \"" + record.xnet + "\" has no xnet record in the dump");
    return dump;
}

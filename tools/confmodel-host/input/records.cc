#include "input/records.h"

#include "input/text.h"

#include <algorithm>
#include <bitset>
#include <climits>
#include <cstring>
#include <unordered_set>

using nlohmann::json;

namespace {

constexpr uint32_t bits(std::initializer_list<int> columns) {
    uint32_t mask = 0;
    for (int column : columns)
        mask |= 1u << column;
    return mask;
}

constexpr uint32_t up_to(int last) {
    return last >= 31 ? UINT32_MAX : (1u << (last + 1)) - 1;
}

using N = Numeric;

const TableInfo tables[] = {
    {Table::portgroup,
     "portgroup",
     19,
     bits({0, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}),
     up_to(19),
     {{3, N::decimal},
      {5, N::decimal},
      {6, N::decimal},
      {7, N::hex64},
      {8, N::decimal},
      {9, N::hex64},
      {10, N::hex64},
      {11, N::hex64},
      {12, N::hex64},
      {13, N::hex64},
      {14, N::hex64},
      {15, N::hex64},
      {16, N::hex64}}},
    {Table::xnet, "xnet", 11, bits({0}), up_to(11), {{5, N::decimal}, {6, N::decimal}}},
    {Table::fc_xnet,
     "fc_xnet",
     13,
     bits({0}),
     up_to(13),
     {{5, N::decimal}, {8, N::decimal}, {9, N::decimal}}},
    {Table::xnetgroup, "xnetgroup", 7, bits({0}), up_to(7), {{7, N::decimal}}},
    {Table::fc_xnetgroup, "fc_xnetgroup", 7, bits({0}), up_to(7), {{7, N::decimal}}},
    {Table::subport,
     "subport",
     17,
     bits({0}),
     up_to(17),
     {{5, N::decimal}, {10, N::decimal}, {11, N::decimal}, {17, N::hex32}}},
    {Table::port_protect, "port_protect", 8, 0, up_to(8), {{8, N::number32}}},
    {Table::subport_protect, "subport_protect", 6, 0, up_to(6), {}},
#ifdef CONFMODEL_HOST_SQLITE
    // The store keeps all 29 fields of a remote device.
    {Table::remote_device, "remote_device", MAX_COLUMNS - 1, bits({REMOTE_DEVICE_KEY}),
     up_to(MAX_COLUMNS - 1), {}},
#else
    // The in-memory store keeps the key and the DCBX-pending flag only.
    {Table::remote_device,
     "remote_device",
     REMOTE_DEVICE_DCBX_PENDING,
     bits({REMOTE_DEVICE_KEY}),
     bits({REMOTE_DEVICE_KEY, REMOTE_DEVICE_DCBX_PENDING}),
     {}},
#endif
};

[[noreturn]] void fail(const std::string &where, const std::string &reason) {
    throw Failure(where + ": " + reason);
}

// Digits only, without leading zeros, so that "03" cannot stand beside "3".
std::optional<unsigned long long> canonical_number(std::string_view text,
                                                   unsigned long long max) {
    if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0') ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    unsigned long long value = std::stoull(std::string(text));
    if (value > max) return std::nullopt;
    return value;
}

std::string column_list(uint32_t columns) {
    std::string list;
    for (int n = 0; n < MAX_COLUMNS; n++)
        if (columns >> n & 1) list += (list.empty() ? "" : ", ") + std::to_string(n);
    return list;
}

} // namespace

const TableInfo &table_info(Table table) {
    return tables[static_cast<size_t>(table)];
}

const TableInfo *find_table(std::string_view name) {
    for (const TableInfo &t : tables)
        if (name == t.name) return &t;
    return nullptr;
}

std::string table_names() {
    std::string list;
    for (const TableInfo &t : tables)
        list += (list.empty() ? "" : ", ") + std::string(t.name);
    return list;
}

bool is_xnet(Table table) {
    return table == Table::xnet || table == Table::fc_xnet;
}

bool is_xnetgroup(Table table) {
    return table == Table::xnetgroup || table == Table::fc_xnetgroup;
}

uintptr_t device_key(const Record &device) {
    return static_cast<uintptr_t>(std::stoull(device.column(REMOTE_DEVICE_KEY)));
}

std::string location(const std::string &source, uint32_t line) {
    return source + ":" + std::to_string(line);
}

namespace {
std::vector<std::string> sources;
}

uint8_t register_source(const std::string &name) {
    auto known = std::find(sources.begin(), sources.end(), name);
    if (known != sources.end()) return static_cast<uint8_t>(known - sources.begin());
    if (sources.size() > UINT8_MAX) throw Failure(name + ": too many sources in one run");
    sources.push_back(name);
    return static_cast<uint8_t>(sources.size() - 1);
}

const std::string &source_name(uint8_t source) {
    return sources.at(source);
}

std::string where(const Record &record) {
    return location(source_name(record.source), record.line);
}

namespace {

// The kind part of an identity: the first table of a kind names it.
Table identity_kind(Table table) {
    return table == Table::fc_xnet        ? Table::xnet
           : table == Table::fc_xnetgroup ? Table::xnetgroup
                                          : table;
}

} // namespace

std::string identity(const Record &record) {
    // The kind's letter, then column 0 with its length in front, so that no
    // byte a name holds can move the border to the xnet; "-" (which starts
    // no length) for an absent column 0, which differs from every text.
    std::string key(1, static_cast<char>('a' + static_cast<int>(identity_kind(record.table))));
    if (const char *name = record.column(0))
        key.append(std::to_string(strlen(name))).append(":").append(name);
    else
        key.append("-");
    if (is_xnetgroup(record.table)) key.append(record.xnet());
    return key;
}

Table record_kind(const Record &record) {
    return identity_kind(record.table);
}

Phrase describe_phrase(const Record &record) {
    const char *name = record.column(0);
    switch (record_kind(record)) {
    case Table::remote_device:
        return std::string("remote device ") + name;
    case Table::xnetgroup:
        return "xnetgroup " + Phrase::name(name) + " under " + Phrase::name(record.xnet());
    default:
        return std::string(table_info(record_kind(record)).name) + " " +
               (name != nullptr ? Phrase::name(name) : Phrase("without a pathname"));
    }
}

std::string describe(const Record &record) {
    return describe_phrase(record).text();
}

nlohmann::ordered_json record_json(const Record &record) {
    nlohmann::ordered_json out = {{"table", table_info(record.table).name}};
    if (is_xnetgroup(record.table)) out["xnet"] = record.xnet();
    if (record.parent_port) out["parent_port"] = *record.parent_port;
    nlohmann::ordered_json columns = nlohmann::ordered_json::object();
    for (int n = 0; n < MAX_COLUMNS; n++)
        if (const char *text = record.column(n)) columns[std::to_string(n)] = text;
    out["columns"] = columns;
    return out;
}

const char *Record::column(size_t n) const {
    if (!has(n)) return nullptr;
    const char *text = texts_.c_str();
    for (uint32_t before = present_ & ((1u << n) - 1); before != 0; before &= before - 1)
        text += strlen(text) + 1;
    return text;
}

std::string_view Record::xnet() const {
    if (!is_xnetgroup(table)) return {};
    const char *text = texts_.c_str();
    for (uint32_t left = present_; left != 0; left &= left - 1)
        text += strlen(text) + 1;
    return text;
}

std::vector<char *> Record::columns() const {
    std::vector<char *> out(table_info(table).last_column + 1, nullptr);
    char *text = const_cast<char *>(texts_.c_str());
    for (size_t n = 0; n < out.size(); n++) {
        if (!has(n)) continue;
        out[n] = text;
        text += strlen(text) + 1;
    }
    return out;
}

Record Record::Builder::build(std::string_view xnet,
                              std::optional<int32_t> parent_port) const {
    Record record;
    record.table = table_;
    record.source = source_;
    record.line = line_;
    record.parent_port = parent_port;
    size_t size = xnet.size() + 1;
    for (const auto &text : texts_)
        if (text) size += text->size() + 1;
    record.texts_.reserve(size);
    for (size_t n = 0; n < MAX_COLUMNS; n++) {
        if (!texts_[n]) continue;
        record.present_ |= 1u << n;
        record.texts_.append(*texts_[n]).push_back('\0');
    }
    if (is_xnetgroup(table_)) record.texts_.append(xnet).push_back('\0');
    return record;
}

json parse_line(const std::string &text, const std::string &where) {
    // The parser keeps the last of two equal keys; a record that has one
    // twice would lose the other, so it is refused.
    std::vector<std::unordered_set<std::string>> keys;
    std::optional<std::string> twice;
    auto note_keys = [&](int, json::parse_event_t event, json &parsed) {
        if (event == json::parse_event_t::object_start)
            keys.emplace_back();
        else if (event == json::parse_event_t::object_end)
            keys.pop_back();
        else if (event == json::parse_event_t::key && !keys.back().insert(parsed).second &&
                 !twice)
            twice = parsed.get<std::string>();
        return true;
    };
    json object;
    try {
        object = json::parse(text, note_keys);
    } catch (const json::exception &e) {
        // "[json.exception.parse_error.101] parse error at line 1, column 5:
        // syntax error ...; last read: '...'" becomes "column 5: syntax
        // error ...; last read: "..."": the line is ours to give, and the
        // token read last may be megabytes long.
        std::string reason = e.what();
        size_t start = reason.find("] ");
        reason = start == std::string::npos ? reason : reason.substr(start + 2);
        for (const char *prefix : {"parse error at line 1, ", "parse error: "})
            if (reason.compare(0, strlen(prefix), prefix) == 0) reason.erase(0, strlen(prefix));
        std::string shown;
        for (size_t i = 0; i < reason.size();) {
            size_t open = reason.find('\'', i);
            size_t close = open == std::string::npos ? open : reason.rfind('\'');
            if (open == std::string::npos || close <= open) {
                shown += escaped(reason.substr(i));
                break;
            }
            shown += escaped(reason.substr(i, open - i)) +
                     quote(std::string_view(reason).substr(open + 1, close - open - 1)) ;
            i = close + 1;
        }
        fail(where, "malformed JSON (" + shown + ")");
    }
    if (twice) fail(where, quote(*twice) + " appears twice in one object");
    return object;
}

Record read_record(const json &object, uint8_t source, uint32_t line, const std::string &where,
                   std::initializer_list<const char *> extra, Reading reading) {
    if (!object.is_object())
        fail(where, "a record is a JSON object, {\"table\": ..., \"columns\": {...}}");
    auto table_field = object.find("table");
    if (table_field == object.end() || !table_field->is_string())
        fail(where, "the record names no \"table\"");
    const std::string &name = table_field->get_ref<const std::string &>();
    const TableInfo *table = find_table(name);
    if (table == nullptr)
        fail(where, "unknown table " + quote(name) + " (known: " + table_names() + ")");

    Record::Builder builder(table->table, source, line);
    // An identity names a record by column 0 (and its xnet) alone.
    const uint32_t allowed = reading == Reading::identity ? 1u : table->allowed;
    const uint32_t mandatory = reading == Reading::identity ? table->mandatory & 1u : table->mandatory;
    std::string_view xnet;
    bool has_xnet = false;
    std::optional<int32_t> parent_port;
    for (const auto &item : object.items()) {
        const std::string &key = item.key();
        const json &value = item.value();
        if (key == "table" || std::find_if(extra.begin(), extra.end(), [&](const char *e) {
                                  return key == e;
                              }) != extra.end())
            continue;
        if (key == "columns") {
            if (!value.is_object()) fail(where, "\"columns\" is an object from column number to text");
            for (const auto &[number, text] : value.items()) {
                auto column = canonical_number(number, INT_MAX);
                if (!column) fail(where, quote(number) + " is not a column number");
                if (*column > static_cast<unsigned long long>(table->last_column))
                    fail(where, "column " + number + " is out of range for " + table->name +
                                    " (0 to " + std::to_string(table->last_column) + ")");
                if ((allowed >> *column & 1) == 0)
                    fail(where, std::string(reading == Reading::identity ? "an identity of a "
                                                                         : "a ") +
                                    table->name + " keeps only column" +
                                    (std::bitset<32>(allowed).count() > 1 ? "s " : " ") +
                                    column_list(allowed) + "; not column " + number);
                if (!text.is_string()) fail(where, "column " + number + " is not a string");
                const std::string &t = text.get_ref<const std::string &>();
                if (t.find('\0') != std::string::npos)
                    fail(where, "column " + number + " holds a NUL character");
                builder.set(*column, t);
            }
        } else if (key == "xnet" && is_xnetgroup(table->table)) {
            if (!value.is_string()) fail(where, "\"xnet\" is not a string");
            xnet = value.get_ref<const std::string &>();
            has_xnet = true;
        } else if (key == "parent_port" && table->table == Table::subport &&
                   reading == Reading::record) {
            bool fits = value.is_number_unsigned()
                            ? value.get<uint64_t>() <= INT32_MAX
                            : value.is_number_integer() && value.get<int64_t>() >= INT32_MIN &&
                                  value.get<int64_t>() <= INT32_MAX;
            if (!fits) fail(where, "\"parent_port\" is not a 32-bit integer");
            parent_port = value.get<int32_t>();
        } else {
            fail(where, "unknown field " + quote(key) + " in a " + table->name + " record");
        }
    }

    Record record = builder.build(xnet, parent_port);
    uint32_t missing = mandatory;
    for (int n = 0; n < MAX_COLUMNS; n++)
        if (record.has(n)) missing &= ~(1u << n);
    if (missing != 0)
        fail(where, std::string("the ") + table->name + " record lacks mandatory column" +
                        (std::bitset<32>(missing).count() > 1 ? "s " : " ") +
                        column_list(missing));
    if (is_xnetgroup(table->table) && !has_xnet)
        fail(where, std::string("the ") + table->name +
                        " record names no parent \"xnet\" (the xnet's pathname)");
    if (table->table == Table::remote_device && record.has(REMOTE_DEVICE_KEY) &&
        !canonical_number(record.column(REMOTE_DEVICE_KEY), UINT32_MAX))
        fail(where, "column 0 of a remote_device, its key, is a decimal number up to "
                    "4294967295, not " +
                        quote(record.column(REMOTE_DEVICE_KEY)));
    return record;
}

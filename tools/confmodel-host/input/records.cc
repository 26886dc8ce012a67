#include "input/records.h"

#include "input/text.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <climits>
#include <cstring>

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
    // Column numbers, mostly: one digit, or two without a leading zero.
    auto digit = [&](size_t i) { return text[i] >= '0' && text[i] <= '9'; };
    if (text.size() == 1 && digit(0) && unsigned(text[0] - '0') <= max) return text[0] - '0';
    if (text.size() == 2 && digit(0) && digit(1) && text[0] != '0') {
        unsigned value = unsigned(text[0] - '0') * 10 + unsigned(text[1] - '0');
        if (value <= max) return value;
    }
    if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
    unsigned long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
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
    // Names with their lengths, so that most compare by length alone.
    static const auto names = [] {
        std::array<std::string_view, std::size(tables)> views;
        for (size_t i = 0; i < views.size(); i++)
            views[i] = tables[i].name;
        return views;
    }();
    for (size_t i = 0; i < names.size(); i++)
        if (name == names[i]) return &tables[i];
    return nullptr;
}

std::string table_names() {
    std::string list;
    for (const TableInfo &t : tables)
        list += (list.empty() ? "" : ", ") + std::string(t.name);
    return list;
}

const char *column_name(size_t n) {
    static constexpr const char *names[MAX_COLUMNS] = {
        "0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "10", "11", "12", "13", "14",
        "15", "16", "17", "18", "19", "20", "21", "22", "23", "24", "25", "26", "27", "28"};
    return names[n];
}

bool is_xnet(Table table) {
    return table == Table::xnet || table == Table::fc_xnet;
}

bool is_xnetgroup(Table table) {
    return table == Table::xnetgroup || table == Table::fc_xnetgroup;
}

bool is_port_record(Table table) {
    return table == Table::subport || table == Table::port_protect ||
           table == Table::subport_protect;
}

uintptr_t device_key(const Record &device) {
    return static_cast<uintptr_t>(*canonical_number(device.column(REMOTE_DEVICE_KEY), UINT32_MAX));
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

RecordKey identity(const Record &record) {
    return {identity_kind(record.table), record.has(0), record.column_text(0), record.xnet()};
}

size_t RecordKeyHash::operator()(const RecordKey &key) const {
    std::hash<std::string_view> hash;
    uint64_t h = hash(key.name) ^ hash(key.xnet) * 0x9e3779b97f4a7c15u ^
                 (static_cast<uint64_t>(key.kind) * 2 + key.named) * 0xc2b2ae3d27d4eb4fu;
    // Every bit of the result depends on every part: tables take the low bits.
    h ^= h >> 31;
    h *= 0xbf58476d1ce4e5b9u;
    h ^= h >> 29;
    return static_cast<size_t>(h);
}

Table record_kind(const Record &record) {
    return identity_kind(record.table);
}

Phrase describe_phrase(const Record &record) {
    const char *name = record.column(0);
    const Table kind = record_kind(record);
    switch (kind) {
    case Table::remote_device:
        return std::string("remote device ") + name;
    case Table::xnetgroup:
        return "xnetgroup " + Phrase::name(name) + " under " + Phrase::name(record.xnet());
    default:
        return std::string(table_info(kind).name) + " " +
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

TextArena::~TextArena() {
    for (auto [block, size] : blocks_)
        release_large(block, size);
}

TextArena::TextArena(TextArena &&other) noexcept
    : blocks_(std::move(other.blocks_)), next_(other.next_), left_(other.left_) {
    other.blocks_.clear();
    other.left_ = 0;
}

TextArena &TextArena::operator=(TextArena &&other) noexcept {
    std::swap(blocks_, other.blocks_);
    std::swap(next_, other.next_);
    std::swap(left_, other.left_);
    return *this;
}

char *TextArena::allocate(size_t size) {
    if (size > left_) {
        size_t block = std::max(size, size_t(2) << 20);
        blocks_.reserve(blocks_.size() + 1);
        char *memory = static_cast<char *>(allocate_large(block));
        if (memory == nullptr) throw std::bad_alloc();
        blocks_.emplace_back(memory, block);
        next_ = memory;
        left_ = block;
    }
    char *at = next_;
    next_ += size;
    left_ -= size;
    return at;
}

namespace {

// Each text of a record stands after its length, so that passing over it
// reads no byte of it: one byte below 255, else 255 and four bytes.
constexpr size_t long_text = 255;

size_t header_size(size_t length) {
    return length < long_text ? 1 : 5;
}

// The text at p (after its length), and where the next length stands.
const char *text_at(const char *p, const char **next) {
    size_t length = static_cast<unsigned char>(*p);
    if (length < long_text) {
        *next = p + 1 + length + 1;
        return p + 1;
    }
    uint32_t wide;
    memcpy(&wide, p + 1, sizeof wide);
    *next = p + 5 + wide + 1;
    return p + 5;
}

} // namespace

const char *Record::column(size_t n) const {
    return has(n) ? column_text(n).data() : nullptr;
}

std::string_view Record::column_text(size_t n) const {
    if (!has(n)) return {};
    const char *p = texts_, *text = nullptr;
    for (uint32_t upto = present_ & ((2u << n) - 1); upto != 0; upto &= upto - 1)
        text = text_at(p, &p);
    return {text, static_cast<size_t>(p - text - 1)};
}

std::string_view Record::xnet() const {
    if (!is_xnetgroup(table)) return {};
    const char *p = texts_;
    for (uint32_t left = present_; left != 0; left &= left - 1)
        text_at(p, &p);
    const char *text = text_at(p, &p);
    return {text, static_cast<size_t>(p - text - 1)};
}

std::array<char *, MAX_COLUMNS> Record::columns() const {
    std::array<char *, MAX_COLUMNS> out{};
    const char *p = texts_;
    for (uint32_t left = present_; left != 0; left &= left - 1)
        out[__builtin_ctz(left)] = const_cast<char *>(text_at(p, &p));
    return out;
}

Record Record::Builder::build(TextArena &arena, std::string_view xnet,
                              std::optional<int32_t> parent_port) const {
    Record record;
    record.table = table_;
    record.source = source_;
    record.line = line_;
    record.parent_port = parent_port;
    record.present_ = present_;
    auto space = [](size_t length) { return header_size(length) + length + 1; };
    size_t size = is_xnetgroup(table_) ? space(xnet.size()) : 0;
    for (uint32_t left = present_; left != 0; left &= left - 1)
        size += space(texts_[__builtin_ctz(left)].size);
    char *texts = arena.allocate(std::max<size_t>(size, 1)); // a place even for no text
    record.texts_ = texts;
    record.size_ = static_cast<uint32_t>(size);
    auto append = [&](std::string_view text) {
        if (text.size() < long_text) {
            *texts++ = static_cast<char>(text.size());
        } else {
            *texts++ = static_cast<char>(long_text);
            uint32_t wide = static_cast<uint32_t>(text.size());
            memcpy(texts, &wide, sizeof wide);
            texts += sizeof wide;
        }
        if (!text.empty()) memcpy(texts, text.data(), text.size());
        texts[text.size()] = '\0';
        texts += text.size() + 1;
    };
    for (uint32_t left = present_; left != 0; left &= left - 1)
        append({texts_[__builtin_ctz(left)].data, texts_[__builtin_ctz(left)].size});
    if (is_xnetgroup(table_)) append(xnet);
    return record;
}

Record read_record(const JsonFields &fields, TextArena &arena, uint8_t source, uint32_t line,
                   std::initializer_list<const char *> extra, Reading reading) {
    // The place is made only for a message.
    auto fail = [&](const std::string &reason) { ::fail(location(source_name(source), line), reason); };
    using Type = JsonMember::Type;
    if (!fields.is_object)
        fail("a record is a JSON object, {\"table\": ..., \"columns\": {...}}");
    const JsonMember *table_field = fields.find("table");
    if (table_field == nullptr || table_field->type != Type::string)
        fail("the record names no \"table\"");
    const TableInfo *table = find_table(table_field->text);
    if (table == nullptr)
        fail("unknown table " + quote(table_field->text) + " (known: " + table_names() + ")");

    Record::Builder builder(table->table, source, line);
    // An identity names a record by column 0 (and its xnet) alone.
    const uint32_t allowed = reading == Reading::identity ? 1u : table->allowed;
    const uint32_t mandatory = reading == Reading::identity ? table->mandatory & 1u : table->mandatory;
    std::string_view xnet;
    bool has_xnet = false;
    std::optional<int32_t> parent_port;
    for (const JsonMember &member : fields.members) {
        const std::string_view key = member.key;
        if (key == "table" || std::find_if(extra.begin(), extra.end(), [&](const char *e) {
                                  return key == e;
                              }) != extra.end())
            continue;
        if (key == "columns") {
            if (member.type != Type::object)
                fail("\"columns\" is an object from column number to text");
            for (const JsonMember &column_member : fields.columns) {
                const std::string_view number = column_member.key;
                auto column = fields.numbered_columns
                                  ? std::optional<unsigned long long>(column_member.number)
                                  : canonical_number(number, INT_MAX);
                if (!column) fail(quote(number) + " is not a column number");
                if (*column > static_cast<unsigned long long>(table->last_column))
                    fail("column " + std::string(number) + " is out of range for " + table->name +
                         " (0 to " + std::to_string(table->last_column) + ")");
                if ((allowed >> *column & 1) == 0)
                    fail(std::string(reading == Reading::identity ? "an identity of a " : "a ") +
                         table->name + " keeps only column" +
                         (std::bitset<32>(allowed).count() > 1 ? "s " : " ") +
                         column_list(allowed) + "; not column " + std::string(number));
                if (column_member.type != Type::string)
                    fail("column " + std::string(number) + " is not a string");
                if (column_member.text.find('\0') != std::string_view::npos)
                    fail("column " + std::string(number) + " holds a NUL character");
                builder.set(*column, column_member.text);
            }
        } else if (key == "xnet" && is_xnetgroup(table->table)) {
            if (member.type != Type::string) fail("\"xnet\" is not a string");
            xnet = member.text;
            has_xnet = true;
        } else if (key == "parent_port" && table->table == Table::subport &&
                   reading == Reading::record) {
            bool fits = member.type == Type::unsigned_integer
                            ? member.number <= INT32_MAX
                            : member.type == Type::integer &&
                                  static_cast<int64_t>(member.number) >= INT32_MIN &&
                                  static_cast<int64_t>(member.number) <= INT32_MAX;
            if (!fits) fail("\"parent_port\" is not a 32-bit integer");
            parent_port = static_cast<int32_t>(member.number);
        } else {
            fail("unknown field " + quote(key) + " in a " + table->name + " record");
        }
    }

    const uint32_t missing = mandatory & ~builder.present();
    if (missing != 0)
        fail(std::string("the ") + table->name + " record lacks mandatory column" +
             (std::bitset<32>(missing).count() > 1 ? "s " : " ") + column_list(missing));
    if (is_xnetgroup(table->table) && !has_xnet)
        fail(std::string("the ") + table->name +
             " record names no parent \"xnet\" (the xnet's pathname)");
    if (table->table == Table::remote_device && (builder.present() >> REMOTE_DEVICE_KEY & 1) != 0 &&
        !canonical_number(builder.text(REMOTE_DEVICE_KEY), UINT32_MAX))
        fail("column 0 of a remote_device, its key, is a decimal number up to "
             "4294967295, not " +
             quote(builder.text(REMOTE_DEVICE_KEY)));
    return builder.build(arena, xnet, parent_port);
}

const JsonFields &LineRecords::read(std::string_view line, uint8_t source, uint32_t number) {
    line_ = line;
    source_ = source;
    number_ = number;
    fast_ = json_.fast(line, fields_);
    if (!fast_) {
        std::string error = json_.full(line, fields_);
        if (!error.empty()) throw Failure(location(source_name(source), number) + ": " + error);
    }
    return fields_;
}

Record LineRecords::record(TextArena &arena, std::initializer_list<const char *> extra,
                          Reading reading) {
    if (fast_) {
        try {
            return read_record(fields_, arena, source_, number_, extra, reading);
        } catch (const Failure &) {
            // Told again from fields in the order the full parser gives, so
            // that a line with several faults names the same one either way.
            json_.full(line_, fields_);
            fast_ = false;
        }
    }
    return read_record(fields_, arena, source_, number_, extra, reading);
}

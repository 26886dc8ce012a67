#include "input/schema.h"

#include <array>
#include <climits>

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

bool is_list_record(Table table) {
    return table == Table::portgroup || is_xnet(table) || is_xnetgroup(table);
}

std::optional<unsigned long long> canonical_number(std::string_view text, unsigned long long max) {
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


// The tables of the configuration store as the module reads them: each
// table's columns, which of them the store always fills, and how the module
// converts its numbers.
#ifndef CONFMODEL_HOST_INPUT_SCHEMA_H
#define CONFMODEL_HOST_INPUT_SCHEMA_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class Table : uint8_t {
    portgroup,
    xnet,
    fc_xnet,
    xnetgroup,
    fc_xnetgroup,
    subport,
    port_protect,
    subport_protect,
    remote_device,
};

// How the module converts a numeric column; the host checks for values the
// conversion cannot keep.
enum class Numeric : uint8_t { decimal, hex64, hex32, number32 };

struct TableInfo {
    Table table;
    const char *name;
    int last_column;    // the highest column the module reads
    uint32_t mandatory; // bit n: the store always fills column n
    uint32_t allowed;   // bit n: column n may appear at all
    std::vector<std::pair<int, Numeric>> numeric;
};

const TableInfo &table_info(Table table);
// Null for an unknown name.
const TableInfo *find_table(std::string_view name);
std::string table_names(); // "portgroup, xnet, ..."

// A column's name in a dump: "0" to "28".
const char *column_name(size_t n);

bool is_xnet(Table table);
bool is_xnetgroup(Table table);
bool is_port_record(Table table); // a subport, port-protect or subport-protect record
bool is_list_record(Table table); // a port group, xnet or xnetgroup: what the module lists

// Remote devices: the key and the DCBX-pending flag.
enum { REMOTE_DEVICE_KEY = 0, REMOTE_DEVICE_DCBX_PENDING = 22 };
enum { MAX_COLUMNS = 29 };

// A number written in digits only, without leading zeros, so that "03"
// cannot stand beside "3"; none beyond max.
std::optional<unsigned long long> canonical_number(std::string_view text, unsigned long long max);

#endif

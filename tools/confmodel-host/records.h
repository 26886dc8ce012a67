// The records a host reads out of the configuration store, as this program
// keeps them: each record's kind, where it came from, and its column texts.
// Only the texts are kept, packed into one string a record, so that a large
// dump costs little more memory than its own size.
#ifndef CONFMODEL_HOST_RECORDS_H
#define CONFMODEL_HOST_RECORDS_H

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
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

bool is_xnet(Table table);
bool is_xnetgroup(Table table);

// Remote devices: the key and the DCBX-pending flag.
enum { REMOTE_DEVICE_KEY = 0, REMOTE_DEVICE_DCBX_PENDING = 22 };
enum { MAX_COLUMNS = 29 };

// A bad record or a bad file: what() is the whole message, "where: reason".
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Record {
  public:
    Table table;
    uint32_t line;                      // where it came from: 1-based line or store row
    std::optional<int32_t> parent_port; // subports: given explicitly

    // The text of column n, or null when absent.
    const char *column(size_t n) const;
    bool has(size_t n) const { return n < MAX_COLUMNS && (present_ >> n & 1) != 0; }
    // Xnetgroups: the parent xnet's pathname; empty for other records.
    std::string_view xnet() const;
    // The module's column array: as long as the table's highest column.
    std::vector<char *> columns() const;

    // Columns set in any order, then the parent xnet; packs the texts.
    class Builder;

  private:
    uint32_t present_ = 0; // bit n: column n is present
    std::string texts_;    // each present column's text and a NUL, in column order, then the xnet
};

class Record::Builder {
  public:
    Builder(Table table, uint32_t line) : table_(table), line_(line) {}
    void set(size_t column, std::string_view text) { texts_.at(column) = text; }
    Record build(std::string_view xnet, std::optional<int32_t> parent_port) const;

  private:
    Table table_;
    uint32_t line_;
    std::array<std::optional<std::string_view>, MAX_COLUMNS> texts_;
};

// "name:line", for messages about a record.
std::string location(const std::string &source, uint32_t line);

// A record from one JSON object {"table": ..., "columns": {...}, ...}, checked
// against what the store could hold. Fields named in `extra` are left to the
// caller. Throws Failure with "where: reason".
Record read_record(const nlohmann::json &object, uint32_t line, const std::string &where,
                   std::initializer_list<const char *> extra = {});

// Parses one line of JSON into an object: a key given twice is refused (the
// parser would keep only the last), and every parser message is shortened.
nlohmann::json parse_line(const std::string &text, const std::string &where);

#endif

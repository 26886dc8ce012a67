// The records a host reads out of the configuration store, as this program
// keeps them: each record's kind, where it came from, and its column texts.
// Only the texts are kept, packed into one string a record, so that a large
// dump costs little more memory than its own size.
#ifndef CONFMODEL_HOST_INPUT_RECORDS_H
#define CONFMODEL_HOST_INPUT_RECORDS_H

#include "input/fields.h"
#include "input/memory.h"
#include "input/phrase.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstring>
#include <memory>
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

// A column's name in a dump: "0" to "28".
const char *column_name(size_t n);

bool is_xnet(Table table);
bool is_xnetgroup(Table table);
bool is_port_record(Table table); // a subport, port-protect or subport-protect record

// Remote devices: the key and the DCBX-pending flag.
enum { REMOTE_DEVICE_KEY = 0, REMOTE_DEVICE_DCBX_PENDING = 22 };
enum { MAX_COLUMNS = 29 };

// A bad record or a bad file: what() is the whole message, "where: reason".
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Where the texts of records stay for as long as the dump or change set that
// read them: in large blocks, so that a record costs no allocation of its
// own and its texts never move.
class TextArena {
  public:
    TextArena() = default;
    ~TextArena();
    TextArena(TextArena &&other) noexcept;
    TextArena &operator=(TextArena &&other) noexcept;
    char *allocate(size_t size);

  private:
    std::vector<std::pair<char *, size_t>> blocks_; // from allocate_large
    char *next_ = nullptr;
    size_t left_ = 0;
};

class Record {
  public:
    Table table;
    uint8_t source;                     // where it came from: a registered source
    uint32_t line;                      // and there, the 1-based line or store row
    std::optional<int32_t> parent_port; // subports: given explicitly

    // The text of column n, or null when absent.
    const char *column(size_t n) const;
    // The same as a view, empty when absent.
    std::string_view column_text(size_t n) const;
    bool has(size_t n) const { return n < MAX_COLUMNS && (present_ >> n & 1) != 0; }
    // Xnetgroups: the parent xnet's pathname; empty for other records.
    std::string_view xnet() const;
    // The module's column array: null beyond the table's highest column.
    std::array<char *, MAX_COLUMNS> columns() const;
    // The same record wherever it came from: table, fields and columns.
    bool same_as(const Record &other) const {
        return table == other.table && parent_port == other.parent_port &&
               present_ == other.present_ && size_ == other.size_ &&
               memcmp(texts_, other.texts_, size_) == 0;
    }

    // Columns set in any order, then the parent xnet; packs the texts into
    // an arena, which must outlive the record.
    class Builder;

  private:
    uint32_t present_ = 0; // bit n: column n is present
    uint32_t size_ = 0;
    // Each present column's text, in column order, then the xnet: each
    // after its length and before a NUL; in the arena of the dump or change
    // set.
    const char *texts_ = "";
};

class Record::Builder {
  public:
    Builder(Table table, uint8_t source, uint32_t line)
        : table_(table), source_(source), line_(line) {}
    void set(size_t column, std::string_view text) {
        if (column >= MAX_COLUMNS) throw std::out_of_range("column");
        texts_[column] = {text.data(), text.size()};
        present_ |= 1u << column;
    }
    Record build(TextArena &arena, std::string_view xnet, std::optional<int32_t> parent_port) const;
    uint32_t present() const { return present_; } // bit n: column n is set
    std::string_view text(size_t column) const { return {texts_[column].data, texts_[column].size}; } // a set column's

  private:
    Table table_;
    uint8_t source_;
    uint32_t line_;
    uint32_t present_ = 0;
    // Where present_ has the bit; plain, so that a builder clears nothing.
    struct Text {
        const char *data;
        size_t size;
    } texts_[MAX_COLUMNS];
};

// Records in an order: a configuration's, a change's, a running model's.
using RecordList = LargeVector<const Record *>;

// The files and stores records come from, by number, for messages.
uint8_t register_source(const std::string &name);
const std::string &source_name(uint8_t source);

// A remote device's key, checked by the reader: a decimal number of 32 bits.
uintptr_t device_key(const Record &device);

// "name:line", for messages about a record.
std::string location(const std::string &source, uint32_t line);
std::string where(const Record &record);

// A record's identity: its kind and column 0, and for an xnetgroup also its
// xnet. Ethernet and FC xnets share one kind, as do the two xnetgroups,
// since lookups by name find either: a change can turn one into the other.
// Two records share an identity exactly when these parts are equal, whatever
// bytes their names hold; an absent column 0 differs from every text. The
// views point into the record's texts.
struct RecordKey {
    Table kind;
    bool named; // column 0 is present
    std::string_view name, xnet;
    bool operator==(const RecordKey &other) const {
        return kind == other.kind && named == other.named && name == other.name &&
               xnet == other.xnet;
    }
};
struct RecordKeyHash {
    size_t operator()(const RecordKey &key) const;
};
RecordKey identity(const Record &record);
// The kind of record an identity names: Table::xnet for either xnet,
// Table::xnetgroup for either xnetgroup, else the record's own table.
Table record_kind(const Record &record);
// The identity for people: `xnet "/xnets/prod"`, `remote device 1001`; and
// the same with its names kept apart, for steps and JSON.
std::string describe(const Record &record);
Phrase describe_phrase(const Record &record);

enum class Reading { record, identity };
// A record from the fields of one JSON object {"table": ..., "columns":
// {...}, ...}, checked against what the store could hold, or only an
// identity (column 0 and the parent xnet). Fields named in `extra` are left
// to the caller. Throws Failure with "source:line: reason".
Record read_record(const JsonFields &fields, TextArena &arena, uint8_t source, uint32_t line,
                   std::initializer_list<const char *> extra = {},
                   Reading reading = Reading::record);

// Reads the lines of a dump or a change set: fast for lines of the usual
// shape, and any other line through the parser whose messages are the
// reader's, so that every line gets the same answer either way.
class LineRecords {
  public:
    // The fields of the line. Throws Failure naming the line when it is no
    // JSON. The line must stay in place until the next call, with
    // JsonReader::padding bytes readable after it.
    const JsonFields &read(std::string_view line, uint8_t source, uint32_t number);
    // The record of the line read last, its texts kept in the arena.
    Record record(TextArena &arena, std::initializer_list<const char *> extra = {},
                  Reading reading = Reading::record);

  private:
    JsonReader json_;
    JsonFields fields_;
    std::string_view line_;
    uint8_t source_ = 0;
    uint32_t number_ = 0;
    bool fast_ = false;
};

// The record as a JSON object, as a dump holds it.
nlohmann::ordered_json record_json(const Record &record);

#endif

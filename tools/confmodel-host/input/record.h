// The records a host reads out of the configuration store, as this program
// keeps them: each record's kind, where it came from, and its column texts.
// Only the texts are kept, packed into one string a record, so that a large
// dump costs little more memory than its own size.
#ifndef CONFMODEL_HOST_INPUT_RECORD_H
#define CONFMODEL_HOST_INPUT_RECORD_H

#include "input/memory.h"
#include "input/schema.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

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

#endif

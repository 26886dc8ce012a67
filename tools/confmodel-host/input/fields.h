// One line of JSON as the record reader takes it: the members of its object
// and the members of its "columns" object, each a key, a type and a value,
// with no tree behind them. Two parsers fill it: simdjson, where the build
// has it, for lines of the usual shape; and nlohmann's event (SAX) interface
// for every line, which gives every message about malformed JSON and finds a
// key given twice in any object.
#ifndef CONFMODEL_HOST_INPUT_FIELDS_H
#define CONFMODEL_HOST_INPUT_FIELDS_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct JsonMember {
    enum class Type : uint8_t { string, object, integer, unsigned_integer, other };
    std::string_view key;
    Type type;
    std::string_view text; // a string's, unescaped
    uint64_t number;       // an integer's bits (int64_t for integer)
};

// The fields of one line. The views point into the parser that filled them
// and last until it reads the next line.
struct JsonFields {
    bool is_object = false;
    std::vector<JsonMember> members; // of the line's object
    std::vector<JsonMember> columns; // of its "columns" member, when that is an object
    // Each column's number is in its `number` already, read from a key with
    // no leading zero: by fast(), or by a reader of a store's rows.
    bool numbered_columns = false;
    const JsonMember *find(std::string_view key) const;
};

class JsonReader {
  public:
    JsonReader();
    ~JsonReader();
    JsonReader(const JsonReader &) = delete;
    JsonReader &operator=(const JsonReader &) = delete;

    // The fields of a line of the usual shape: an object of the record
    // fields, each key once, and "columns" an object of column numbers to
    // texts. False for any other line, including every malformed one; the
    // line then goes to full(). The line's buffer must have `padding` bytes
    // readable after its end.
    bool fast(std::string_view line, JsonFields &fields);
    // The fields of any line, members in the order of their keys (as a JSON
    // object's keys sort), or the reason it is no JSON: "malformed JSON
    // (...)" or "\"key\" appears twice in one object". Empty when it is.
    std::string full(std::string_view line, JsonFields &fields);

    static const size_t padding;

  private:
    struct Parsers;
    std::unique_ptr<Parsers> parsers_;
};

// A line's text followed by the padding fast() reads, as spaces: bytes with
// a value, so that nothing the parser does can depend on what memory held.
// The line is the first line.size() bytes of the result.
std::string padded(std::string_view line);

// The fast parser and its version ("simdjson 3.1.5"), or empty where the
// build reads every line with nlohmann's.
std::string fast_parser();

#endif

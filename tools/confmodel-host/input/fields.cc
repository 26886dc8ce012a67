#include "input/fields.h"

#include "input/text.h"

#include <nlohmann/json.hpp>
#ifdef CONFMODEL_HOST_SIMDJSON
#include <simdjson.h>
#endif

#include <algorithm>
#include <cstring>
#include <iterator>
#include <optional>
#include <unordered_set>

using Type = JsonMember::Type;

const JsonMember *JsonFields::find(std::string_view key) const {
    for (const JsonMember &member : members)
        if (member.key == key) return &member;
    return nullptr;
}

namespace {

// nlohmann's message, "[json.exception.parse_error.101] parse error at line
// 1, column 5: syntax error ...; last read: '...'", as "malformed JSON
// (column 5: syntax error ...; last read: "...")": the line is the caller's
// to give, and the token read last may be megabytes long.
std::string malformed(const std::string &what) {
    std::string reason = what;
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
                 quote(std::string_view(reason).substr(open + 1, close - open - 1));
        i = close + 1;
    }
    return "malformed JSON (" + shown + ")";
}

// The events of nlohmann's parser, gathered into fields. Keys and strings
// are lent only for the call, so their texts are kept, and the views made
// once the line is read.
class Events {
  public:
    using json = nlohmann::json;

    bool null() { return value(Type::other); }
    bool boolean(bool) { return value(Type::other); }
    bool number_integer(json::number_integer_t n) {
        return value(Type::integer, {}, static_cast<uint64_t>(n));
    }
    bool number_unsigned(json::number_unsigned_t n) { return value(Type::unsigned_integer, {}, n); }
    bool number_float(json::number_float_t, const json::string_t &) { return value(Type::other); }
    bool string(json::string_t &text) { return value(Type::string, text); }
    bool binary(json::binary_t &) { return value(Type::other); }
    bool start_object(size_t) {
        bool columns = open_.size() == 1 && open_[0] && key_ == "columns";
        value(Type::object);
        open_.push_back(true);
        keys_.emplace_back();
        if (columns) columns_open_ = true;
        return true;
    }
    bool key(json::string_t &text) {
        // The parser would keep the last of two equal keys; a record that
        // has one twice would lose the other, so it is refused.
        if (!keys_.back().insert(text).second && !twice_) twice_ = text;
        key_ = text;
        return true;
    }
    bool end_object() {
        keys_.pop_back();
        return end();
    }
    bool start_array(size_t) {
        value(Type::other);
        open_.push_back(false);
        return true;
    }
    bool end_array() { return end(); }
    bool parse_error(size_t, const std::string &, const nlohmann::detail::exception &e) {
        error_ = malformed(e.what());
        return false;
    }

    // The fields, or the reason there are none.
    std::string finish(JsonFields &fields) {
        if (!error_.empty()) return error_;
        if (twice_) return quote(*twice_) + " appears twice in one object";
        fields.is_object = is_object_;
        fields.numbered_columns = false;
        fields.members.clear();
        fields.columns.clear();
        for (const Pending &p : pending_)
            (p.column ? fields.columns : fields.members)
                .push_back({view(p.key, p.key_size), p.type, view(p.text, p.text_size), p.number});
        for (auto *list : {&fields.members, &fields.columns})
            std::stable_sort(list->begin(), list->end(),
                             [](const JsonMember &a, const JsonMember &b) { return a.key < b.key; });
        return "";
    }

    explicit Events(std::string &texts) : texts_(texts) { texts_.clear(); }

  private:
    struct Pending {
        size_t key, key_size, text, text_size;
        Type type;
        uint64_t number;
        bool column;
    };

    // A value where the reader looks: a member of the line's object, or of
    // its "columns".
    bool value(Type type, std::string_view text = {}, uint64_t number = 0) {
        if (open_.empty()) is_object_ = type == Type::object;
        bool member = open_.size() == 1 && open_[0];
        bool column = open_.size() == 2 && columns_open_;
        if (member || column) {
            size_t key = keep(key_), text_at = keep(text);
            pending_.push_back({key, key_.size(), text_at, text.size(), type, number, column});
        }
        return true;
    }

    bool end() {
        open_.pop_back();
        if (open_.size() < 2) columns_open_ = false;
        return true;
    }

    size_t keep(std::string_view text) {
        size_t at = texts_.size();
        texts_.append(text);
        return at;
    }
    std::string_view view(size_t at, size_t size) const { return {texts_.data() + at, size}; }

    std::string &texts_;
    std::vector<bool> open_; // per open container: an object (or an array)
    std::vector<std::unordered_set<std::string>> keys_;
    std::string key_;
    bool columns_open_ = false;
    bool is_object_ = false;
    std::vector<Pending> pending_;
    std::optional<std::string> twice_;
    std::string error_;
};

} // namespace

struct JsonReader::Parsers {
#ifdef CONFMODEL_HOST_SIMDJSON
    simdjson::dom::parser simd;
#endif
    std::string texts; // of full()'s fields
};

#ifdef CONFMODEL_HOST_SIMDJSON
const size_t JsonReader::padding = simdjson::SIMDJSON_PADDING;
#else
const size_t JsonReader::padding = 0;
#endif

JsonReader::JsonReader() : parsers_(new Parsers) {}
JsonReader::~JsonReader() = default;

std::string padded(std::string_view line) {
    std::string text(line.size() + JsonReader::padding, ' ');
    text.replace(0, line.size(), line);
    return text;
}

std::string JsonReader::full(std::string_view line, JsonFields &fields) {
    Events events(parsers_->texts);
    nlohmann::json::sax_parse(line.begin(), line.end(), &events);
    return events.finish(fields);
}

#ifdef CONFMODEL_HOST_SIMDJSON

namespace {

// The record fields a line of the usual shape has, each a bit: a dump's,
// a change's "op", and the "row" of a change the store's log keeps.
int field_bit(std::string_view key) {
    static const char *const names[] = {"table", "columns", "xnet", "parent_port", "op", "row"};
    for (int i = 0; i < static_cast<int>(std::size(names)); i++)
        if (key == names[i]) return i;
    return -1;
}

// A column number as a dump writes it: one or two digits, no leading zero.
int column_bit(std::string_view key) {
    if (key.empty() || key.size() > 2 || (key.size() == 2 && key[0] == '0')) return -1;
    int n = 0;
    for (char c : key) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n < 32 ? n : -1;
}

} // namespace

bool JsonReader::fast(std::string_view line, JsonFields &fields) {
    using simdjson::dom::element_type;
    simdjson::dom::element root;
    simdjson::dom::object object;
    if (parsers_->simd.parse(line.data(), line.size(), false).get(root) || root.get_object().get(object))
        return false;
    fields.is_object = true;
    fields.numbered_columns = true;
    fields.members.clear();
    fields.columns.clear();
    uint32_t seen = 0;
    for (auto [key, value] : object) {
        int bit = field_bit(key);
        if (bit < 0 || (seen >> bit & 1)) return false;
        seen |= 1u << bit;
        JsonMember member{key, Type::other, {}, 0};
        switch (value.type()) {
        case element_type::STRING:
            member.type = Type::string;
            member.text = value.get_string().value_unsafe();
            break;
        case element_type::INT64:
            member.type = Type::integer;
            member.number = static_cast<uint64_t>(value.get_int64().value_unsafe());
            break;
        case element_type::UINT64:
            member.type = Type::unsigned_integer;
            member.number = value.get_uint64().value_unsafe();
            break;
        case element_type::OBJECT: {
            if (key != "columns") return false;
            member.type = Type::object;
            uint32_t columns = 0;
            simdjson::dom::object texts;
            if (value.get_object().get(texts)) return false;
            for (auto [number, text] : texts) {
                int column = column_bit(number);
                if (column < 0 || (columns >> column & 1) || !text.is_string()) return false;
                columns |= 1u << column;
                fields.columns.push_back(
                    {number, Type::string, text.get_string().value_unsafe(), uint64_t(column)});
            }
            break;
        }
        default:
            return false;
        }
        fields.members.push_back(member);
    }
    return true;
}

#else

// Without simdjson, nlohmann's events read every line.
bool JsonReader::fast(std::string_view line, JsonFields &fields) {
    return full(line, fields).empty();
}

#endif

std::string fast_parser() {
#ifdef CONFMODEL_HOST_SIMDJSON
#define CONFMODEL_HOST_TEXT(tokens) #tokens
#define CONFMODEL_HOST_EXPANDED(macro) CONFMODEL_HOST_TEXT(macro)
    return "simdjson " CONFMODEL_HOST_EXPANDED(SIMDJSON_VERSION);
#else
    return "";
#endif
}

#include "output/json.h"

#include "input/records.h"

#include <array>
#include <cstdio>

namespace {

void append_u_escape(std::string &out, unsigned code) {
    char text[16];
    snprintf(text, sizeof text, "\\u%04x", code);
    out += text;
}

// The code point of the UTF-8 sequence at text[i], and its length; a byte
// of no sequence stands for U+FFFD, as the writer replaces it.
unsigned next_code(std::string_view text, size_t &i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    unsigned lead = byte(0);
    size_t length = lead < 0x80 ? 1 : (lead & 0xe0) == 0xc0 ? 2 : (lead & 0xf0) == 0xe0 ? 3
                                  : (lead & 0xf8) == 0xf0 ? 4
                                                          : 0;
    if (length == 0 || i + length > text.size()) {
        i++;
        return 0xfffd;
    }
    unsigned code = length == 1 ? lead : lead & (0x7f >> length);
    for (size_t k = 1; k < length; k++) {
        if ((byte(k) & 0xc0) != 0x80) {
            i++;
            return 0xfffd;
        }
        code = code << 6 | (byte(k) & 0x3f);
    }
    i += length;
    return code;
}

} // namespace

void append_json_string(std::string &out, std::string_view text) {
    // Printable ASCII but the quote and the backslash stands as it is.
    static constexpr std::array<bool, 256> plain = [] {
        std::array<bool, 256> table{};
        for (int c = 0x20; c < 0x7f; c++)
            table[c] = c != '"' && c != '\\';
        return table;
    }();
    out += '"';
    for (size_t i = 0; i < text.size();) {
        // The common case: a run of plain characters.
        size_t end = i;
        while (end < text.size() && plain[static_cast<unsigned char>(text[end])])
            end++;
        out.append(text.data() + i, end - i);
        if ((i = end) == text.size()) break;
        unsigned code = next_code(text, i);
        switch (code) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (code < 0x10000) {
                append_u_escape(out, code);
            } else { // a surrogate pair
                append_u_escape(out, 0xd7c0 + (code >> 10));
                append_u_escape(out, 0xdc00 + (code & 0x3ff));
            }
        }
    }
    out += '"';
}

void append_record_line(std::string &out, const Record &record) {
    out += "{\"table\":";
    append_json_string(out, table_info(record.table).name);
    if (is_xnetgroup(record.table)) {
        out += ",\"xnet\":";
        append_json_string(out, record.xnet());
    }
    if (record.parent_port) {
        out += ",\"parent_port\":";
        append_number(out, *record.parent_port);
    }
    out += ",\"columns\":{";
    bool first = true;
    auto columns = record.columns();
    for (size_t n = 0; n < MAX_COLUMNS; n++) {
        if (columns[n] == nullptr) continue;
        out += first ? "\"" : ",\"";
        first = false;
        out.append(column_name(n)).append("\":");
        append_json_string(out, columns[n]);
    }
    out += "}}\n";
}

JsonObjectWriter::JsonObjectWriter(std::string &out, int indent) : out_(out), indent_(indent) {
    if (indent_ != compact) out_.append(static_cast<size_t>(indent_), ' ');
    out_ += '{';
}

void JsonObjectWriter::member(const char *name) {
    if (indent_ == compact) {
        if (!first_) out_ += ',';
    } else {
        out_ += first_ ? "\n" : ",\n";
        out_.append(static_cast<size_t>(indent_ + 2 * depth_), ' ');
    }
    first_ = false;
    append_json_string(out_, name);
    out_ += indent_ == compact ? ":" : ": ";
}

void JsonObjectWriter::text(const char *name, std::string_view value) {
    member(name);
    append_json_string(out_, value);
}

void JsonObjectWriter::number(const char *name, int64_t value) {
    member(name);
    append_number(out_, value);
}

void JsonObjectWriter::unsigned_number(const char *name, uint64_t value) {
    member(name);
    append_number(out_, value);
}

void JsonObjectWriter::flag(const char *name, bool value) {
    member(name);
    out_ += value ? "true" : "false";
}

void JsonObjectWriter::null(const char *name) {
    member(name);
    out_ += "null";
}

void JsonObjectWriter::raw(const char *name, std::string_view json) {
    member(name);
    out_ += json;
}

void JsonObjectWriter::begin(const char *name) {
    member(name);
    out_ += '{';
    depth_++;
    first_ = true;
}

void JsonObjectWriter::end() {
    depth_--;
    if (!first_ && indent_ != compact) {
        out_ += '\n';
        out_.append(static_cast<size_t>(indent_ + 2 * depth_), ' ');
    }
    out_ += '}';
    first_ = false; // the object around has a member: this one
}

void JsonObjectWriter::finish() {
    end();
}

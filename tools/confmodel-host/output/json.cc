#include "output/json.h"

#include <array>
#include <cstring>

JsonObjectWriter::JsonObjectWriter(std::string &out, int indent) : out_(out), indent_(indent) {
    if (indent_ != compact) out_.append(static_cast<size_t>(indent_), ' ');
    out_ += '{';
}

namespace {

// Printable ASCII but the quote and the backslash: written as it is.
constexpr std::array<bool, 256> plain_characters = [] {
    std::array<bool, 256> table{};
    for (int c = 0x20; c < 0x7f; c++)
        table[c] = c != '"' && c != '\\';
    return table;
}();

} // namespace

void JsonObjectWriter::member(const char *name) {
    // The usual name, plain ASCII, written with its separators in one go.
    char key[128];
    size_t size = 0;
    if (!first_) key[size++] = ',';
    const size_t spaces = indent_ == compact ? 0 : static_cast<size_t>(indent_ + 2 * depth_);
    if (indent_ != compact) key[size++] = '\n';
    if (spaces <= 64) {
        memset(key + size, ' ', spaces);
        size += spaces;
        key[size++] = '"';
        const char *c = name;
        while (*c != '\0' && size < sizeof key - 3 && plain_characters[static_cast<unsigned char>(*c)])
            key[size++] = *c++;
        if (*c == '\0') {
            key[size++] = '"';
            key[size++] = ':';
            if (indent_ != compact) key[size++] = ' ';
            out_.append(key, size);
            first_ = false;
            return;
        }
    }
    if (indent_ == compact) {
        if (!first_) out_ += ',';
    } else {
        out_ += first_ ? "\n" : ",\n";
        out_.append(spaces, ' ');
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

std::string &JsonObjectWriter::value(const char *name) {
    member(name);
    return out_;
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

#include "output/json.h"

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

// JSON text written directly, for descriptions written by the million,
// without building a tree; its strings as append_json_string writes them.
#ifndef CONFMODEL_HOST_OUTPUT_JSON_H
#define CONFMODEL_HOST_OUTPUT_JSON_H

#include "input/text.h"

#include <charconv>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

// An integer in decimal, as JSON and the text views write it.
template <typename Integer> void append_number(std::string &out, Integer value) {
    char text[24];
    out.append(text, static_cast<size_t>(std::to_chars(text, text + sizeof text, value).ptr - text));
}

// Text appended by the million and written to a stream a block at a time,
// rather than a stream call for each item.
class BlockWriter {
  public:
    explicit BlockWriter(std::ostream &out) : out_(out) {}
    std::string &text() { return text_; }
    // After each item: writes the text once a block is full.
    void appended() {
        if (text_.size() >= (1 << 16)) flush();
    }
    void flush() {
        out_.write(text_.data(), static_cast<std::streamsize>(text_.size()));
        text_.clear();
    }

  private:
    std::ostream &out_;
    std::string text_;
};

// A JSON object written member by member, indented as json_text() indents
// (two spaces a level) and shifted right by `indent` spaces; or, with
// `compact`, on one line without spaces.
class JsonObjectWriter {
  public:
    static constexpr int compact = -1;
    JsonObjectWriter(std::string &out, int indent);
    void text(const char *name, std::string_view value);
    void number(const char *name, int64_t value);
    void unsigned_number(const char *name, uint64_t value);
    void flag(const char *name, bool value);
    void null(const char *name);
    // A member whose value is JSON text written already.
    void raw(const char *name, std::string_view json);
    // A member whose value the caller appends, as JSON, to the text returned.
    std::string &value(const char *name);
    // A member whose value is an object, until end(); an empty one is "{}".
    void begin(const char *name);
    void end();
    // Closes the object itself.
    void finish();

  private:
    void member(const char *name);

    std::string &out_;
    int indent_;
    int depth_ = 1;
    bool first_ = true;
};

#endif

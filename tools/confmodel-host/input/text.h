// Showing text that came from a dump: nothing in it may pass for output of
// our own, such as a line break that starts a line looking like another
// file's error, or an escape sequence that rewrites the terminal.
#ifndef CONFMODEL_HOST_INPUT_TEXT_H
#define CONFMODEL_HOST_INPUT_TEXT_H

#include <string>
#include <string_view>

// Control characters (C0, DEL and the C1 range) become visible escapes:
// "\n", "\t", "\x1b", "\u009b", and so do the line and paragraph separators
// and the bidirectional controls ("\u202e"); so does a byte that is no part of a UTF-8
// character ("\xff"); a backslash becomes "\\" so that an escape in the
// output always means one in the text.
std::string escaped(std::string_view text);
// A time (seconds since 1970) in UTC: "2026-12-07T00:40:11Z".
std::string utc_text(int64_t seconds);
void append_escaped(std::string &out, std::string_view text);

// The UTF-8 character at text[i], i < text.size(): its code point and
// length. Where none is, `valid` is false and `length` spans the bytes that
// begin a character and no more (at least one), which a JSON writer replaces
// with one U+FFFD, as nlohmann's does.
struct Utf8 {
    char32_t code;
    size_t length;
    bool valid;
};
Utf8 utf8_at(std::string_view text, size_t i);

// Whether text is well-formed UTF-8, as JSON text must be.
bool is_utf8(std::string_view text);

// text as a JSON string, quotes included: every character outside ASCII
// escaped, so that no byte of it can act on a terminal, and the bytes of no
// character as U+FFFD.
void append_json_string(std::string &out, std::string_view text);

// For a message about an offending token: escaped, in double quotes (a
// double quote inside becomes \"), and cut to its first `limit` characters
// with "..." when longer.
std::string quote(std::string_view text, size_t limit = 40);

#endif

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
void append_escaped(std::string &out, std::string_view text);

// Whether text is well-formed UTF-8, as JSON text must be.
bool is_utf8(std::string_view text);

// For a message about an offending token: escaped, in double quotes (a
// double quote inside becomes \"), and cut to its first `limit` characters
// with "..." when longer.
std::string quote(std::string_view text, size_t limit = 40);

#endif

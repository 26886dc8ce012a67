#include "text.h"

#include <cstdio>

namespace {

// The column texts are valid UTF-8 (the JSON reader checks it), where the C1
// controls U+0080..U+009F are the two bytes C2 80..C2 9F.
bool is_c1(std::string_view text, size_t i) {
    return static_cast<unsigned char>(text[i]) == 0xc2 && i + 1 < text.size() &&
           static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
           static_cast<unsigned char>(text[i + 1]) <= 0x9f;
}

} // namespace

std::string escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        char code[8];
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7f) {
            snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
        } else if (is_c1(text, i)) {
            snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned char>(text[++i]));
            out += code;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string quote(std::string_view text, size_t limit) {
    if (text.size() <= limit) return "\"" + escaped(text) + "\"";
    // Cut before a UTF-8 continuation byte, never inside a character.
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80)
        cut--;
    return "\"" + escaped(text.substr(0, cut)) + "...\"";
}

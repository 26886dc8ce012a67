#include "input/text.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// The length of the well-formed UTF-8 sequence at text[i], 0 if there is none.
size_t sequence(std::string_view text, size_t i, char32_t &code) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    unsigned char lead = byte(0);
    size_t length = lead < 0x80 ? 1 : lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3
                                  : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                                 : 0;
    if (length == 0 || i + length > text.size()) return 0;
    code = length == 1 ? lead : lead & (0x7f >> length);
    for (size_t k = 1; k < length; k++) {
        if ((byte(k) & 0xc0) != 0x80) return 0;
        code = code << 6 | (byte(k) & 0x3f);
    }
    // Overlong forms, surrogates and code points beyond Unicode are no UTF-8.
    static const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff) return 0;
    return length;
}

// Line and paragraph separators, and the controls of bidirectional text: a
// terminal may break a line at them, or show what follows in another order.
bool reorders(char32_t code) {
    return code == 0x061c || code == 0x200e || code == 0x200f || code == 0x2028 || code == 0x2029 ||
           (code >= 0x202a && code <= 0x202e) || (code >= 0x2066 && code <= 0x2069);
}

} // namespace

bool is_utf8(std::string_view text) {
    char32_t code;
    for (size_t i = 0, n; i < text.size(); i += n) {
        // ASCII, most texts are: eight bytes at a time.
        uint64_t eight;
        if (i + sizeof eight <= text.size()) {
            memcpy(&eight, text.data() + i, sizeof eight);
            if ((eight & 0x8080808080808080u) == 0) {
                n = sizeof eight;
                continue;
            }
        } else if (static_cast<unsigned char>(text[i]) < 0x80) {
            n = 1;
            continue;
        }
        if ((n = sequence(text, i, code)) == 0) return false;
    }
    return true;
}

void append_escaped(std::string &out, std::string_view text) {
    char code_text[12];
    for (size_t i = 0; i < text.size();) {
        // A run of plain ASCII goes as it is.
        size_t plain = i;
        while (plain < text.size() && text[plain] >= 0x20 && text[plain] < 0x7f && text[plain] != '\\')
            plain++;
        out.append(text.substr(i, plain - i));
        if ((i = plain) == text.size()) break;
        char32_t code;
        size_t length = sequence(text, i, code);
        if (length == 0) { // a byte of no character: shown, never sent
            snprintf(code_text, sizeof code_text, "\\x%02x", static_cast<unsigned char>(text[i]));
            out += code_text;
            i++;
            continue;
        }
        if (code == '\\')
            out += "\\\\";
        else if (code == '\n')
            out += "\\n";
        else if (code == '\t')
            out += "\\t";
        else if (code == '\r')
            out += "\\r";
        else if (code < 0x20 || code == 0x7f) {
            snprintf(code_text, sizeof code_text, "\\x%02x", static_cast<unsigned>(code));
            out += code_text;
        } else if ((code >= 0x80 && code <= 0x9f) || reorders(code)) {
            snprintf(code_text, sizeof code_text, "\\u%04x", static_cast<unsigned>(code));
            out += code_text;
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
}

std::string escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    append_escaped(out, text);
    return out;
}

std::string quote(std::string_view text, size_t limit) {
    // Cut before a UTF-8 continuation byte, never inside a character.
    size_t cut = text.size() <= limit ? text.size() : limit;
    while (cut < text.size() && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80)
        cut--;
    // A quote inside shows as \", so the closing quote is always ours.
    std::string out = "\"";
    for (char c : escaped(text.substr(0, cut))) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out + (cut < text.size() ? "...\"" : "\"");
}

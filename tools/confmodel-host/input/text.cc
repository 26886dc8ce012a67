#include "input/text.h"

#include <ctime>

#include <cstdint>
#include <cstdio>
#include <array>
#include <cstring>

namespace {

// Line and paragraph separators, and the controls of bidirectional text: a
// terminal may break a line at them, or show what follows in another order.
bool reorders(char32_t code) {
    return code == 0x061c || code == 0x200e || code == 0x200f || code == 0x2028 || code == 0x2029 ||
           (code >= 0x202a && code <= 0x202e) || (code >= 0x2066 && code <= 0x2069);
}

} // namespace

Utf8 utf8_at(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {lead, 1, true};
    const size_t length = lead >= 0xc2 && lead <= 0xdf   ? 2
                          : lead >= 0xe0 && lead <= 0xef ? 3
                          : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                         : 0;
    if (length == 0) return {0, 1, false};
    // The second byte's range shuts out overlong forms, surrogates and code
    // points beyond U+10FFFF, so that no byte that ends a character is taken.
    const unsigned char least = lead == 0xe0 ? 0xa0 : lead == 0xf0 ? 0x90 : 0x80;
    const unsigned char most = lead == 0xed ? 0x9f : lead == 0xf4 ? 0x8f : 0xbf;
    char32_t code = lead & (0x7f >> length);
    for (size_t k = 1; k < length; k++) {
        if (i + k >= text.size() || byte(k) < (k == 1 ? least : 0x80) ||
            byte(k) > (k == 1 ? most : 0xbf))
            return {0, k, false};
        code = code << 6 | (byte(k) & 0x3f);
    }
    return {code, length, true};
}

bool is_utf8(std::string_view text) {
    // (Passing ASCII eight bytes at a time saved export at 1M records 5 % of
    // its instructions and 2 to 4 % of its CPU: too little to keep,
    // 2026-12-07.)
    for (size_t i = 0, n; i < text.size(); i += n) {
        const Utf8 character = utf8_at(text, i);
        if (!character.valid) return false;
        n = character.length;
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
        const auto [code, length, valid] = utf8_at(text, i);
        if (!valid) { // a byte of no character: shown, never sent
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

namespace {

void append_u_escape(std::string &out, unsigned code) {
    char text[16];
    snprintf(text, sizeof text, "\\u%04x", code);
    out += text;
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
    // The common case: plain characters alone, written in one go.
    size_t run = 0;
    while (run < text.size() && plain[static_cast<unsigned char>(text[run])])
        run++;
    if (run == text.size()) {
        const size_t at = out.size();
        out.resize(at + text.size() + 2);
        char *p = &out[at];
        p[0] = '"';
        if (!text.empty()) memcpy(p + 1, text.data(), text.size()); // an empty view may hold no pointer
        p[text.size() + 1] = '"';
        return;
    }
    out += '"';
    for (size_t i = 0; i < text.size();) {
        // A run of plain characters.
        size_t end = i;
        while (end < text.size() && plain[static_cast<unsigned char>(text[end])])
            end++;
        out.append(text.data() + i, end - i);
        if ((i = end) == text.size()) break;
        const auto [code, length, valid] = utf8_at(text, i);
        i += length;
        switch (valid ? code : 0xfffd) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (!valid || code < 0x10000) {
                append_u_escape(out, valid ? code : 0xfffd);
            } else { // a surrogate pair
                append_u_escape(out, 0xd7c0 + (code >> 10));
                append_u_escape(out, 0xdc00 + (code & 0x3ff));
            }
        }
    }
    out += '"';
}

std::string utc_text(int64_t seconds) {
    time_t t = static_cast<time_t>(seconds);
    tm parts{};
    char text[32];
    if (gmtime_r(&t, &parts) == nullptr || strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) == 0)
        return std::to_string(seconds);
    return text;
}

#include "output/entry_fields.h"

#include "output/json.h"

std::string hex(uint64_t value, int digits) {
    char text[2 + 16];
    char *end = text + sizeof text, *p = end;
    do {
        *--p = "0123456789abcdef"[value & 15];
        value >>= 4;
    } while (value != 0);
    while (end - p < digits)
        *--p = '0';
    *--p = 'x';
    *--p = '0';
    return std::string(p, end);
}

std::string port_ranges(uint64_t bitmap) {
    std::string text;
    while (bitmap != 0) {
        // A run of set bits, from its first to its last.
        const int first = __builtin_ctzll(bitmap);
        const uint64_t after = ~(bitmap >> first);
        const int last = after == 0 ? 63 : first + __builtin_ctzll(after) - 1;
        if (!text.empty()) text += ',';
        append_number(text, first + 1);
        if (last > first) {
            text += '-';
            append_number(text, last + 1);
        }
        bitmap = last == 63 ? 0 : bitmap >> (last + 1) << (last + 1);
    }
    return text;
}


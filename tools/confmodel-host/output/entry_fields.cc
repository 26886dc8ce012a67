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
    // At most 32 runs of ports up to 64, ",63-64" each at most: written in
    // place, then copied once.
    char text[32 * 6];
    size_t size = 0;
    auto put = [&](int port) {
        if (port >= 10) text[size++] = static_cast<char>('0' + port / 10);
        text[size++] = static_cast<char>('0' + port % 10);
    };
    while (bitmap != 0 && size + 6 <= sizeof text) {
        // A run of set bits, from its first to its last.
        const int first = __builtin_ctzll(bitmap);
        const uint64_t after = ~(bitmap >> first);
        const int last = after == 0 ? 63 : first + __builtin_ctzll(after) - 1;
        if (size > 0) text[size++] = ',';
        put(first + 1);
        if (last > first) {
            text[size++] = '-';
            put(last + 1);
        }
        bitmap = last == 63 ? 0 : bitmap >> (last + 1) << (last + 1);
    }
    return std::string(text, size);
}

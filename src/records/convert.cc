#include "records/convert.h"

#include <stdlib.h>

namespace {

/* isspace in the C locale, without the C library's locale tables. */
bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

/* strtoul's rules at 32 bits on every build: a value past 32 bits saturates,
 * sign or no sign, and a minus sign negates the 32-bit result. strtoull reads
 * the magnitude once the sign is taken off, because on a 64-bit build strtoul
 * itself would neither saturate nor wrap at 32 bits. */
uint32_t unsigned32(const char *column, int base) {
    if (column == nullptr)
        return 0;
    const char *p = column;
    while (is_space(*p))
        p++;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        p++;
    /* strtoull would skip blanks or take a second sign here; strtoul does not. */
    if (is_space(*p) || *p == '-' || *p == '+')
        return 0;
    /* Base 0 is decided here, not by the C library, whose base 0 newer
     * standards widen: C23 reads a 0b prefix as binary. */
    if (base == 0)
        base = p[0] != '0' ? 10 : p[1] == 'x' || p[1] == 'X' ? 16 : 8;
    unsigned long long magnitude = strtoull(p, nullptr, base);
    if (magnitude > UINT32_MAX)
        return UINT32_MAX;
    uint32_t value = static_cast<uint32_t>(magnitude);
    return negative ? 0u - value : value;
}

} // namespace

uint64_t conv_hex64(const char *column) {
    return column == nullptr ? 0 : strtoull(column, nullptr, 16);
}

uint32_t conv_hex32(const char *column) { return unsigned32(column, 16); }

uint32_t conv_number32(const char *column) { return unsigned32(column, 0); }

/* Column conversions shared by every record parser. Each takes the column as
 * it stands in the record, null when absent, and returns the field's value:
 * the default when the column is absent, the converted text otherwise. */
#ifndef CONFMODEL_RECORDS_CONVERT_H
#define CONFMODEL_RECORDS_CONVERT_H

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

struct keyword {
    const char *text;
    int32_t value;
};

/* Exact, case-sensitive; the first listed match wins, no match gives 0. */
template <size_t N> int32_t conv_keyword(const char *column, const keyword (&table)[N]) {
    if (column == nullptr)
        return 0;
    for (const keyword &k : table)
        if (strcmp(column, k.text) == 0)
            return k.value;
    return 0;
}

/* The conversions a record makes a dozen of are inline: a call for each costs
 * as much as the comparison it wraps. */

inline bool column_is(const char *column, const char *text) {
    return column != nullptr && strcmp(column, text) == 0;
}

/* Signed decimal with atoi's rules: "12abc" is 12, "abc" is 0. */
inline int32_t conv_decimal(const char *column, int32_t absent) {
    return column == nullptr ? absent : atoi(column);
}
/* 1 only for exactly "true". */
inline int32_t conv_true_flag(const char *column) { return column_is(column, "true") ? 1 : 0; }
/* 1 only for exactly "enabled". */
inline int32_t conv_enabled_flag(const char *column) {
    return column_is(column, "enabled") ? 1 : 0;
}
/* 0 only for exactly "long"; 1 otherwise, absent included. */
inline int32_t conv_not_long(const char *column) { return column_is(column, "long") ? 0 : 1; }

/* Unsigned hexadecimal, optional 0x; saturates at all ones. */
uint64_t conv_hex64(const char *column);
uint32_t conv_hex32(const char *column);
/* Unsigned 32-bit with C prefixes: 0x hex, leading 0 octal, else decimal. */
uint32_t conv_number32(const char *column);

#endif /* CONFMODEL_RECORDS_CONVERT_H */

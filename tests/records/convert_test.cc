#include "records/convert.h"

#include <gtest/gtest.h>

namespace {

template <typename Value> struct Case { const char *column; Value expected; };

template <typename Value, typename Convert>
void check(const std::vector<Case<Value>> &cases, Convert convert) {
    for (const auto &c : cases) {
        SCOPED_TRACE(c.column ? c.column : "(absent)");
        EXPECT_EQ(convert(c.column), c.expected);
    }
}

TEST(Decimal, FollowsAtoiAndDefaultsWhenAbsent) {
    check<int32_t>({{nullptr, -1}, {"12abc", 12}, {"abc", 0}, {"", 0}, {"  -42", -42}, {"+7", 7},
                    {"010", 10}, {"0x1f", 0}, {"2147483647", INT32_MAX},
                    {"-2147483648", INT32_MIN}},
                   [](const char *c) { return conv_decimal(c, -1); });
    EXPECT_EQ(conv_decimal(nullptr, 0), 0);
}

TEST(Hex64, ReadsAllSixtyFourBits) {
    const uint64_t ends = 0x8000000000000001ull;
    check<uint64_t>({{nullptr, 0}, {"8000000000000001", ends}, {"0x8000000000000001", ends},
                     {"0X8000000000000001", ends}, {"ff", 0xff}, {" 1F", 0x1f}, {"-1", UINT64_MAX},
                     {"1ffffffffffffffff", UINT64_MAX}, {"xyz", 0}, {"0x", 0}},
                    conv_hex64);
}

// A blank before the sign is skipped, one after it is not; a value past 32
// bits saturates, sign or no sign.
TEST(Hex32, IsThirtyTwoBitsOnEveryBuild) {
    check<uint32_t>({{nullptr, 0}, {"ffffffff", UINT32_MAX}, {"0x1234abcd", 0x1234abcdu},
                     {"100000000", UINT32_MAX}, {"123456789abcdef", UINT32_MAX}, {"-1", UINT32_MAX},
                     {"-2", 0xfffffffeu}, {"-100000000", UINT32_MAX}, {" -2", 0xfffffffeu},
                     {"\v-2", 0xfffffffeu}, {"  +a", 10}, {"- 1", 0}, {"+-1", 0}, {"g", 0}},
                    conv_hex32);
}

// The prefix decides the base, never the C library: "0b" is no prefix.
TEST(Number32, TakesCPrefixes) {
    check<uint32_t>({{nullptr, 0}, {"0x10", 16}, {"0X1f", 31}, {"010", 8}, {"10", 10},
                     {"4294967295", UINT32_MAX}, {"4294967296", UINT32_MAX},
                     {"99999999999999999999999", UINT32_MAX}, {"-1", UINT32_MAX},
                     {"-4294967295", 1}, {"\t 7", 7}, {"09", 0}, {"0b11", 0}, {"0B1", 0},
                     {"-0b1", 0}, {"-+5", 0}, {"", 0}},
                    conv_number32);
}

constexpr keyword modes[] = {{"one", 1}, {"two", 2}, {"one", 3}};

TEST(Words, MatchExactlyAndTheFirstListedWins) {
    check<int32_t>({{nullptr, 0}, {"true", 1}, {"false", 0}, {"TRUE", 0}, {"True", 0}, {"1", 0},
                    {"true ", 0}},
                   conv_true_flag);
    check<int32_t>({{nullptr, 0}, {"enabled", 1}, {"Enabled", 0}, {"enabled ", 0}, {"disabled", 0}},
                   conv_enabled_flag);
    check<int32_t>({{nullptr, 1}, {"long", 0}, {"LONG", 1}, {"short", 1}, {"", 1}}, conv_not_long);
    check<int32_t>({{nullptr, 0}, {"one", 1}, {"two", 2}, {"One", 0}, {"two ", 0}, {"", 0}},
                   [](const char *c) { return conv_keyword(c, modes); });
}

} // namespace

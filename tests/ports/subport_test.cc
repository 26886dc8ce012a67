#include "ports_fixture.h"
#include "record.h"

#include <sstream>
#include <string>

namespace {

using SubportTest = PortsTest;
using Case = ColumnCase<subport_data>;

constexpr size_t subport_length = 18;

int64_t col5(const subport_data &s) { return s.col5_value; }
int64_t kind(const subport_data &s) { return s.is_fcoe; }
int64_t col10(const subport_data &s) { return s.col10_value; }
int64_t col11(const subport_data &s) { return s.col11_value; }
int64_t col17(const subport_data &s) { return s.col17_hex; }

// Host-owned members hold these before a parse; the parse must keep them.
subport_data with_host_state() {
    subport_data s{};
    s.host_state_a = 11;
    s.host_field = 22;
    s.host_state_b = 33;
    s.host_state_c = 44;
    return s;
}

// Every member, so that one comparison shows which one changed.
std::string describe(const subport_data &s) {
    std::ostringstream out;
    out << "in_use=" << s.in_use << " pathname=" << (s.pathname ? s.pathname : "(null)")
        << " parent_port=" << s.parent_port << " col5=" << s.col5_value << " enabled=" << s.enabled
        << " host_a=" << s.host_state_a << " col10=" << s.col10_value << " col11=" << s.col11_value
        << " host_field=" << s.host_field << " col16=" << s.col16_flag << " col17=" << s.col17_hex
        << " host_b=" << s.host_state_b << " is_fcoe=" << s.is_fcoe << " host_c=" << s.host_state_c;
    return out.str();
}

const std::string zero_filled = describe(subport_data{});

// Defaults, and the conversion each column takes; the mapping of every
// column is in the next test.
TEST_F(SubportTest, ConvertsEachColumn) {
    const Case cases[] = {
        {5, nullptr, col5, 0},
        {7, "fcoe", kind, 0},
        {10, nullptr, col10, 0},
        {11, "-1", col11, -1},
        {11, nullptr, col11, 0},
        {17, "123456789", col17, UINT32_MAX},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "column " << c.column << " " << (c.text ? c.text : "(absent)"));
        Record r(subport_length, {{0, "/ports/port1/subports/1"}, {c.column, c.text}});
        subport_data s = with_host_state();
        ASSERT_EQ(parse_subport_data(0, r, &s), 0);
        EXPECT_EQ(c.field(s), c.expected);
        free_subport_data(&s);
    }
}

TEST_F(SubportTest, FillsItsFieldsAndLeavesTheHostsAlone) {
    Record r(subport_length, {{0, "/ports/port4/subports/2"},
                              {5, "5"},
                              {7, "FCoE"},
                              {9, "enabled"},
                              {10, "10"},
                              {11, "11"},
                              {16, "true"},
                              {17, "0x17"}});
    for (int32_t parent : {3, -1, INT32_MAX}) {
        SCOPED_TRACE(parent);
        subport_data s = with_host_state();
        ASSERT_EQ(parse_subport_data(parent, r, &s), 0);
        EXPECT_EQ(describe(s), "in_use=1 pathname=/ports/port4/subports/2 parent_port=" +
                                   std::to_string(parent) +
                                   " col5=5 enabled=1 host_a=11 col10=10 col11=11 host_field=22"
                                   " col16=1 col17=23 host_b=33 is_fcoe=1 host_c=44");
        free_subport_data(&s);
    }
    EXPECT_EQ(fake_host::strdup_calls(), 3);
}

// in_use guards the release: a record in use is cleared whole, host-owned
// members included; one never parsed, or already released, is left alone,
// and so is a pathname the caller put there.
TEST_F(SubportTest, ReleaseClearsOnlyARecordInUse) {
    Record r(subport_length, {{0, "/ports/port2/subports/1"}, {5, "5"}});
    subport_data s = with_host_state();
    ASSERT_EQ(parse_subport_data(1, r, &s), 0);
    for (int release = 1; release <= 2; release++) {
        free_subport_data(&s);
        EXPECT_EQ(describe(s), zero_filled) << "release " << release;
    }
    static char callers[] = "callers";
    s = with_host_state();
    s.pathname = callers;
    free_subport_data(&s);
    EXPECT_EQ(s.pathname, callers);
    EXPECT_EQ(s.host_field, 22);
    free_subport_data(nullptr);
}

} // namespace

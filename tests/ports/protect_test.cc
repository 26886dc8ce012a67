#include "ports_fixture.h"
#include "record.h"

namespace {

using ProtectTest = PortsTest;

int64_t loop_protect(const port_protect_data &p) { return p.loop_protect; }
int64_t loop_state(const port_protect_data &p) { return p.loop_state; }
int64_t pause_protect(const port_protect_data &p) { return p.pause_protect; }
int64_t pause_state(const port_protect_data &p) { return p.pause_state; }
int64_t col8(const port_protect_data &p) { return static_cast<int64_t>(p.col8_value); }

int64_t sub_loop_protect(const subport_protect_data &p) { return p.loop_protect; }
int64_t sub_loop_state(const subport_protect_data &p) { return p.loop_state; }

// Every field holds this before a parse, so a field the parser skipped shows.
constexpr int32_t stale = 0x5a5a;

TEST_F(ProtectTest, PortRecordColumns) {
    const ColumnCase<port_protect_data> cases[] = {
        {4, "disabled", loop_protect, PROTECT_DISABLED},
        {4, "enabled", loop_protect, PROTECT_ENABLED},
        {4, "detection_only", loop_protect, PROTECT_NONE},
        {5, "loop_detected", loop_state, LOOP_STATE_DETECTED},
        {6, "disabled", pause_protect, PROTECT_DISABLED},
        {6, "enabled", pause_protect, PROTECT_ENABLED},
        {6, "detection_only", pause_protect, PROTECT_DETECTION_ONLY},
        {6, "loop_detected", pause_protect, PROTECT_NONE},
        {7, "pause_flood_detected", pause_state, PAUSE_STATE_FLOOD_DETECTED},
        {7, "in_pause_condition", pause_state, PAUSE_STATE_IN_PAUSE},
        {8, "0x10", col8, 16},
        {8, "010", col8, 8},
        {8, "10", col8, 10},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "column " << c.column << " "
                                        << (c.text ? c.text : "(absent)"));
        Record r(9, {{c.column, c.text}});
        port_protect_data p{stale, stale, stale, stale, stale, ~0ull};
        ASSERT_EQ(parse_port_protect_data(r, &p), 0);
        EXPECT_EQ(c.field(p), c.expected);
        EXPECT_EQ(p.host_field, stale);
    }
}

// A subport record keeps loop protection one column further right.
TEST_F(ProtectTest, SubportRecordColumns) {
    const ColumnCase<subport_protect_data> cases[] = {
        {5, "disabled", sub_loop_protect, PROTECT_DISABLED},
        {5, "enabled", sub_loop_protect, PROTECT_ENABLED},
        {5, "detection_only", sub_loop_protect, PROTECT_NONE},
        {4, "enabled", sub_loop_protect, PROTECT_NONE},
        {6, "loop_detected", sub_loop_state, LOOP_STATE_DETECTED},
        {6, "pause_flood_detected", sub_loop_state, LOOP_STATE_NONE},
        {5, "loop_detected", sub_loop_state, LOOP_STATE_NONE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "column " << c.column << " "
                                        << (c.text ? c.text : "(absent)"));
        Record r(7, {{c.column, c.text}});
        subport_protect_data p{stale, stale};
        ASSERT_EQ(parse_subport_protect_data(r, &p), 0);
        EXPECT_EQ(c.field(p), c.expected);
    }
}

} // namespace

// Port records, decoded into structures the caller owns. The module logs
// nothing on any path of these functions. Values are written as numbers: they
// are the interface.
#include "confmodel.h"
#include "fake_host.h"
#include "record.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

class PortsTest : public ::testing::Test {
  protected:
    void SetUp() override { fake_host::reset(); }
    void TearDown() override {
        EXPECT_EQ(fake_host::log_text(), "");
        EXPECT_EQ(fake_host::live_blocks(), 0u) << "the module leaked";
    }
};

// The number is decimal whatever its prefix, and ends at any other character.
TEST_F(PortsTest, PortNumberFromPathname) {
    const struct {
        const char *pathname;
        int expected;
    } cases[] = {
        {"/ports/port3", 2},   {"/ports/port3/subports/1", 2}, {"/ports/port30", 29},
        {"/ports/port64", 63}, {"/ports/port1", 0},            {"/ports/port0", -1},
        {"/ports/port010", 9}, {"/ports/port0x10", -1},        {"/ports/port-2", -3},
        {"/ports/port 5", 4},  {"/ports/port7abc", 6},         {"/ports/portx", -1},
        {"/ports/port", -1},   {"/ports/Port3", -1},           {"ports/port3", -1}, {nullptr, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pathname ? c.pathname : "(null)");
        EXPECT_EQ(get_parent_port_number(c.pathname), c.expected);
    }
}

// A port record and a subport record made of one column holding one word:
// loop_protect loop_state pause_protect pause_state col8 / loop_protect
// loop_state. The port record's host_field is left alone.
TEST_F(PortsTest, ProtectionRecordColumns) {
    const struct {
        size_t column;
        const char *text, *fields;
    } cases[] = {
        {4, "disabled", "1 0 0 0 0 / 0 0"},           {4, "enabled", "2 0 0 0 0 / 0 0"},
        {4, "detection_only", "0 0 0 0 0 / 0 0"},     {5, "loop_detected", "0 1 0 0 0 / 0 0"},
        {5, "disabled", "0 0 0 0 0 / 1 0"},           {5, "enabled", "0 0 0 0 0 / 2 0"},
        {5, "detection_only", "0 0 0 0 0 / 0 0"},     {6, "loop_detected", "0 0 0 0 0 / 0 1"},
        {6, "disabled", "0 0 1 0 0 / 0 0"},           {6, "enabled", "0 0 2 0 0 / 0 0"},
        {6, "detection_only", "0 0 3 0 0 / 0 0"},
        {6, "pause_flood_detected", "0 0 0 0 0 / 0 0"},
        {7, "pause_flood_detected", "0 0 0 1 0 / 0 0"},
        {7, "in_pause_condition", "0 0 0 2 0 / 0 0"},
        {8, "0x10", "0 0 0 0 16 / 0 0"},              {8, "010", "0 0 0 0 8 / 0 0"},
        {8, "10", "0 0 0 0 10 / 0 0"},                {8, "-1", "0 0 0 0 4294967295 / 0 0"},
        {0, "", "0 0 0 0 0 / 0 0"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "column " << c.column << " " << c.text);
        Record r(9, {{c.column, c.text}});
        port_protect_data port{7, 7, 7, 7, 7, 7};
        subport_protect_data subport{7, 7};
        ASSERT_EQ(parse_port_protect_data(r, &port), 0);
        ASSERT_EQ(parse_subport_protect_data(r, &subport), 0);
        std::ostringstream fields;
        fields << port.loop_protect << ' ' << port.loop_state << ' ' << port.pause_protect << ' '
               << port.pause_state << ' ' << port.col8_value << " / " << subport.loop_protect << ' '
               << subport.loop_state;
        EXPECT_EQ(fields.str(), c.fields);
        EXPECT_EQ(port.host_field, 7);
    }
}

// Host-owned members hold 11, 22, 33, 44; a parse must keep them.
subport_data with_host_state() {
    subport_data s{};
    s.host_state_a = 11, s.host_field = 22, s.host_state_b = 33, s.host_state_c = 44;
    return s;
}

// Every member but the pathname, in order.
std::vector<int64_t> fields(const subport_data &s) {
    return {s.in_use,     s.parent_port, s.col5_value, s.enabled,    s.host_state_a,
            s.col10_value, s.col11_value, s.host_field, s.col16_flag, s.col17_hex,
            s.host_state_b, s.is_fcoe,    s.host_state_c};
}

TEST_F(PortsTest, SubportFillsItsFieldsAndLeavesTheHostsAlone) {
    struct Case {
        Record record;
        int32_t parent;
        std::vector<int64_t> fields;
    } cases[] = {
        {Record(18, {{0, "/p/1"}, {5, "5"}, {7, "FCoE"}, {9, "enabled"}, {10, "10"}, {11, "11"},
                     {16, "true"}, {17, "17"}}),
         3, {1, 3, 5, 1, 11, 10, 11, 22, 1, 0x17, 33, 1, 44}},
        {Record(18, {{0, "/p/2"}, {7, "fcoe"}, {17, "123456789"}}), INT32_MIN,
         {1, INT32_MIN, 0, 0, 11, 0, 0, 22, 0, UINT32_MAX, 33, 0, 44}},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.record[0]);
        subport_data s = with_host_state();
        ASSERT_EQ(parse_subport_data(c.parent, c.record, &s), 0);
        EXPECT_STREQ(s.pathname, c.record[0]);
        EXPECT_EQ(fields(s), c.fields);
        free_subport_data(&s);
    }
}

// in_use guards the release: a record in use is cleared whole, host-owned
// members included; one never parsed, or already released, is left alone,
// and so is a pathname the caller put there.
TEST_F(PortsTest, SubportReleaseClearsOnlyARecordInUse) {
    subport_data s = with_host_state();
    ASSERT_EQ(parse_subport_data(1, Record(18, {{0, "/ports/port2/subports/1"}, {5, "5"}}), &s), 0);
    for (int release = 1; release <= 2; release++) {
        free_subport_data(&s);
        EXPECT_TRUE(s.pathname == nullptr && fields(s) == fields(subport_data{})) << release;
    }
    static char callers[] = "callers";
    s = with_host_state();
    s.pathname = callers;
    free_subport_data(&s);
    EXPECT_TRUE(s.pathname == callers && s.host_field == 22);
    free_subport_data(nullptr);
}

} // namespace

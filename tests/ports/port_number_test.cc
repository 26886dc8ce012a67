#include "ports_fixture.h"

namespace {

using PortNumberTest = PortsTest;

TEST_F(PortNumberTest, FromPathname) {
    const struct {
        const char *pathname;
        int expected;
    } cases[] = {
        {"/ports/port3", 2},
        {"/ports/port3/subports/1", 2},
        {"/ports/port30", 29},
        {"/ports/port64", 63},
        {"/ports/port1", 0},
        {"/ports/port0", -1},
        {"/ports/port-2", -3},
        {"/ports/port 5", 4},
        {"/ports/port7abc", 6},
        {"/ports/portx", -1},
        {"/ports/port", -1},
        {"/ports/Port3", -1},
        {"ports/port3", -1},
        {nullptr, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pathname ? c.pathname : "(null)");
        EXPECT_EQ(get_parent_port_number(c.pathname), c.expected);
    }
}

} // namespace

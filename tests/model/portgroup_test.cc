#include "model_fixture.h"

#include <syslog.h>

namespace {

using PortgroupTest = ModelTest;
using fake_host::log_text;

TEST_F(PortgroupTest, ConvertsEveryColumn) {
    Record r(20, {{0, "/pg/uplink"}, {3, "12"}, {5, "5"}, {6, "-6"}, {7, "0x8000000000000001"},
                  {8, "100"}, {9, "1"}, {10, "2"}, {11, "4"}, {16, "0x80"}, {18, "true"}, {19, "long"}});
    for (size_t i = 12; i <= 15; i++)
        r.set(i, "0");
    portgroup_entry *pg = nullptr;
    ASSERT_EQ(create_new_portgroup(r, &pg), 0);
    ASSERT_NE(pg, nullptr);
    EXPECT_STREQ(pg->pathname, "/pg/uplink");
    EXPECT_EQ(pg->number, 12);
    EXPECT_EQ(pg->xnetgroup_count, 0);
    EXPECT_EQ(pg->col5_value, 5);
    EXPECT_EQ(pg->col6_value, -6);
    EXPECT_EQ(pg->ports_bitmap, 0x8000000000000001ull);
    EXPECT_EQ(pg->native_vlan, 100);
    const uint64_t subports[8] = {1, 2, 4, 0, 0, 0, 0, 0x80};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(pg->subport_bitmaps[i], subports[i]) << "position " << i;
    EXPECT_EQ(pg->subport_union, 0x87u);
    EXPECT_EQ(pg->host_field, 0);
    EXPECT_EQ(pg->col18_flag, 1);
    EXPECT_EQ(pg->not_long, 0);
    EXPECT_EQ(log_text(), "<4>Create new port group: Both ports & subport bitmap specified for /pg/uplink!\n");
    EXPECT_EQ(names<portgroup_entry>(portgroups), "/pg/uplink");
}

TEST_F(PortgroupTest, OptionalColumnsTakeTheirDefaults) {
    struct Case {
        const char *col18, *col19;
        int32_t flag, not_long;
    } cases[] = {{nullptr, nullptr, 0, 1}, {"True", "LONG", 0, 1}, {"true", "short", 1, 1},
                 {"1", "long", 0, 0},      {"false", "", 0, 1}};
    int number = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.col18 ? c.col18 : "-") + "/" + (c.col19 ? c.col19 : "-"));
        Record r = portgroup_record("/pg", std::to_string(++number).c_str());
        r.set(18, c.col18).set(19, c.col19);
        portgroup_entry *pg = nullptr;
        ASSERT_EQ(create_new_portgroup(r, &pg), 0);
        EXPECT_EQ(pg->col18_flag, c.flag);
        EXPECT_EQ(pg->not_long, c.not_long);
    }
    EXPECT_EQ(log_text(), "");
}

TEST_F(PortgroupTest, AbsentMandatoryColumnsConvertAsEmpty) {
    Record r(20, {{0, "/pg/bare"}});
    portgroup_entry *pg = nullptr;
    ASSERT_EQ(create_new_portgroup(r, &pg), 0);
    EXPECT_EQ(pg->number, 0);
    EXPECT_EQ(pg->ports_bitmap, 0u);
    EXPECT_EQ(pg->subport_union, 0u);
    EXPECT_EQ(pg->native_vlan, 0);
    EXPECT_EQ(pg->not_long, 1);
}

TEST_F(PortgroupTest, DuplicateNumberReturnsTheFirstEntry) {
    portgroup_entry *first = add_portgroup("/pg/a", "7");
    fake_host::reset();
    portgroup_entry *pg = nullptr;
    Record dup = portgroup_record("/pg/b", "7", "0x3");
    dup.set(9, "0x2");  // overlaps port 1: the warning comes first
    ASSERT_EQ(create_new_portgroup(dup, &pg), 0);
    EXPECT_EQ(pg, first);
    EXPECT_STREQ(first->pathname, "/pg/a");
    EXPECT_EQ(first->ports_bitmap, 0u);
    EXPECT_EQ(names<portgroup_entry>(portgroups), "/pg/a");
    EXPECT_EQ(log_text(), "<4>Create new port group: Both ports & subport bitmap specified for /pg/b!\n"
                          "<3>duplicated portgroup entry found!  path=/pg/a\n");
}

TEST_F(PortgroupTest, LookupsReturnTheFirstMatchInCreationOrder) {
    EXPECT_EQ(find_portgrp_by_number(1), nullptr);
    EXPECT_EQ(find_portgrp_by_name("/pg/a"), nullptr);
    EXPECT_EQ(find_ext_portgroup_for_port(0), nullptr);

    portgroup_entry *a = add_portgroup("/pg/a", "1", "0x20");
    portgroup_entry *b = add_portgroup("/pg/b", "2", "0x8000000000000021");
    Record subports_only = portgroup_record("/pg/c", "3");
    subports_only.set(9, "0x40");
    portgroup_entry *c = nullptr;
    ASSERT_EQ(create_new_portgroup(subports_only, &c), 0);

    EXPECT_EQ(find_portgrp_by_number(2), b);
    EXPECT_EQ(find_portgrp_by_number(4), nullptr);
    EXPECT_EQ(find_portgrp_by_name("/pg/c"), c);
    EXPECT_EQ(find_portgrp_by_name("/pg/"), nullptr);
    EXPECT_EQ(find_portgrp_by_name("/pg/a/"), nullptr);

    struct PortCase {
        int32_t port;
        portgroup_entry *expected;
    } ports[] = {{5, a}, {0, b}, {63, b}, {6, nullptr}, {1, nullptr},
                 {64, nullptr}, {-1, nullptr}, {INT32_MAX, nullptr}, {INT32_MIN, nullptr}};
    for (const PortCase &p : ports) {
        SCOPED_TRACE(p.port);
        EXPECT_EQ(find_ext_portgroup_for_port(p.port), p.expected);
    }
}

} // namespace

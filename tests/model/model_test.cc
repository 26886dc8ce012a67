// Port groups, xnets and xnetgroups. Statuses and the values of roles and
// kinds are written as numbers: they are the interface.
#include "model_fixture.h"

#include <array>
#include <sstream>

namespace {

using fake_host::log_text;
using PortgroupTest = ModelTest;
using XnetTest = ModelTest;

// number col5 col6 ports [subports] union native_vlan col18 not_long, then
// what is not read from columns: xnetgroup_count and host_field.
std::string fields(const portgroup_entry *pg) {
    std::ostringstream out;
    out << pg->number << ' ' << pg->col5_value << ' ' << pg->col6_value << std::hex << ' '
        << pg->ports_bitmap << " [";
    for (const uint64_t &subports : pg->subport_bitmaps)
        out << subports << (&subports == &pg->subport_bitmaps[7] ? "] " : ",");
    out << pg->subport_union << std::dec << ' ' << pg->native_vlan << ' ' << pg->col18_flag << ' '
        << pg->not_long << ' ' << pg->xnetgroup_count << ' ' << pg->host_field;
    return out.str();
}

// Mandatory columns left out convert as empty ones would.
TEST_F(PortgroupTest, ConvertsEachColumnOrGivesItsDefault) {
    struct Case {
        Record record;
        const char *fields, *log;
    } cases[] = {
        {Record(20, {{0, "/pg/all"}, {3, "12"}, {4, "4"}, {5, "5"}, {6, "-6"},
                     {7, "0x8000000000000001"}, {8, "100"}, {9, "1"}, {10, "2"}, {11, "4"},
                     {12, "0"}, {13, "0"}, {14, "0"}, {15, "0"}, {16, "0x80"}, {17, "true"},
                     {18, "true"}, {19, "long"}}),
         "12 5 -6 8000000000000001 [1,2,4,0,0,0,0,80] 87 100 1 0 0 0",
         "<4>Create new port group: Both ports & subport bitmap specified for /pg/all!\n"},
        {Record(20, {{0, "/pg/bare"}}), "0 0 0 0 [0,0,0,0,0,0,0,0] 0 0 0 1 0 0", ""},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.fields);
        fake_host::reset();
        portgroup_entry *pg = nullptr;
        ASSERT_EQ(create_new_portgroup(c.record, &pg), 0);
        EXPECT_EQ(fields(pg), c.fields);
        EXPECT_EQ(log_text(), c.log);
    }
    EXPECT_EQ(names<portgroup_entry>(portgroups), "/pg/all /pg/bare");
}

TEST_F(PortgroupTest, DuplicateNumberReturnsTheFirstEntry) {
    portgroup_entry *first = add_portgroup("/pg/a", "7");
    fake_host::reset();
    portgroup_entry *pg = nullptr;
    Record dup = portgroup_record("/pg/b", "7", "0x3");
    dup.set(9, "0x2"); // overlaps port 1: the warning comes first
    ASSERT_EQ(create_new_portgroup(dup, &pg), 0);
    EXPECT_TRUE(pg == first && names<portgroup_entry>(portgroups) == "/pg/a");
    EXPECT_EQ(fields(first), "7 0 0 0 [0,0,0,0,0,0,0,0] 0 1 0 1 0 0");
    EXPECT_EQ(log_text(),
              "<4>Create new port group: Both ports & subport bitmap specified for /pg/b!\n"
              "<3>duplicated portgroup entry found!  path=/pg/a\n");
}

TEST_F(PortgroupTest, LookupsReturnTheFirstMatchInCreationOrder) {
    EXPECT_TRUE(find_portgrp_by_number(1) == nullptr && find_portgrp_by_name("/pg/a") == nullptr &&
                find_ext_portgroup_for_port(0) == nullptr);

    portgroup_entry *a = add_portgroup("/pg/a", "1", "0x20");
    portgroup_entry *b = add_portgroup("/pg/b", "2", "0x8000000000000021");
    Record subports_only = portgroup_record("/pg/c", "3");
    subports_only.set(9, "0x40");
    portgroup_entry *c = nullptr;
    ASSERT_EQ(create_new_portgroup(subports_only, &c), 0);
    add_portgroup("/pg/c", "4");

    EXPECT_TRUE(find_portgrp_by_number(2) == b && find_portgrp_by_number(5) == nullptr);
    EXPECT_EQ(find_portgrp_by_name("/pg/c"), c);
    EXPECT_TRUE(find_portgrp_by_name("/pg/") == nullptr &&
                find_portgrp_by_name("/pg/a/") == nullptr);

    struct PortCase {
        int32_t port;
        portgroup_entry *expected;
    } ports[] = {{5, a}, {0, b}, {63, b}, {6, nullptr}, {1, nullptr},
                 {64, nullptr}, {-1, nullptr}, {INT32_MAX, nullptr}, {INT32_MIN, nullptr}};
    for (const PortCase &p : ports) {
        SCOPED_TRACE(p.port);
        EXPECT_EQ(find_ext_portgroup_for_port(p.port), p.expected);
    }
    EXPECT_EQ(log_text(), "");
}

// int_vid, col6, kind, fc_col8, fc_attach, fc_col9, enabled, eth_col8, eth_col9,
// eth11_fc13, eth_col10.
using Expected = std::array<int32_t, 11>;

// The Ethernet flag columns differ from each other in at least one record.
// Besides the columns: not native, preset -1, host state zero, no xnetgroups.
TEST_F(XnetTest, ParsesEachKindsColumns) {
    struct Case {
        bool fc;
        Record record;
        Expected expected;
    } cases[] = {
        {false,
         Record(14, {{0, "/x/e"}, {5, "10"}, {6, "20"}, {7, "enabled"}, {8, "true"}, {9, "true"},
                     {13, "true"}}),
         {10, 20, 0, 0, 0, 0, 1, 1, 1, 0, 0}},
        {false,
         Record(14, {{0, "/x/e2"}, {5, "11"}, {7, "true"}, {8, "true"}, {10, "true"},
                     {12, "true"}}),
         {11, -1, 0, 0, 0, 0, 0, 1, 0, 0, 1}},
        {false, Record(14, {{0, "/x/e3"}, {5, "12"}, {9, "true"}, {11, "true"}}),
         {12, -1, 0, 0, 0, 0, 0, 0, 1, 1, 0}},
        {true, Record(14, {{0, "/x/f"}, {5, "30"}, {6, "direct_attach"}, {7, "enabled"}, {8, "8"},
                           {9, "9"}, {10, "false"}, {11, "true"}, {13, "true"}}),
         {30, 0, 1, 8, 1, 9, 1, 0, 0, 1, 1}},
        {true, Record(14, {{0, "/x/f2"}, {5, "31"}, {6, "LAN"}, {7, "Enabled"}, {9, "true"}}),
         {31, 0, 1, 0, 2, 0, 0, 0, 0, 0, 1}},
        {true, Record(14, {{0, "/x/f3"}, {6, "lan"}, {11, "true"}, {12, "true"}}),
         {-1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.record[0]);
        xnet_entry *x = nullptr;
        int duplicate = -1;
        int status = c.fc ? create_new_fc_xnet(c.record, &x, &duplicate)
                          : create_new_xnet(c.record, &x, &duplicate);
        ASSERT_TRUE(status == 0 && duplicate == 0);
        EXPECT_EQ(Expected({x->int_vid, x->col6_value, x->kind, x->fc_col8_value, x->fc_attach_mode,
                            x->fc_col9_value, x->enabled, x->eth_col8_flag, x->eth_col9_flag,
                            x->eth11_fc13_flag, x->eth_col10_flag}),
                  c.expected);
        EXPECT_TRUE(x->is_native_vlan == 0 && x->preset_value == -1 &&
                    x->xnetgroups.first == nullptr &&
                    x->xnetgroups.tail_link == &x->xnetgroups.first);
        EXPECT_EQ(x->host_state_a | x->host_field | x->host_state_b | x->host_state_c, 0);
    }
    EXPECT_EQ(names<xnet_entry>(xnets), "/x/e /x/e2 /x/e3 /x/f /x/f2 /x/f3");
    EXPECT_EQ(log_text(), "");
}

TEST_F(XnetTest, DuplicateVidSpansBothKinds) {
    xnet_entry *eth = add_xnet("/x/eth", "100");
    Record fc(14, {{0, "/x/fc"}, {5, "100"}, {6, "LAN"}});
    xnet_entry *x = nullptr;
    int duplicate = 0;
    ASSERT_EQ(create_new_fc_xnet(fc, &x, &duplicate), 0);
    EXPECT_TRUE(x == eth && duplicate == 1 && eth->kind == 0);

    // Two records without column 5 both get -1: the second is a duplicate.
    xnet_entry *no_vid = add_xnet("/x/novid", nullptr);
    Record again(14, {{0, "/x/novid2"}});
    ASSERT_EQ(create_new_xnet(again, &x, &duplicate), 0);
    EXPECT_TRUE(x == no_vid && duplicate == 1);

    EXPECT_EQ(names<xnet_entry>(xnets), "/x/eth /x/novid");
    EXPECT_EQ(log_text(), "<3>duplicated xnet entry found!  path=/x/eth vid=100\n\n"
                          "<3>duplicated xnet entry found!  path=/x/novid vid=-1\n\n");
}

TEST_F(XnetTest, LookupsReturnTheFirstMatch) {
    EXPECT_TRUE(find_xnet_by_int_vid(-1) == nullptr && find_xnet_by_name("") == nullptr);
    xnet_entry *a = add_xnet("/x/a", "10");
    add_xnet("/x/a", "11", true);
    xnet_entry *b = add_xnet("/x/b", "20");
    EXPECT_TRUE(find_xnet_by_int_vid(20) == b && find_xnet_by_int_vid(30) == nullptr);
    EXPECT_TRUE(find_xnet_by_name("/x/a") == a && find_xnet_by_name("/x/A") == nullptr);
}

TEST_F(XnetTest, NativeVlanFollowsThePortGroup) {
    add_portgroup("/pg/a", "1", "0", "10");
    add_portgroup("/pg/b", "2", "0", "-1");
    add_portgroup("/pg/zero", "0", "0", "10");
    xnet_entry *ten = add_xnet("/x/ten", "10");
    xnet_entry *none = add_xnet("/x/none", nullptr);

    struct Case {
        xnet_entry *xnet;
        int32_t group, native;
        const char *log;
    } cases[] = {{ten, 1, 1, ""},  {ten, 2, 0, ""},  {ten, 0, 1, ""},
                 {none, 2, 1, ""}, {ten, -1, 0, ""}, {ten, 9, 0, "<3>Portgroup #9 not found!\n"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.group);
        fake_host::reset();
        c.xnet->is_native_vlan = 1; // every call starts by clearing it
        test_and_set_native_vlan(c.xnet, c.group);
        EXPECT_EQ(c.xnet->is_native_vlan, c.native);
        EXPECT_EQ(log_text(), c.log);
    }
}

class XnetgroupTest : public ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        Record r = portgroup_record("/pg/uplink", "4", "0xf0");
        r.set(5, "55").set(9, "0x1").set(10, "0x2").set(16, "0x100").set(18, "true");
        ASSERT_EQ(create_new_portgroup(r, &group), 0);
        eth = add_xnet("/xnets/blue", "100");
        fc = add_xnet("/xnets/fab", "200", true);
        fake_host::reset();
    }

    xnetgroup_entry *create(bool fc_kind, xnet_entry *parent, const char *path, const char *role,
                            const char *portgroup = "/pg/uplink", int expected_status = 0) {
        Record r(8, {{0, path}, {5, role}, {6, portgroup}});
        xnetgroup_entry *entry = nullptr;
        int status = fc_kind ? create_new_fc_xnetgroup(r, parent, &entry)
                             : create_new_xnetgroup(r, parent, &entry);
        EXPECT_EQ(status, expected_status);
        return entry;
    }

    portgroup_entry *group = nullptr;
    xnet_entry *eth = nullptr, *fc = nullptr;
};

TEST_F(XnetgroupTest, BindsToThePortGroupAndCopiesIt) {
    Record r(8, {{0, "/xnets/blue/g1"}, {5, "server"}, {6, "/pg/uplink"}, {7, "9"}});
    xnetgroup_entry *xg = nullptr;
    ASSERT_EQ(create_new_xnetgroup(r, eth, &xg), 0);
    EXPECT_TRUE(xg->xnet == eth && xg->portgroup == group && xg->host_state == 0);
    // role, the group's number and column 5, column 7, the group's flag and bitmaps
    EXPECT_EQ((std::vector<uint64_t>{uint64_t(xg->role), uint64_t(xg->portgroup_number),
                                     uint64_t(xg->portgroup_col5_value), uint64_t(xg->col7_value),
                                     uint64_t(xg->portgroup_col18_flag), xg->ports_bitmap,
                                     xg->subport_union}),
              (std::vector<uint64_t>{2, 4, 55, 9, 1, 0xf0, 0x103}));
    EXPECT_EQ(memcmp(xg->subport_bitmaps, group->subport_bitmaps, sizeof xg->subport_bitmaps), 0);
    EXPECT_EQ(group->xnetgroup_count, 1);
}

TEST_F(XnetgroupTest, RolesFollowEachKindsKeywordList) {
    struct Case {
        const char *role;
        int32_t ethernet, fc;
    } cases[] = {{"external", 1, 0}, {"sflow", 7, 0},          {"server", 2, 2},
                 {"mtp", 3, 0},      {"ingress_mirror", 4, 0}, {"egress_mirror", 5, 0},
                 {"fc", 0, 6},       {"Server", 0, 0},         {nullptr, 0, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.role ? c.role : "(absent)");
        EXPECT_EQ(create(false, eth, "/xnets/blue/r", c.role)->role, c.ethernet);
        EXPECT_EQ(create(true, fc, "/xnets/fab/r", c.role)->role, c.fc);
    }
}

// The record's kind, not the parent's, decides whether the group's col18_flag
// is copied; an Ethernet xnetgroup copies it as the group has it.
TEST_F(XnetgroupTest, KindDecidesTheFlagCopyNotTheParent) {
    add_portgroup("/pg/plain", "5");
    xnetgroup_entry *fc_under_eth = create(true, eth, "/xnets/blue/f", "fc");
    xnetgroup_entry *eth_under_fc = create(false, fc, "/xnets/fab/e", "external");
    xnetgroup_entry *plain = create(false, eth, "/xnets/blue/x", "mtp", "/pg/plain");
    EXPECT_TRUE(fc_under_eth->portgroup_col18_flag == 0 && fc_under_eth->ports_bitmap == 0xf0u);
    EXPECT_TRUE(eth_under_fc->portgroup_col18_flag == 1 && plain->portgroup_col18_flag == 0);
    EXPECT_EQ(plain->col7_value, -1);
    create(false, eth, "/xnets/blue/y", "mtp");
    EXPECT_EQ(group->xnetgroup_count, 3);
    EXPECT_EQ(names<xnetgroup_entry>(eth->xnetgroups),
              "/xnets/blue/f /xnets/blue/x /xnets/blue/y");
}

TEST_F(XnetgroupTest, UnknownPortGroupIsLoggedOnceAndRejected) {
    struct Case {
        bool fc;
        const char *portgroup, *shown;
    } cases[] = {{false, "/pg/missing", "/pg/missing"}, {true, "/pg/Uplink", "/pg/Uplink"},
                 {false, nullptr, ""}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.shown);
        fake_host::reset();
        EXPECT_EQ(create(c.fc, eth, "/xnets/blue/g", "server", c.portgroup, -1), nullptr);
        EXPECT_EQ(log_text(), "<3>Cannot find portgroup (" + std::string(c.shown) +
                                  ") specified for /xnets/blue/g!\n");
    }
    // The parser itself reports it, with the group's fields at their defaults.
    xnetgroup_entry entry{};
    Record r(8, {{0, "/xnets/blue/p"}, {5, "external"}, {6, "/pg/nowhere"}});
    EXPECT_EQ(parse_xnetgroup_data(r, eth, &entry), 1);
    EXPECT_TRUE(entry.portgroup_number == -1 && entry.portgroup == nullptr && entry.xnet == eth);
    free(entry.pathname);
    EXPECT_TRUE(group->xnetgroup_count == 0 && eth->xnetgroups.first == nullptr);
}

TEST_F(XnetgroupTest, FoundAgainFromThePathnameAlone) {
    xnetgroup_entry *g1 = create(false, eth, "/xnets/blue/g1", "server");
    create(false, eth, "/xnets/blue/g1", "mtp"); // no duplicate check
    xnetgroup_entry *twice = create(false, eth, "/xnets/blue/g/g2", "server");
    xnetgroup_entry *f1 = create(true, fc, "/xnets/fab/g1", "fc");
    xnetgroup_entry *misfiled = create(false, fc, "/xnets/blue/g2", "server");
    xnetgroup_entry *rootless = create(false, add_xnet("", "300"), "/g3", "server");
    xnetgroup_entry *at36 = create(false, eth, "/xnets/blue/012345678901234567890123", "server");
    ASSERT_EQ(strlen(at36->pathname), 36u);
    fake_host::reset();

    struct Case {
        const char *pathname, *separator;
        xnetgroup_entry *expected;
    } cases[] = {
        {"/xnets/blue/g1", "/g", g1},      // first of two with the same pathname
        {"/xnets/blue/g/g2", "/g", twice}, // cut at the first of two occurrences
        {"/xnets/fab/g1", "/g", f1},       // either kind
        {"/xnets/blue/g2", "/g", nullptr}, // filed under another xnet
        {"/xnets/fab/g2", "/g", nullptr},
        {"/xnets/blue/g1", "/x", nullptr}, // separator absent
        {"/xnets/blue/g1", "s", nullptr},  // cut inside the xnet's own name
        {"/g3", "/", rootless},            // separator at the start: empty xnet name
        {"/g3", "", rootless},             // empty separator: empty xnet name
        {"/xnets/none/g1", "/g", nullptr}, // no such xnet
        {"/xnets/blue/012345678901234567890123", "/0", at36},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.pathname) + " by " + c.separator);
        EXPECT_EQ(find_xgrp_by_name_generic(c.pathname, c.separator), c.expected);
    }
    EXPECT_EQ(log_text(), "");
    EXPECT_EQ(misfiled->xnet, fc);

    EXPECT_EQ(find_xgrp_by_name_generic("/xnets/blue/0123456789012345678901234", "/0"), nullptr);
    EXPECT_EQ(log_text(),
              "<3>xnetgroup pathname (/xnets/blue/0123456789012345678901234) is too long\n");
}

} // namespace

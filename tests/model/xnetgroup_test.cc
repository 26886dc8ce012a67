#include "model_fixture.h"

#include <syslog.h>

namespace {

using fake_host::log_text;

class XnetgroupTest : public ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        Record r = portgroup_record("/pg/uplink", "4", "0xf0");
        r.set(5, "55").set(9, "0x1").set(10, "0x2").set(16, "0x100").set(18, "true");
        ASSERT_EQ(create_new_portgroup(r, &group), 0);
        eth = add_xnet("/xnets/blue", "100");
        Record fc_record(14, {{0, "/xnets/fab"}, {5, "200"}});
        int duplicate = 0;
        ASSERT_EQ(create_new_fc_xnet(fc_record, &fc, &duplicate), 0);
        fake_host::reset();
    }

    xnetgroup_entry *create(bool fc_kind, xnet_entry *parent, const char *path, const char *role,
                            const char *portgroup = "/pg/uplink", int expected_status = 0) {
        Record r = xnetgroup_record(path, role, portgroup);
        xnetgroup_entry *entry = nullptr;
        int status = fc_kind ? create_new_fc_xnetgroup(r, parent, &entry)
                             : create_new_xnetgroup(r, parent, &entry);
        EXPECT_EQ(status, expected_status);
        return entry;
    }

    portgroup_entry *group = nullptr;
    xnet_entry *eth = nullptr;
    xnet_entry *fc = nullptr;
};

TEST_F(XnetgroupTest, BindsToThePortGroupAndCopiesIt) {
    Record r(8, {{0, "/xnets/blue/g1"}, {5, "server"}, {6, "/pg/uplink"}, {7, "9"}});
    xnetgroup_entry *xg = nullptr;
    ASSERT_EQ(create_new_xnetgroup(r, eth, &xg), 0);
    EXPECT_TRUE(xg->xnet == eth && xg->portgroup == group);
    EXPECT_EQ(xg->role, XGRP_ROLE_SERVER);
    EXPECT_EQ(xg->portgroup_number, 4);
    EXPECT_EQ(xg->portgroup_col5_value, 55);
    EXPECT_EQ(xg->col7_value, 9);
    EXPECT_EQ(xg->portgroup_col18_flag, 1);
    EXPECT_EQ(xg->ports_bitmap, 0xf0u);
    EXPECT_EQ(xg->subport_union, 0x103u);
    EXPECT_EQ(memcmp(xg->subport_bitmaps, group->subport_bitmaps, sizeof xg->subport_bitmaps), 0);
    EXPECT_EQ(xg->host_state, 0);
    EXPECT_EQ(group->xnetgroup_count, 1);
    EXPECT_EQ(names<xnetgroup_entry>(eth->xnetgroups), "/xnets/blue/g1");

    // The copy is taken once: later changes to the group do not reach it.
    group->ports_bitmap = 0;
    EXPECT_EQ(xg->ports_bitmap, 0xf0u);
}

TEST_F(XnetgroupTest, RolesFollowEachKindsKeywordList) {
    struct Case {
        const char *role;
        int32_t ethernet, fc;
    } cases[] = {{"external", XGRP_ROLE_EXTERNAL, 0}, {"sflow", XGRP_ROLE_SFLOW, 0},
                 {"server", XGRP_ROLE_SERVER, XGRP_ROLE_SERVER}, {"mtp", XGRP_ROLE_MTP, 0},
                 {"ingress_mirror", XGRP_ROLE_INGRESS_MIRROR, 0},
                 {"egress_mirror", XGRP_ROLE_EGRESS_MIRROR, 0}, {"fc", 0, XGRP_ROLE_FC},
                 {"Server", 0, 0}, {nullptr, 0, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.role ? c.role : "(absent)");
        EXPECT_EQ(create(false, eth, "/xnets/blue/r", c.role)->role, c.ethernet);
        EXPECT_EQ(create(true, fc, "/xnets/fab/r", c.role)->role, c.fc);
    }
}

TEST_F(XnetgroupTest, KindDecidesTheFlagCopyNotTheParent) {
    // An FC xnetgroup never carries col18_flag, whatever its parent's kind.
    xnetgroup_entry *fc_under_eth = create(true, eth, "/xnets/blue/f", "fc");
    xnetgroup_entry *eth_under_fc = create(false, fc, "/xnets/fab/e", "external");
    EXPECT_EQ(fc_under_eth->portgroup_col18_flag, 0);
    EXPECT_EQ(fc_under_eth->ports_bitmap, 0xf0u);
    EXPECT_EQ(eth_under_fc->portgroup_col18_flag, 1);
    EXPECT_EQ(create(false, eth, "/xnets/blue/x", "mtp")->col7_value, -1);
    EXPECT_EQ(group->xnetgroup_count, 3);
    EXPECT_EQ(names<xnetgroup_entry>(eth->xnetgroups), "/xnets/blue/f /xnets/blue/x");
}

TEST_F(XnetgroupTest, UnknownPortGroupIsLoggedOnceAndRejected) {
    struct Case {
        bool fc;
        const char *portgroup;
        const char *log;
    } cases[] = {{false, "/pg/missing", "<3>Cannot find portgroup (/pg/missing) specified for /xnets/blue/g!\n"},
                 {true, "/pg/Uplink", "<3>Cannot find portgroup (/pg/Uplink) specified for /xnets/blue/g!\n"},
                 {false, nullptr, "<3>Cannot find portgroup () specified for /xnets/blue/g!\n"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.portgroup ? c.portgroup : "(absent)");
        fake_host::reset();
        EXPECT_EQ(create(c.fc, eth, "/xnets/blue/g", "server", c.portgroup, CONFMODEL_REJECTED), nullptr);
        EXPECT_EQ(log_text(), c.log);
    }
    // The parser itself reports it, with the group's fields at their defaults.
    Record r = xnetgroup_record("/xnets/blue/p", "external", "/pg/nowhere");
    xnetgroup_entry entry{};
    EXPECT_EQ(parse_xnetgroup_data(r, eth, &entry), CONFMODEL_NO_PORTGROUP);
    EXPECT_TRUE(entry.portgroup_number == -1 && entry.portgroup == nullptr && entry.xnet == eth);
    free(entry.pathname);
    EXPECT_EQ(group->xnetgroup_count, 0);
    EXPECT_EQ(eth->xnetgroups.first, nullptr);
}

TEST_F(XnetgroupTest, FoundAgainFromThePathnameAlone) {
    xnetgroup_entry *g1 = create(false, eth, "/xnets/blue/g1", "server");
    xnetgroup_entry *twin = create(false, eth, "/xnets/blue/g1", "mtp");  // no duplicate check
    xnetgroup_entry *f1 = create(true, fc, "/xnets/fab/g1", "fc");
    xnetgroup_entry *misfiled = create(false, fc, "/xnets/blue/g2", "server");
    add_xnet("", "300");
    xnet_entry *empty = find_xnet_by_name("");
    xnetgroup_entry *rootless = create(false, empty, "/g3", "server");
    xnetgroup_entry *at36 = create(false, eth, "/xnets/blue/012345678901234567890123", "server");
    ASSERT_EQ(strlen(at36->pathname), 36u);
    EXPECT_NE(twin, nullptr);
    fake_host::reset();

    struct Case {
        const char *pathname, *separator;
        xnetgroup_entry *expected;
    } cases[] = {
        {"/xnets/blue/g1", "/g", g1},               // first of two with the same pathname
        {"/xnets/fab/g1", "/g", f1},                // either kind
        {"/xnets/blue/g2", "/g", nullptr},          // filed under another xnet
        {"/xnets/fab/g2", "/g", nullptr},
        {"/xnets/blue/g1", "/x", nullptr},          // separator absent
        {"/xnets/blue/g1", "s", nullptr},           // cut at the first occurrence: "/xnet"
        {"/g3", "/", rootless},                     // separator at the start: empty xnet name
        {"/g3", "", rootless},                      // empty separator: empty xnet name
        {"/xnets/none/g1", "/g", nullptr},          // no such xnet
        {"/xnets/blue/012345678901234567890123", "/0", at36},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.pathname) + " by " + c.separator);
        EXPECT_EQ(find_xgrp_by_name_generic(c.pathname, c.separator), c.expected);
    }
    EXPECT_EQ(log_text(), "");
    EXPECT_EQ(misfiled->xnet, fc);

    EXPECT_EQ(find_xgrp_by_name_generic("/xnets/blue/0123456789012345678901234", "/0"), nullptr);
    EXPECT_EQ(log_text(), "<3>xnetgroup pathname (/xnets/blue/0123456789012345678901234) is too long\n");
}

// Column 0 goes to the duplicator as it is; this host's duplicator refuses
// null, so every creator takes its failed-copy path.
TEST_F(XnetgroupTest, AbsentPathnameTakesEveryCreatorsFailedCopyPath) {
    Record empty(20, {});
    portgroup_entry *pg = nullptr;
    xnet_entry *x = nullptr;
    xnetgroup_entry *xg = nullptr;
    int duplicate = 0;
    EXPECT_EQ(create_new_portgroup(empty, &pg), ENOMEM);
    EXPECT_EQ(create_new_xnet(empty, &x, &duplicate), CONFMODEL_REJECTED);
    EXPECT_EQ(create_new_fc_xnet(empty, &x, &duplicate), CONFMODEL_REJECTED);
    EXPECT_EQ(create_new_xnetgroup(empty, eth, &xg), CONFMODEL_REJECTED);
    EXPECT_EQ(create_new_fc_xnetgroup(empty, eth, &xg), CONFMODEL_REJECTED);
    EXPECT_EQ(fake_host::strdup_calls(), 5);
    EXPECT_EQ(log_text(), "<3>no memory for new portgroup pathname!\n");
    EXPECT_EQ(names<xnet_entry>(xnets) + " " + names<portgroup_entry>(portgroups),
              "/xnets/blue /xnets/fab /pg/uplink");
    EXPECT_EQ(eth->xnetgroups.first, nullptr);
}

} // namespace

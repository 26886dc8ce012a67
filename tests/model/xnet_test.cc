#include "model_fixture.h"

#include <array>

namespace {

using XnetTest = ModelTest;
using fake_host::log_text;

// int_vid, col6, kind, fc_col8, fc_attach, fc_col9, enabled, eth_col8, eth_col9,
// eth11_fc13, eth_col10.
using Expected = std::array<int32_t, 11>;

// Besides the columns: not native, preset -1, host state zero, no xnetgroups.
void expect_fields(const xnet_entry *x, const Expected &e) {
    EXPECT_EQ(Expected({x->int_vid, x->col6_value, x->kind, x->fc_col8_value, x->fc_attach_mode,
                        x->fc_col9_value, x->enabled, x->eth_col8_flag, x->eth_col9_flag,
                        x->eth11_fc13_flag, x->eth_col10_flag}),
              e);
    EXPECT_TRUE(x->is_native_vlan == 0 && x->preset_value == -1);
    EXPECT_EQ(x->host_state_a | x->host_field | x->host_state_b | x->host_state_c, 0);
    EXPECT_TRUE(x->xnetgroups.first == nullptr && x->xnetgroups.tail_link == &x->xnetgroups.first);
}

TEST_F(XnetTest, ParsesEachKindsColumns) {
    struct Case {
        const char *name;
        bool fc;
        Record record;
        Expected expected;
    } cases[] = {
        {"ethernet, all columns", false,
         Record(14, {{0, "/x/e"}, {5, "10"}, {6, "20"}, {7, "enabled"}, {8, "true"}, {9, "true"},
                     {10, "true"}, {11, "true"}, {13, "true"}}),
         {10, 20, 0, 0, 0, 0, 1, 1, 1, 1, 1}},
        {"ethernet, only the pathname", false, Record(14, {{0, "/x/e0"}}),
         {-1, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"fc, all columns", true,
         Record(14, {{0, "/x/f"}, {5, "30"}, {6, "direct_attach"}, {7, "enabled"}, {8, "8"},
                     {9, "9"}, {10, "false"}, {11, "true"}, {13, "true"}}),
         {30, 0, 1, 8, 1, 9, 1, 0, 0, 1, 1}},
        {"fc, LAN", true, Record(14, {{0, "/x/f2"}, {5, "31"}, {6, "LAN"}, {7, "Enabled"}, {9, "x"}}),
         {31, 0, 1, 0, 2, 0, 0, 0, 0, 0, 1}},
        {"fc, lower-case lan and column 11 ignored", true,
         Record(14, {{0, "/x/f3"}, {5, "32"}, {6, "lan"}, {11, "true"}}),
         {32, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.name);
        xnet_entry *x = nullptr;
        int duplicate = -1;
        int status = c.fc ? create_new_fc_xnet(c.record, &x, &duplicate)
                          : create_new_xnet(c.record, &x, &duplicate);
        ASSERT_EQ(status, 0);
        EXPECT_EQ(duplicate, 0);
        expect_fields(x, c.expected);
    }
    EXPECT_EQ(names<xnet_entry>(xnets), "/x/e /x/e0 /x/f /x/f2 /x/f3");
    EXPECT_EQ(log_text(), "");
}

TEST_F(XnetTest, DuplicateVidSpansBothKinds) {
    xnet_entry *eth = add_xnet("/x/eth", "100");
    Record fc(14, {{0, "/x/fc"}, {5, "100"}, {6, "LAN"}});
    xnet_entry *x = nullptr;
    int duplicate = 0;
    ASSERT_EQ(create_new_fc_xnet(fc, &x, &duplicate), 0);
    EXPECT_EQ(x, eth);
    EXPECT_EQ(duplicate, 1);
    EXPECT_EQ(eth->kind, XNET_KIND_ETHERNET);

    // Two records without column 5 both get -1: the second is a duplicate.
    xnet_entry *no_vid = add_xnet("/x/novid", nullptr);
    Record again = xnet_record("/x/novid2", nullptr);
    ASSERT_EQ(create_new_xnet(again, &x, &duplicate), 0);
    EXPECT_EQ(x, no_vid);
    EXPECT_EQ(duplicate, 1);

    EXPECT_EQ(names<xnet_entry>(xnets), "/x/eth /x/novid");
    EXPECT_EQ(log_text(), "<3>duplicated xnet entry found!  path=/x/eth vid=100\n\n"
                          "<3>duplicated xnet entry found!  path=/x/novid vid=-1\n\n");
}

TEST_F(XnetTest, LookupsReturnTheFirstMatch) {
    EXPECT_EQ(find_xnet_by_int_vid(-1), nullptr);
    EXPECT_EQ(find_xnet_by_name(""), nullptr);
    xnet_entry *a = add_xnet("/x/a", "10");
    xnet_entry *b = add_xnet("/x/b", "20");
    EXPECT_EQ(find_xnet_by_int_vid(20), b);
    EXPECT_EQ(find_xnet_by_int_vid(30), nullptr);
    EXPECT_EQ(find_xnet_by_name("/x/a"), a);
    EXPECT_EQ(find_xnet_by_name("/x/A"), nullptr);
}

TEST_F(XnetTest, NativeVlanFollowsThePortGroup) {
    add_portgroup("/pg/a", "1", "0", "10");
    add_portgroup("/pg/b", "2", "0", "-1");
    xnet_entry *ten = add_xnet("/x/ten", "10");
    xnet_entry *none = add_xnet("/x/none", nullptr);

    struct Case {
        xnet_entry *xnet;
        int32_t group;
        int32_t native;
        const char *log;
    } cases[] = {{ten, 1, 1, ""},
                 {ten, 2, 0, ""},
                 {none, 2, 1, ""},
                 {ten, -1, 0, ""},
                 {ten, 9, 0, "<3>Portgroup #9 not found!\n"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.group);
        fake_host::reset();
        c.xnet->is_native_vlan = 1;  // every call starts by clearing it
        test_and_set_native_vlan(c.xnet, c.group);
        EXPECT_EQ(c.xnet->is_native_vlan, c.native);
        EXPECT_EQ(log_text(), c.log);
    }
}

} // namespace

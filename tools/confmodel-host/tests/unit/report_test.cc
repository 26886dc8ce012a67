// The descriptions of the module's entries: the JSON show gives and the
// compact text a snapshot keeps must hold the same values, whatever the
// names hold; and ports read as the ranges pathnames number.
#include "confmodel_lists.h"
#include "output/entry_fields.h"
#include "output/report_json.h"

#include <gtest/gtest.h>

namespace {

TEST(PortRanges, RunsOfPortsFromOne) {
    const struct {
        uint64_t bitmap;
        const char *ranges;
    } cases[] = {
        {0, ""},
        {1, "1"},
        {0x4f, "1-4,7"},
        {uint64_t(1) << 63, "64"},
        {uint64_t(3) << 62, "63-64"},
        {~uint64_t(0), "1-64"},
        {0x8000000000000001u, "1,64"},
        {0x7ffffffffffffffeu, "2-63"},
        {0xa, "2,4"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(port_ranges(c.bitmap), c.ranges) << std::hex << c.bitmap;
}

TEST(Descriptions, HexFieldsHaveAllTheirDigits) {
    subport_data subport{};
    subport.pathname = const_cast<char *>("/s");
    for (const auto &[value, text] : {std::pair<uint32_t, const char *>{0x593, "0x00000593"},
                                      {0, "0x00000000"},
                                      {0xfedcba98, "0xfedcba98"}}) {
        subport.col17_hex = value;
        EXPECT_EQ(describe_subport(subport)["col17_hex"], text);
    }
    portgroup_entry group{};
    group.pathname = const_cast<char *>("/g");
    group.ports_bitmap = 0x8000000000000005u;
    EXPECT_EQ(describe_portgroup(group)["ports_bitmap"], "0x8000000000000005");
    EXPECT_EQ(describe_portgroup(group)["subport_union"], "0x0000000000000000");
}

// Names a writer must escape, and one it must not touch.
const char *const names[] = {"/plain", "/q\"b\\s", "/nl\n\x01", "/\xc3\xa9t\xc3\xa9 \xe2\x80\xa8 \xf0\x9f\x98\x80", ""};

TEST(Descriptions, CompactTextHoldsTheValuesOfTheJson) {
    for (const char *name : names) {
        portgroup_entry group{};
        group.pathname = const_cast<char *>(name);
        group.number = -3;
        group.ports_bitmap = 0x8000000000000005u;
        group.subport_bitmaps[0] = 1;
        group.subport_bitmaps[7] = ~uint64_t(0);
        group.col18_flag = 1;
        xnet_entry xnet{};
        xnet.pathname = const_cast<char *>(name);
        xnet.kind = XNET_KIND_FC;
        xnet.int_vid = 4094;
        xnet.fc_attach_mode = 7; // no mode the module sets
        confmodel_list_init(&xnet.xnetgroups);
        xnetgroup_entry member{};
        member.pathname = const_cast<char *>(name);
        member.xnet = &xnet;
        member.portgroup = &group;
        member.portgroup_number = -3;
        member.subport_bitmaps[3] = 0x30;
        confmodel_list_append(&xnet.xnetgroups, &member);

        EXPECT_EQ(ojson::parse(description_text(group)), describe_portgroup(group)) << name;
        EXPECT_EQ(ojson::parse(description_text(xnet)), describe_xnet_alone(xnet)) << name;
        EXPECT_EQ(ojson::parse(description_text(member)), describe_xnetgroup(member)) << name;
        // Byte for byte, as the tree is written: a running host answers a
        // lookup with the one, `show` against a store with the other.
        EXPECT_EQ(description_text(group), json_text(describe_portgroup(group), -1)) << name;
        EXPECT_EQ(description_text(xnet), json_text(describe_xnet_alone(xnet), -1)) << name;
        EXPECT_EQ(description_text(member), json_text(describe_xnetgroup(member), -1)) << name;
        std::string with_groups;
        append_description_with_groups(with_groups, xnet);
        EXPECT_EQ(with_groups, json_text(describe_xnet(xnet), -1)) << name;
        confmodel_list_init(&xnet.xnetgroups);
        with_groups.clear();
        append_description_with_groups(with_groups, xnet);
        EXPECT_EQ(with_groups, json_text(describe_xnet(xnet), -1)) << name;
    }
}

} // namespace

// The words every --json document shares: a place split into its file and
// line, a priority as a severity, and each line the module logs, and each
// note of the host, under a code of its own.
#include "output/vocabulary.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(Vocabulary, PlaceIsAFileAndALine) {
    const struct {
        const char *where, *json;
    } cases[] = {
        {"device.jsonl:7", R"({"file":"device.jsonl","line":7})"},
        {"<stdin>:12", R"({"file":"<stdin>","line":12})"},
        {"store.db:config_record:47", R"({"file":"store.db:config_record","line":47})"},
        {"store.db", R"({"file":"store.db"})"},
        {"a:b", R"({"file":"a:b"})"},
        {"a:", R"({"file":"a:"})"},
        {"a:99999999999", R"({"file":"a:99999999999"})"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(place_json(c.where).dump(), c.json) << c.where;
}

TEST(Vocabulary, PrioritiesAsThreeSeverities) {
    const struct {
        const char *priority, *severity;
    } cases[] = {
        {"emerg", "error"}, {"alert", "error"},   {"crit", "error"}, {"err", "error"},
        {"warning", "warning"}, {"notice", "note"}, {"info", "note"}, {"note", "note"},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(severity(c.priority), c.severity) << c.priority;
}

TEST(Vocabulary, EveryLineACodeOfItsOwn) {
    const struct {
        const char *text, *code;
    } cases[] = {
        {"duplicated portgroup entry found!  path=/pg", "portgroup-duplicate-number"},
        {"Create new port group: Both ports & subport bitmap specified for /pg!",
         "portgroup-ports-and-subports"},
        {"duplicated xnet entry found!  path=/x vid=5\n", "xnet-duplicate-vlan"},
        {"Portgroup #3 not found!", "xnet-native-portgroup-missing"},
        {"Cannot find portgroup (/pg) specified for /x/g!", "xnetgroup-portgroup-missing"},
        {"xnetgroup pathname (/x/g) is too long", "xnetgroup-pathname-too-long"},
        {"no memory for xnet!\n", "module-no-memory"},
        {"create_new_portgroup returned 12", "portgroup-refused"},
        {"the module refused the xnet (status -1)", "xnet-refused"},
        {"duplicate of /a; its xnetgroups join that xnet", "xnet-duplicate-joined"},
        {"the module refused the xnetgroup (status 1)", "xnetgroup-refused"},
        {"xnetgroup skipped: its xnet is not in the model", "xnetgroup-xnet-missing"},
        {"parse_subport_data returned 12", "subport-refused"},
        {"a line no one knows", "module-log"},
    };
    std::set<std::string> codes;
    for (const auto &c : cases) {
        EXPECT_STREQ(finding_code(c.text), c.code) << c.text;
        codes.insert(c.code);
    }
    EXPECT_EQ(codes.size(), std::size(cases));
}

} // namespace

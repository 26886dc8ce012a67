// Comparisons of port records and remote devices by their records: what
// diff and apply report of the records a user changes by the thousand.
#include "output/snapshot.h"
#include "running/module.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

const Module &module() {
    static Module m;
    if (m.handle == nullptr && !load_module(CONFMODEL_HOST_BUILD_LIBRARY, m).empty()) abort();
    return m;
}

// Records of one table: column number and text, column 0 first.
Record make(TextArena &texts, Table table, std::initializer_list<std::pair<size_t, const char *>> columns) {
    static const uint8_t source = register_source("records");
    Record::Builder builder(table, source, 1);
    for (const auto &[n, text] : columns)
        builder.set(n, text);
    return builder.build(texts, {}, std::nullopt);
}

std::string shown(const Comparison &c) {
    std::ostringstream out;
    print_comparison(out, c, {"before", "after"}, "");
    return out.str();
}

class CompareRecords : public ::testing::Test {
  protected:
    TextArena texts;
    Record port1 = make(texts, Table::subport, {{0, "/ports/port1/subports/1"}, {5, "1"}});
    Record port1_changed = make(texts, Table::subport, {{0, "/ports/port1/subports/1"}, {5, "2"}});
    Record unnamed = make(texts, Table::port_protect, {{4, "enabled"}});
    Record unnamed_too = make(texts, Table::port_protect, {{4, "disabled"}});
    Record empty_name = make(texts, Table::port_protect, {{0, ""}, {4, "disabled"}});
    Record device = make(texts, Table::remote_device, {{0, "7"}, {22, "false"}});
    Record device_set = make(texts, Table::remote_device, {{0, "7"}, {22, "true"}});
    Record device_new = make(texts, Table::remote_device, {{0, "8"}});
};

TEST_F(CompareRecords, EntriesBySectionRemovedFirstAndNamedByPlace) {
    RecordList before = {&device, &port1, &unnamed, &unnamed_too};
    RecordList after = {&device_set, &device_new, &empty_name, &unnamed, &port1_changed};
    Comparison c;
    compare_records(c, module(), before, after);
    EXPECT_EQ(shown(c), "Subports\n"
                        "  ~ /ports/port1/subports/1\n"
                        "      col5_value: before 1, after 2\n"
                        "Port protection\n"
                        "  - without a pathname (2nd): before only\n"
                        "  + with an empty pathname: after only\n"
                        "Remote devices\n"
                        "  ~ device 7\n"
                        "      dcbx_pending: before \"false\", after \"true\"\n"
                        "  + device 8: after only\n");
}

TEST_F(CompareRecords, TheSameRecordsInAnotherOrderDifferInNothing) {
    RecordList running = {&device, &unnamed, &port1}, configuration = {&port1, &device, &unnamed};
    Comparison same;
    compare_running_records(same, module(), running, configuration);
    EXPECT_TRUE(same.same());
    // One record of its own is one difference.
    RecordList other = {&port1_changed, &device, &unnamed};
    Comparison differs;
    compare_running_records(differs, module(), running, other);
    EXPECT_EQ(differs.entries.size(), 1u);
    // A record held twice, one missing at either end, or other records
    // altogether, is no reordering.
    const std::pair<RecordList, RecordList> unlike[] = {
        {{&device, &device, &unnamed}, {&device, &unnamed, &port1}},
        {{&port1, &device}, {&port1_changed, &device_new}},
        {{&device, &unnamed}, {&device, &unnamed, &port1}},
        {{&device, &unnamed, &port1}, {&unnamed, &port1}},
    };
    for (const auto &[mine, theirs] : unlike) {
        Comparison c;
        compare_running_records(c, module(), mine, theirs);
        EXPECT_FALSE(c.same());
    }
}

TEST_F(CompareRecords, APlansTouchedRecordsCompareAsTheWhole) {
    ChangeSet set{"changes", {}, {}};
    set.changes.push_back({Op::change, port1_changed});
    set.changes.push_back({Op::remove, device});
    set.changes.push_back({Op::add, device_new});
    RecordList before = {&unnamed, &port1, &device};
    Plan plan = plan_changes(before, set);
    Comparison whole, touched;
    compare_records(whole, module(), before, plan.result);
    compare_changed_records(touched, module(), before, plan);
    EXPECT_EQ(shown(touched), shown(whole));
    EXPECT_EQ(whole.entries.size(), 3u);
}

} // namespace

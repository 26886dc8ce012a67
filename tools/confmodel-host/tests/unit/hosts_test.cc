// The running hosts and port records: both release and decode what a change
// touches; the faithful host keeps them in the order of the changed
// configuration, as a restart would list them, and the simple host decodes
// at the tail.
#include "running/hosts.h"

#include <gtest/gtest.h>

namespace {

const Module &module() {
    static Module m;
    if (m.handle == nullptr && !load_module(CONFMODEL_HOST_BUILD_LIBRARY, m).empty()) abort();
    return m;
}

Record record(TextArena &texts, Table table, std::initializer_list<std::pair<size_t, const char *>> columns,
              const char *xnet = "") {
    static const uint8_t source = register_source("records");
    Record::Builder builder(table, source, 1);
    for (const auto &[column, text] : columns)
        builder.set(column, text);
    return builder.build(texts, xnet, std::nullopt);
}

Record subport(TextArena &texts, const char *name, const char *col5) {
    return record(texts, Table::subport, {{0, name}, {5, col5}});
}

// The model's subports: pathname and column 5 as decoded.
std::string subports(const HostModel &model) {
    std::string out;
    for (const Subport &s : model.subports())
        out += std::string(out.empty() ? "" : " ") + s.data.pathname + "=" + std::to_string(s.data.col5_value);
    return out;
}

TEST(Hosts, PortRecordsWhereEachHostPutsThem) {
    TextArena texts;
    Record a = subport(texts, "/a", "1"), b = subport(texts, "/b", "2"), c = subport(texts, "/c", "3"),
           b_changed = subport(texts, "/b", "20"), d = subport(texts, "/d", "4");
    ChangeSet set{"changes", {}, {}};
    set.changes.push_back({Op::change, b_changed});
    set.changes.push_back({Op::remove, a});
    set.changes.push_back({Op::add, d});
    const RecordList base = {&a, &b, &c};
    const Plan plan = plan_changes(base, set);
    struct Case {
        Host host;
        const char *after;
    } cases[] = {{Host::simple, "/c=3 /b=20 /d=4"}, {Host::faithful, "/b=20 /c=3 /d=4"}};
    for (const Case &k : cases) {
        SCOPED_TRACE(host_name(k.host));
        HostModel model(module());
        model.build(base);
        EXPECT_EQ(subports(model), "/a=1 /b=2 /c=3");
        apply_changes(model, k.host, plan, [](const Step &) {});
        EXPECT_EQ(subports(model), k.after);
    }
}

// A record that leaves without an entry of its own, a duplicate port group or
// an xnetgroup the module refused, is let go: it may not outlive the change,
// and a record made later where it stood is another.
TEST(Hosts, RecordsLeavingWithoutAnEntryAreLetGo) {
    TextArena texts;
    Record first = record(texts, Table::portgroup, {{0, "/pg"}, {3, "1"}}),
           twin = record(texts, Table::portgroup, {{0, "/pg/twin"}, {3, "1"}}),
           xnet = record(texts, Table::xnet, {{0, "/x"}, {5, "7"}}),
           refused = record(texts, Table::xnetgroup, {{0, "/x/g"}, {6, "/none"}}, "/x");
    ChangeSet set{"changes", {}, {}};
    set.changes.push_back({Op::remove, record(texts, Table::portgroup, {{0, "/pg/twin"}})});
    set.changes.push_back({Op::remove, record(texts, Table::xnetgroup, {{0, "/x/g"}}, "/x")});
    const RecordList base = {&first, &twin, &xnet, &refused};
    const Plan plan = plan_changes(base, set);
    HostModel model(module());
    model.build(base);
    ASSERT_TRUE(model.has_answer(twin));
    ASSERT_EQ(model.turned_away().count(&refused), 1u);
    apply_changes(model, Host::faithful, plan, [](const Step &) {});
    EXPECT_FALSE(model.has_answer(twin));
    EXPECT_EQ(model.turned_away().count(&refused), 0u);
}

} // namespace

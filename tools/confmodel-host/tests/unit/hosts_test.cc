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

Record subport(TextArena &texts, const char *name, const char *col5) {
    static const uint8_t source = register_source("records");
    Record::Builder builder(Table::subport, source, 1);
    builder.set(0, name);
    builder.set(5, col5);
    return builder.build(texts, {}, std::nullopt);
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

} // namespace

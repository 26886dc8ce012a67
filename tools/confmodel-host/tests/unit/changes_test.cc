// Change sets planned on a configuration, and the change set diff writes
// between two: what apply and diff do to records, without the module.
#include "input/changes.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

// A record for these tests: its table, column 0, a value in column 5 that
// tells versions apart, and an xnetgroup's xnet.
struct Sketch {
    Table table;
    const char *name;
    const char *value = "1";
    const char *xnet = "";
};

class Records {
  public:
    const Record *make(const Sketch &s) {
        static const uint8_t source = register_source("records");
        Record::Builder builder(s.table, source, ++line_);
        builder.set(0, s.name);
        builder.set(5, s.value);
        return &records_.emplace_back(builder.build(texts_, s.xnet, std::nullopt));
    }
    RecordList list(const std::vector<Sketch> &sketches) {
        RecordList out;
        for (const Sketch &s : sketches)
            out.push_back(make(s));
        return out;
    }

  private:
    TextArena texts_;
    std::deque<Record> records_;
    uint32_t line_ = 0;
};

// Records as "name=value", in order.
std::string shown(const RecordList &records) {
    std::string out;
    for (const Record *r : records)
        out += (out.empty() ? "" : " ") + std::string(r->column(0)) + "=" + r->column(5);
    return out;
}

const Sketch xa{Table::xnet, "/a"}, xb{Table::xnet, "/b"}, ga{Table::xnetgroup, "/a/g", "1", "/a"},
    pg{Table::portgroup, "/pg"};

TEST(PlanChanges, EachChangeInPlaceAtTheEndOrRefused) {
    struct Change_ {
        Op op;
        Sketch record;
    };
    const struct Case {
        const char *what;
        std::vector<Change_> changes;
        const char *result; // or the refusal's words
        bool refused = false;
    } cases[] = {
        {"an addition goes to the end", {{Op::add, {Table::xnet, "/c"}}}, "/a=1 /b=1 /a/g=1 /pg=1 /c=1"},
        {"a removal deletes", {{Op::remove, xb}}, "/a=1 /a/g=1 /pg=1"},
        {"a change stays in place", {{Op::change, {Table::xnet, "/b", "2"}}}, "/a=1 /b=2 /a/g=1 /pg=1"},
        {"a change may turn an xnet to FC", {{Op::change, {Table::fc_xnet, "/a", "3"}}}, "/a=3 /b=1 /a/g=1 /pg=1"},
        {"removed and added again, it moves", {{Op::remove, xa}, {Op::add, {Table::xnet, "/a", "2"}}},
         "/b=1 /a/g=1 /pg=1 /a=2"},
        {"added and removed, it is gone", {{Op::add, {Table::xnet, "/c"}}, {Op::remove, {Table::xnet, "/c"}}},
         "/a=1 /b=1 /a/g=1 /pg=1"},
        {"an addition of a record there", {{Op::add, xb}}, "records:5: xnet \"/b\" is in the configuration already (records:2); change it instead", true},
        {"a removal of a record not there", {{Op::remove, {Table::portgroup, "/none"}}}, "is not in the configuration", true},
        {"a change of a record not there", {{Op::change, {Table::xnet, "/c"}}}, "is not in the configuration", true},
        {"an xnetgroup left without its xnet", {{Op::remove, xa}}, "would be left without its xnet; remove it too", true},
        {"an xnet and its xnetgroup removed", {{Op::remove, ga}, {Op::remove, xa}}, "/b=1 /pg=1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Records records;
        const RecordList base = records.list({xa, xb, ga, pg});
        ChangeSet set{"changes", {}, {}};
        for (const Change_ &change : c.changes)
            set.changes.push_back({change.op, *records.make(change.record)});
        try {
            Plan plan = plan_changes(base, set);
            EXPECT_FALSE(c.refused);
            EXPECT_EQ(shown(plan.result), c.result);
            // Every record before or after is touched exactly when the plan
            // changed its identity.
            for (const Record *r : base)
                EXPECT_EQ(plan.touched_before(r) != nullptr, plan.touched.count(identity(*r)) == 1) << r->column(0);
            for (const Record *r : plan.result)
                EXPECT_EQ(plan.touched_after(r) != nullptr, plan.touched.count(identity(*r)) == 1) << r->column(0);
            for (const auto &[id, t] : plan.touched)
                EXPECT_EQ(t.moved, t.before != nullptr && t.after != nullptr && t.after == plan.result.back()) << id.name;
        } catch (const Failure &e) {
            EXPECT_TRUE(c.refused) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.result), std::string::npos) << e.what();
        }
    }
}

TEST(PlanChanges, ARecordOfTwoCannotBeNamed) {
    Records records;
    const RecordList base = records.list({pg, xa, {Table::portgroup, "/pg", "2"}});
    ChangeSet set{"changes", {{Op::change, *records.make({Table::portgroup, "/pg", "3"})}}, {}};
    try {
        plan_changes(base, set);
        ADD_FAILURE() << "planned";
    } catch (const Failure &e) {
        EXPECT_STREQ(e.what(), "records:4: the configuration has 2 records of portgroup \"/pg\" "
                               "(records:1, records:3); a change cannot tell them apart");
    }
}

// What diff writes, planned on the configuration before, gives the
// configuration after: every record, each kind in its order (an addition
// goes to the end, after records of other kinds).
TEST(DiffConfigs, ItsChangesTurnOneConfigurationIntoTheOther) {
    const Sketch xa2{Table::xnet, "/a", "2"}, fa{Table::fc_xnet, "/a"}, xc{Table::xnet, "/c"};
    const struct Case {
        const char *what;
        std::vector<Sketch> before, after;
        const char *changes; // ops in order
    } cases[] = {
        {"the same", {xa, xb, pg}, {xa, xb, pg}, ""},
        {"a value changed", {xa, xb, pg}, {xa2, xb, pg}, "change"},
        {"a kind changed", {xa, xb}, {fa, xb}, "change"},
        {"removed and added", {xa, xb, pg}, {xb, xc, pg}, "remove add"},
        {"two swapped", {xa, xb}, {xb, xa}, "remove add"},
        {"moved and changed", {xa, xb, ga}, {xb, xa2, ga}, "remove add"},
        {"other kinds keep their order", {pg, xa, xb}, {xa, xb, pg}, ""},
        {"twins alike on both sides", {pg, pg, xa}, {pg, pg, xa2}, "change"},
        {"from nothing", {}, {xa, ga, pg}, "add add add"},
        {"to nothing", {xa, ga}, {}, "remove remove"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Records records;
        const RecordList before = records.list(c.before), after = records.list(c.after);
        ChangeSet set = diff_configs(before, after, pair_records(before, after), "after");
        std::string ops;
        for (const Change &change : set.changes)
            ops += (ops.empty() ? "" : " ") + std::string(op_name(change.op));
        EXPECT_EQ(ops, c.changes);
        const Plan plan = plan_changes(before, set);
        for (int kind = 0; kind <= static_cast<int>(Table::remote_device); kind++) {
            auto of_kind = [&](const RecordList &records) {
                std::vector<const Record *> out;
                for (const Record *r : records)
                    if (record_kind(*r) == static_cast<Table>(kind)) out.push_back(r);
                return out;
            };
            const auto planned = of_kind(plan.result), wanted = of_kind(after);
            ASSERT_EQ(planned.size(), wanted.size()) << kind;
            for (size_t i = 0; i < wanted.size(); i++)
                EXPECT_TRUE(planned[i]->same_as(*wanted[i])) << kind << ", " << i;
        }
    }
}

TEST(DiffConfigs, RefusesWhatNoChangeCanName) {
    const Sketch pg2{Table::portgroup, "/pg", "2"}, pb{Table::portgroup, "/pb"};
    const struct Case {
        std::vector<Sketch> before, after;
        const char *message;
    } cases[] = {
        {{xa}, {xa, pg, pg}, "records:3: portgroup \"/pg\" has 0 records before and 2 after (records:3, records:4): "},
        {{pg, pg}, {pg, pg2}, "records:3: portgroup \"/pg\" has 2 records before (records:1, records:2) and 2 after"},
        {{pg, pg2, pb}, {pb, pg, pg2}, "records:1: portgroup \"/pg\" has several records and one must move: "},
    };
    for (const Case &c : cases) {
        Records records;
        const RecordList before = records.list(c.before), after = records.list(c.after);
        try {
            diff_configs(before, after, pair_records(before, after), "after");
            ADD_FAILURE() << c.message;
        } catch (const Failure &e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("by its identity alone"), std::string::npos);
        }
    }
}

// The k-th record of an identity after pairs with the k-th before, and each
// knows how many its identity has on either side.
TEST(PairRecords, CountsEachIdentityOnBothSides) {
    Records records;
    const Sketch c{Table::xnet, "/c"};
    const RecordList before = records.list({xa, xb, xa});
    const RecordList after = records.list({xa, c, xa, c, xa});
    const Pairing p = pair_records(before, after);
    constexpr uint32_t none = Pairing::none;
    using V = std::vector<uint32_t>;
    EXPECT_EQ(V(p.partner.begin(), p.partner.end()), (V{0, none, 2, none, none}));
    EXPECT_EQ(V(p.nth.begin(), p.nth.end()), (V{1, 1, 2, 2, 3}));
    EXPECT_EQ(V(p.olds.begin(), p.olds.end()), (V{2, 0, 2, 0, 2}));
    EXPECT_EQ(V(p.news.begin(), p.news.end()), (V{3, 2, 3, 2, 3}));
    EXPECT_EQ(V(p.group.begin(), p.group.end()), (V{0, none, 0, none, 0}));
    EXPECT_EQ(V(p.old_nth.begin(), p.old_nth.end()), (V{1, 1, 2}));
    EXPECT_EQ(V(p.old_olds.begin(), p.old_olds.end()), (V{2, 1, 2}));
    EXPECT_EQ(p.paired, (std::vector<bool>{true, false, true}));
}

} // namespace

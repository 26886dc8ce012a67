// Every allocation and every pathname copy that a creator or parser makes (the
// model's and parse_subport_data) is made to fail in turn, first, second,
// third..., until the call gets through with none failing. Each failure must
// give the documented status and log line, hand back null, and leave the lists
// and the caller's record as they were; the sanitizer and valgrind runs of
// this program see that nothing leaks on the way.
#include "../model/model_fixture.h"

#include <errno.h>
#include <syslog.h>

namespace {

using fake_host::log_text;

enum class Fail { malloc_call, strdup_call };

// How a function answers one failed allocation or copy.
struct Failure {
    int status;
    const char *log;
};

class TortureTest;

struct Case {
    const char *name;
    // Builds what the call needs; runs before any failure is armed.
    void (*setup)(TortureTest &);
    // Exactly one call into the module. Returns its status and sets
    // handed_back to what it returned: the out-parameter, or the pathname
    // the parser stored.
    int (*call)(TortureTest &, const void *&handed_back);
    // The failures; no_point where the function makes no such call.
    Failure on_malloc, on_strdup;
    // Checks the caller-owned target after a failure (null: none).
    void (*failed)(TortureTest &);
    // Checks a call that went through and releases what it gave the caller.
    void (*succeeded)(TortureTest &, int status, const void *handed_back);
    // Failure points expected: allocations, pathname copies.
    int malloc_points, strdup_points;
};

// Records are built before the loop: converting one allocates.
struct Records {
    Record pg_new{20,
                  {{0, "/pg/new"},
                   {3, "2"},
                   {5, "5"},
                   {6, "6"},
                   {7, "0x3"},
                   {8, "10"},
                   {9, "0x2"},
                   {18, "true"}}};
    Record pg_dup{20, {{0, "/pg/dup"}, {3, "1"}, {7, "0x3"}, {9, "0x1"}}};
    Record xnet_new{
        14, {{0, "/x/new"}, {5, "20"}, {6, "LAN"}, {7, "enabled"}, {8, "true"}, {13, "true"}}};
    Record xnet_dup{14, {{0, "/x/dup"}, {5, "10"}}};
    Record xgrp{8, {{0, "/x/a.g"}, {5, "server"}, {6, "/pg/a"}, {7, "7"}}};
    Record xgrp_unknown{8, {{0, "/x/a.h"}, {5, "server"}, {6, "/pg/none"}}};
    Record subport{18, {{0, "/ports/port3/1"}, {5, "5"}, {7, "FCoE"}, {9, "enabled"}, {17, "ff"}}};
};

// A caller's subport record before parsing: never parsed, host state set.
subport_data unparsed_subport() {
    subport_data s{};
    s.host_state_a = 1;
    s.host_field = 2;
    s.host_state_b = 3;
    s.host_state_c = 4;
    return s;
}

class TortureTest : public ModelTest {
  public:
    using ModelTest::add_portgroup;
    using ModelTest::add_xnet;

    // Everything the module keeps, rendered so that one comparison shows a change.
    static std::string model_state() {
        std::string out;
        LIST_FOREACH(portgroup_entry, pg, &portgroups) {
            out += "pg " + std::string(pg->pathname) + " #" + std::to_string(pg->number) + " x" +
                   std::to_string(pg->xnetgroup_count) + "\n";
        }
        LIST_FOREACH(xnet_entry, x, &xnets) {
            out += "xnet " + std::string(x->pathname) + " vid " + std::to_string(x->int_vid) + ":";
            LIST_FOREACH(xnetgroup_entry, g, &x->xnetgroups) {
                out += " " + std::string(g->pathname);
            }
            out += "\n";
        }
        return out;
    }

    static bool lists_consistent() {
        if (!list_is_consistent<portgroup_entry>(&portgroups) ||
            !list_is_consistent<xnet_entry>(&xnets))
            return false;
        LIST_FOREACH(xnet_entry, x, &xnets) {
            if (!list_is_consistent<xnetgroup_entry>(&x->xnetgroups)) return false;
        }
        return true;
    }

    // Fails the nth allocation or copy of the call for n = 1, 2, ... until the
    // call gets through; returns how many points there were.
    int torture(const Case &c, Fail kind) {
        const int limit = 16;
        for (int n = 1; n <= limit; n++) {
            SCOPED_TRACE(std::string(kind == Fail::malloc_call ? "allocation " : "pathname copy ") +
                         std::to_string(n));
            TearDown();
            SetUp();
            xnet_target = {};
            xgrp_target = {};
            duplicate = -1;
            subport = unparsed_subport();
            c.setup(*this);
            const std::string before = model_state();
            fake_host::reset();
            const void *handed_back = this; // the call must overwrite it

            // Nothing of the test itself may allocate while a failure is armed.
            if (kind == Fail::malloc_call)
                fake_host::fail_malloc_call(n);
            else
                fake_host::fail_strdup_call(n);
            const int status = c.call(*this, handed_back);
            const bool reached = kind == Fail::malloc_call ? !fake_host::malloc_failure_pending()
                                                           : !fake_host::strdup_failure_pending();
            fake_host::fail_malloc_call(0);
            fake_host::fail_strdup_call(0);

            EXPECT_TRUE(lists_consistent());
            if (!reached) {
                c.succeeded(*this, status, handed_back);
                return n - 1;
            }
            const Failure &want = kind == Fail::malloc_call ? c.on_malloc : c.on_strdup;
            EXPECT_EQ(status, want.status);
            EXPECT_EQ(handed_back, nullptr);
            EXPECT_EQ(log_text(), want.log);
            EXPECT_EQ(model_state(), before);
            if (c.failed != nullptr) c.failed(*this);
        }
        ADD_FAILURE() << "the call still fails after " << limit << " failure points";
        return limit;
    }

    Records records;
    config_record pg_new = records.pg_new, pg_dup = records.pg_dup;
    config_record xnet_new = records.xnet_new, xnet_dup = records.xnet_dup;
    config_record xgrp = records.xgrp, xgrp_unknown = records.xgrp_unknown;
    config_record subport_record = records.subport;

    portgroup_entry *group = nullptr;
    xnet_entry *parent = nullptr;
    // The parsers' caller-owned targets.
    xnet_entry xnet_target{};
    xnetgroup_entry xgrp_target{};
    int duplicate = -1; // the xnet creators' out-flag
    subport_data subport{};
};

const Failure no_point{0, ""};

void no_setup(TortureTest &) {}

void group_and_xnet(TortureTest &t) {
    t.group = t.add_portgroup("/pg/a", "1", "0x3", "10");
    t.parent = t.add_xnet("/x/a", "10");
}

// ---- the calls

int create_portgroup(config_record r, const void *&out) {
    portgroup_entry *entry = reinterpret_cast<portgroup_entry *>(&out); // must be cleared
    int status = create_new_portgroup(r, &entry);
    out = entry;
    return status;
}

template <bool fc> int create_xnet(TortureTest &t, config_record r, const void *&out) {
    xnet_entry *entry = reinterpret_cast<xnet_entry *>(&out);
    int status =
        fc ? create_new_fc_xnet(r, &entry, &t.duplicate) : create_new_xnet(r, &entry, &t.duplicate);
    out = entry;
    return status;
}

template <bool fc> int create_xgrp(TortureTest &t, config_record r, const void *&out) {
    xnetgroup_entry *entry = reinterpret_cast<xnetgroup_entry *>(&out);
    int status = fc ? create_new_fc_xnetgroup(r, t.parent, &entry)
                    : create_new_xnetgroup(r, t.parent, &entry);
    out = entry;
    return status;
}

template <bool fc> int parse_xnet(TortureTest &t, const void *&out) {
    int status = fc ? parse_fc_xnet_data(t.xnet_new, &t.xnet_target)
                    : parse_xnet_data(t.xnet_new, &t.xnet_target);
    out = t.xnet_target.pathname;
    return status;
}

template <bool fc> int parse_xgrp(TortureTest &t, const void *&out) {
    int status = fc ? parse_fc_xnetgroup_data(t.xgrp, t.parent, &t.xgrp_target)
                    : parse_xnetgroup_data(t.xgrp, t.parent, &t.xgrp_target);
    out = t.xgrp_target.pathname;
    return status;
}

int parse_subport(TortureTest &t, const void *&out) {
    int status = parse_subport_data(2, t.subport_record, &t.subport);
    out = t.subport.pathname;
    return status;
}

// ---- what a failed parse leaves in the caller's entry

void xnet_target_untouched(TortureTest &t) {
    const xnet_entry zero{};
    EXPECT_EQ(memcmp(&t.xnet_target, &zero, sizeof zero), 0);
}

// The xnetgroup parsers set their defaults before they look at the copy.
void xgrp_target_defaults(TortureTest &t) {
    xnetgroup_entry want{};
    want.xnet = t.parent;
    want.portgroup_number = -1;
    EXPECT_EQ(memcmp(&t.xgrp_target, &want, sizeof want), 0);
    EXPECT_EQ(t.group->xnetgroup_count, 0);
}

// The out-flag is cleared along with the entry.
void duplicate_cleared(TortureTest &t) {
    EXPECT_EQ(t.duplicate, 0);
}

// in_use stays 0, so free_subport_data will leave the record alone.
void subport_untouched(TortureTest &t) {
    const subport_data want = unparsed_subport();
    EXPECT_EQ(memcmp(&t.subport, &want, sizeof want), 0);
}

// ---- what a successful call leaves

void pg_listed(TortureTest &t, int status, const void *out) {
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, list_next(t.group));
    EXPECT_EQ(t.model_state(), "pg /pg/a #1 x0\npg /pg/new #2 x0\nxnet /x/a vid 10:\n");
    EXPECT_EQ(log_text(),
              "<4>Create new port group: Both ports & subport bitmap specified for /pg/new!\n");
}

void pg_dup_dropped(TortureTest &t, int status, const void *out) {
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, t.group);
    EXPECT_EQ(t.model_state(), "pg /pg/a #1 x0\nxnet /x/a vid 10:\n");
    EXPECT_EQ(log_text(),
              "<4>Create new port group: Both ports & subport bitmap specified for /pg/dup!\n"
              "<3>duplicated portgroup entry found!  path=/pg/a\n");
}

void xnet_listed(TortureTest &t, int status, const void *out) {
    EXPECT_EQ(status, 0);
    EXPECT_EQ(t.duplicate, 0);
    EXPECT_EQ(out, list_next(t.parent));
    EXPECT_EQ(t.model_state(), "pg /pg/a #1 x0\nxnet /x/a vid 10:\nxnet /x/new vid 20:\n");
    EXPECT_EQ(log_text(), "");
}

void xnet_dup_dropped(TortureTest &t, int status, const void *out) {
    EXPECT_EQ(status, 0);
    EXPECT_EQ(t.duplicate, 1);
    EXPECT_EQ(out, t.parent);
    EXPECT_EQ(t.model_state(), "pg /pg/a #1 x0\nxnet /x/a vid 10:\n");
    EXPECT_EQ(log_text(), "<3>duplicated xnet entry found!  path=/x/a vid=10\n\n");
}

void xnet_parsed(TortureTest &t, int status, const void *out) {
    EXPECT_EQ(status, 0);
    EXPECT_STREQ(static_cast<const char *>(out), "/x/new");
    EXPECT_EQ(t.xnet_target.int_vid, 20);
    EXPECT_EQ(log_text(), "");
    free(t.xnet_target.pathname);
}

void xgrp_listed(TortureTest &t, int status, const void *out) {
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, t.parent->xnetgroups.first);
    EXPECT_EQ(t.model_state(), "pg /pg/a #1 x1\nxnet /x/a vid 10: /x/a.g\n");
    EXPECT_EQ(log_text(), "");
}

void xgrp_refused(TortureTest &t, int status, const void *out) {
    EXPECT_EQ(status, CONFMODEL_REJECTED);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(t.model_state(), "pg /pg/a #1 x0\nxnet /x/a vid 10:\n");
    EXPECT_EQ(log_text(), "<3>Cannot find portgroup (/pg/none) specified for /x/a.h!\n");
}

void xgrp_parsed(TortureTest &t, int status, const void *out) {
    EXPECT_EQ(status, 0);
    EXPECT_STREQ(static_cast<const char *>(out), "/x/a.g");
    EXPECT_EQ(t.xgrp_target.portgroup, t.group);
    EXPECT_EQ(t.group->xnetgroup_count, 1);
    EXPECT_EQ(log_text(), "");
    free(t.xgrp_target.pathname);
}

void subport_parsed(TortureTest &t, int status, const void *out) {
    EXPECT_EQ(status, 0);
    EXPECT_STREQ(static_cast<const char *>(out), "/ports/port3/1");
    EXPECT_EQ(t.subport.in_use, 1);
    EXPECT_EQ(t.subport.parent_port, 2);
    EXPECT_EQ(t.subport.col17_hex, 0xffu);
    EXPECT_EQ(t.subport.host_state_a + t.subport.host_field + t.subport.host_state_b +
                  t.subport.host_state_c,
              1 + 2 + 3 + 4);
    EXPECT_EQ(log_text(), "");
    free_subport_data(&t.subport);
}

const Case cases[] = {
    {"create_new_portgroup",
     group_and_xnet,
     [](TortureTest &t, const void *&out) { return create_portgroup(t.pg_new, out); },
     {ENOMEM, "<3>no memory for portgroups!\n\n"},
     {ENOMEM, "<3>no memory for new portgroup pathname!\n"},
     nullptr,
     pg_listed,
     1,
     1},
    {"create_new_portgroup, duplicate number",
     group_and_xnet,
     [](TortureTest &t, const void *&out) { return create_portgroup(t.pg_dup, out); },
     {ENOMEM, "<3>no memory for portgroups!\n\n"},
     {ENOMEM, "<3>no memory for new portgroup pathname!\n"},
     nullptr,
     pg_dup_dropped,
     1,
     1},
    {"create_new_xnet",
     group_and_xnet,
     [](TortureTest &t, const void *&out) { return create_xnet<false>(t, t.xnet_new, out); },
     {ENOMEM, "<3>no memory for xnet!\n\n"},
     {CONFMODEL_REJECTED, ""},
     duplicate_cleared,
     xnet_listed,
     1,
     1},
    {"create_new_xnet, duplicate vid",
     group_and_xnet,
     [](TortureTest &t, const void *&out) { return create_xnet<false>(t, t.xnet_dup, out); },
     {ENOMEM, "<3>no memory for xnet!\n\n"},
     {CONFMODEL_REJECTED, ""},
     duplicate_cleared,
     xnet_dup_dropped,
     1,
     1},
    {"create_new_fc_xnet",
     group_and_xnet,
     [](TortureTest &t, const void *&out) { return create_xnet<true>(t, t.xnet_new, out); },
     {ENOMEM, "<3>no memory for FC xnet!\n\n"},
     {CONFMODEL_REJECTED, ""},
     duplicate_cleared,
     xnet_listed,
     1,
     1},
    {"create_new_fc_xnet, duplicate vid",
     group_and_xnet,
     [](TortureTest &t, const void *&out) { return create_xnet<true>(t, t.xnet_dup, out); },
     {ENOMEM, "<3>no memory for FC xnet!\n\n"},
     {CONFMODEL_REJECTED, ""},
     duplicate_cleared,
     xnet_dup_dropped,
     1,
     1},
    {"parse_xnet_data",
     no_setup,
     parse_xnet<false>,
     no_point,
     {ENOMEM, ""},
     xnet_target_untouched,
     xnet_parsed,
     0,
     1},
    {"parse_fc_xnet_data",
     no_setup,
     parse_xnet<true>,
     no_point,
     {ENOMEM, ""},
     xnet_target_untouched,
     xnet_parsed,
     0,
     1},
    {"create_new_xnetgroup",
     group_and_xnet,
     [](TortureTest &t, const void *&out) { return create_xgrp<false>(t, t.xgrp, out); },
     {ENOMEM, "<3>no memory for xnetgroup!\n\n"},
     {CONFMODEL_REJECTED, ""},
     nullptr,
     xgrp_listed,
     1,
     1},
    {"create_new_xnetgroup, unknown port group",
     group_and_xnet,
     [](TortureTest &t, const void *&out) { return create_xgrp<false>(t, t.xgrp_unknown, out); },
     {ENOMEM, "<3>no memory for xnetgroup!\n\n"},
     {CONFMODEL_REJECTED, ""},
     nullptr,
     xgrp_refused,
     1,
     1},
    {"create_new_fc_xnetgroup",
     group_and_xnet,
     [](TortureTest &t, const void *&out) { return create_xgrp<true>(t, t.xgrp, out); },
     {ENOMEM, "<3>no memory for FC xnetgroup!\n\n"},
     {CONFMODEL_REJECTED, ""},
     nullptr,
     xgrp_listed,
     1,
     1},
    {"create_new_fc_xnetgroup, unknown port group",
     group_and_xnet,
     [](TortureTest &t, const void *&out) { return create_xgrp<true>(t, t.xgrp_unknown, out); },
     {ENOMEM, "<3>no memory for FC xnetgroup!\n\n"},
     {CONFMODEL_REJECTED, ""},
     nullptr,
     xgrp_refused,
     1,
     1},
    {"parse_xnetgroup_data",
     group_and_xnet,
     parse_xgrp<false>,
     no_point,
     {ENOMEM, ""},
     xgrp_target_defaults,
     xgrp_parsed,
     0,
     1},
    {"parse_fc_xnetgroup_data",
     group_and_xnet,
     parse_xgrp<true>,
     no_point,
     {ENOMEM, ""},
     xgrp_target_defaults,
     xgrp_parsed,
     0,
     1},
    {"parse_subport_data",
     no_setup,
     parse_subport,
     no_point,
     {ENOMEM, ""},
     subport_untouched,
     subport_parsed,
     0,
     1},
};

TEST_F(TortureTest, EveryFailedAllocationOrCopyLeavesTheModelIntact) {
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(torture(c, Fail::malloc_call), c.malloc_points);
        EXPECT_EQ(torture(c, Fail::strdup_call), c.strdup_points);
    }
}

// A host may release whatever a creator handed back without looking, and a
// failed creator hands back null.
TEST(ReleaseTest, TakesTheNullAFailedCreatorLeaves) {
    free_portgroup_entry(nullptr);
    free_xnet_entry(nullptr);
    free_xnetgroup_entry(nullptr);
    free_subport_data(nullptr);
}

} // namespace

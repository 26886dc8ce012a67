// Every allocation and pathname copy that a creator or parser makes fails in
// turn until the call gets through. A failure must give its status and log
// line, hand back null, and leave the lists and the caller's record as they
// were; the sanitizer and valgrind runs see that nothing leaks.
#include "../model/model_fixture.h"

#include <errno.h>

#include <functional>

namespace {

using fake_host::log_text;

struct Failure {
    int status;
    const char *log; // null: the call makes no such call
};

struct Case {
    const char *name;
    // One call into the module; sets out to the pathname of what it handed
    // back (or stored, for a parser), null for nothing.
    std::function<int(const char *&out)> call;
    Failure on_malloc, on_strdup;
    // Once nothing fails: status 0, this pathname handed back, the model after.
    const char *out, *state;
    std::function<void()> check_failed; // the caller's record after a failure
};

// What a creator must overwrite: a failed one hands back null.
template <typename Entry> Entry *stale() {
    static Entry entry{};
    entry.pathname = const_cast<char *>("(not cleared)");
    return &entry;
}

template <typename Entry> const char *name_of(const Entry *entry) {
    return entry != nullptr ? entry->pathname : nullptr;
}

class TortureTest : public ModelTest {
  protected:
    // What a parse left in the caller's records.
    void release_targets() {
        free(xnet_target.pathname);
        free(xgrp_target.pathname);
        xnet_target.pathname = xgrp_target.pathname = nullptr;
        free_subport_data(&subport);
    }

    // A fresh model holding /pg/a (number 1, ports 0-1, native VLAN 10) and
    // /x/a (VID 10), and fresh caller-owned records.
    void fresh_model() {
        release_targets();
        ModelTest::TearDown();
        SetUp();
        add_portgroup("/pg/a", "1", "0x3", "10");
        parent = add_xnet("/x/a", "10");
        xnet_target = {};
        xgrp_target = {};
        xgrp_target.role = 9; // the parser's defaults replace these
        xgrp_target.ports_bitmap = 1;
        subport = {};
        subport.host_state_a = 1;
        subport.host_field = 2;
        duplicate = -1;
    }

    // Port groups with their xnetgroup counts, then xnets with their xnetgroups.
    static std::string model_state() {
        std::string out = names<portgroup_entry>(portgroups);
        LIST_FOREACH(portgroup_entry, pg, &portgroups) {
            out += " x" + std::to_string(pg->xnetgroup_count);
        }
        LIST_FOREACH(xnet_entry, x, &xnets) {
            out += "; " + std::string(x->pathname) + ": " + names<xnetgroup_entry>(x->xnetgroups);
        }
        return out;
    }

    // Fails the nth call of the kind for n = 1, 2, ... until the call gets
    // through, then checks the success; returns the number of failure points.
    int torture(const Case &c, bool malloc_kind) {
        for (int n = 1; n <= 8; n++) {
            SCOPED_TRACE((malloc_kind ? "allocation " : "pathname copy ") + std::to_string(n));
            fresh_model();
            const std::string before = model_state();
            fake_host::reset();
            const char *out = "(not set)";
            // Nothing of the test itself may allocate while a failure is armed.
            malloc_kind ? fake_host::fail_malloc_call(n) : fake_host::fail_strdup_call(n);
            const int status = c.call(out);
            const bool reached = malloc_kind ? !fake_host::malloc_failure_pending()
                                             : !fake_host::strdup_failure_pending();
            fake_host::fail_malloc_call(0);
            fake_host::fail_strdup_call(0);
            if (!reached) {
                EXPECT_EQ(status, 0);
                EXPECT_STREQ(out, c.out);
                EXPECT_EQ(log_text(), "");
                EXPECT_EQ(model_state(), c.state);
                release_targets();
                return n - 1;
            }
            const Failure &want = malloc_kind ? c.on_malloc : c.on_strdup;
            EXPECT_EQ(status, want.status);
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(log_text(), want.log ? want.log : "(no such call)");
            EXPECT_EQ(model_state(), before);
            if (c.check_failed) c.check_failed();
        }
        ADD_FAILURE() << "the call still fails after 8 failure points";
        return 8;
    }

    xnet_entry *parent = nullptr;
    xnet_entry xnet_target{};
    xnetgroup_entry xgrp_target{};
    subport_data subport{};
    int duplicate = -1;
};

TEST_F(TortureTest, EveryFailedAllocationOrCopyLeavesTheModelIntact) {
    // Converted before the loop: converting a Record allocates. A duplicate
    // or an unknown port group is found only after the allocation and copy,
    // so these records take every failure point there is.
    Record pg_r(20, {{0, "/pg/new"}, {3, "2"}}), xnet_r(14, {{0, "/x/new"}, {5, "20"}}),
        xgrp_r(8, {{0, "/x/a.g"}, {5, "server"}, {6, "/pg/a"}}),
        subport_r(18, {{0, "/ports/port3/1"}});
    config_record pg_new = pg_r, xnet_new = xnet_r, xgrp = xgrp_r, subport_record = subport_r;

    auto pg = [](config_record r, const char *&out) {
        portgroup_entry *entry = stale<portgroup_entry>();
        int status = create_new_portgroup(r, &entry);
        out = name_of(entry);
        return status;
    };
    auto xnet = [&](bool fc, config_record r, const char *&out) {
        xnet_entry *entry = stale<xnet_entry>();
        int status =
            fc ? create_new_fc_xnet(r, &entry, &duplicate) : create_new_xnet(r, &entry, &duplicate);
        out = name_of(entry);
        return status;
    };
    auto xgrp_create = [&](bool fc, config_record r, const char *&out) {
        xnetgroup_entry *entry = stale<xnetgroup_entry>();
        int status = fc ? create_new_fc_xnetgroup(r, parent, &entry)
                        : create_new_xnetgroup(r, parent, &entry);
        out = name_of(entry);
        return status;
    };
    auto xgrp_parse = [&](bool fc, const char *&out) {
        int status = fc ? parse_fc_xnetgroup_data(xgrp, parent, &xgrp_target)
                        : parse_xnetgroup_data(xgrp, parent, &xgrp_target);
        out = xgrp_target.pathname;
        return status;
    };
    auto xnet_parse = [&](bool fc, const char *&out) {
        int status = fc ? parse_fc_xnet_data(xnet_new, &xnet_target)
                        : parse_xnet_data(xnet_new, &xnet_target);
        out = xnet_target.pathname;
        return status;
    };
    auto duplicate_cleared = [&] { EXPECT_EQ(duplicate, 0); };
    auto xnet_target_untouched = [&] {
        const xnet_entry zero{};
        EXPECT_EQ(memcmp(&xnet_target, &zero, sizeof zero), 0);
    };
    // The xnetgroup parsers set their defaults before they look at the copy.
    auto xgrp_defaults = [&] {
        xnetgroup_entry want{};
        want.xnet = parent;
        want.portgroup_number = -1;
        EXPECT_EQ(memcmp(&xgrp_target, &want, sizeof want), 0);
    };
    // in_use stays 0, so free_subport_data leaves the record alone.
    auto subport_untouched = [&] {
        subport_data want{};
        want.host_state_a = 1;
        want.host_field = 2;
        EXPECT_EQ(memcmp(&subport, &want, sizeof want), 0);
    };

    const char *listed = "/pg/a x0; /x/a: ";
    const Failure pg_malloc{ENOMEM, "<3>no memory for portgroups!\n\n"},
        pg_strdup{ENOMEM, "<3>no memory for new portgroup pathname!\n"},
        xnet_malloc{ENOMEM, "<3>no memory for xnet!\n\n"},
        fc_xnet_malloc{ENOMEM, "<3>no memory for FC xnet!\n\n"},
        xgrp_malloc{ENOMEM, "<3>no memory for xnetgroup!\n\n"},
        fc_xgrp_malloc{ENOMEM, "<3>no memory for FC xnetgroup!\n\n"},
        rejected{CONFMODEL_REJECTED, ""}, no_call{0, nullptr}, enomem{ENOMEM, ""};
    const Case cases[] = {
        {"create_new_portgroup", [&](auto &out) { return pg(pg_new, out); }, pg_malloc, pg_strdup,
         "/pg/new", "/pg/a /pg/new x0 x0; /x/a: ", nullptr},
        {"create_new_xnet", [&](auto &out) { return xnet(false, xnet_new, out); }, xnet_malloc,
         rejected, "/x/new", "/pg/a x0; /x/a: ; /x/new: ", duplicate_cleared},
        {"create_new_fc_xnet", [&](auto &out) { return xnet(true, xnet_new, out); }, fc_xnet_malloc,
         rejected, "/x/new", "/pg/a x0; /x/a: ; /x/new: ", duplicate_cleared},
        {"parse_xnet_data", [&](auto &out) { return xnet_parse(false, out); }, no_call, enomem,
         "/x/new", listed, xnet_target_untouched},
        {"parse_fc_xnet_data", [&](auto &out) { return xnet_parse(true, out); }, no_call, enomem,
         "/x/new", listed, xnet_target_untouched},
        {"create_new_xnetgroup", [&](auto &out) { return xgrp_create(false, xgrp, out); },
         xgrp_malloc, rejected, "/x/a.g", "/pg/a x1; /x/a: /x/a.g", nullptr},
        {"create_new_fc_xnetgroup", [&](auto &out) { return xgrp_create(true, xgrp, out); },
         fc_xgrp_malloc, rejected, "/x/a.g", "/pg/a x1; /x/a: /x/a.g", nullptr},
        {"parse_xnetgroup_data", [&](auto &out) { return xgrp_parse(false, out); }, no_call, enomem,
         "/x/a.g", "/pg/a x1; /x/a: ", xgrp_defaults},
        {"parse_fc_xnetgroup_data", [&](auto &out) { return xgrp_parse(true, out); }, no_call,
         enomem, "/x/a.g", "/pg/a x1; /x/a: ", xgrp_defaults},
        {"parse_subport_data",
         [&](auto &out) {
             int status = parse_subport_data(2, subport_record, &subport);
             out = subport.pathname;
             return status;
         },
         no_call, enomem, "/ports/port3/1", listed, subport_untouched},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(torture(c, true), c.on_malloc.log ? 1 : 0);
        EXPECT_EQ(torture(c, false), 1);
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

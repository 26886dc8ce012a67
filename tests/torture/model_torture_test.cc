// Every creator and parser runs with its allocation failing, with its pathname
// copy failing, and with neither. A failure gives its status and log line,
// hands back null, releases what it took, and leaves the lists, the group's
// count and the caller's record as they were. No call allocates or copies twice.
#include "../model/model_fixture.h"

#include <errno.h>

#include <functional>

namespace {

using fake_host::log_text;

// What a creator must overwrite: a failed one hands back null.
template <typename Entry> Entry *stale() {
    static Entry entry{};
    entry.pathname = const_cast<char *>("(not cleared)");
    return &entry;
}

template <typename Entry> const char *name_of(const Entry *entry) {
    return entry != nullptr ? entry->pathname : nullptr;
}

struct Failure {
    int status;
    const char *log; // null: the call makes no such call
};

using TortureTest = ModelTest;

TEST_F(TortureTest, EveryFailedAllocationOrCopyLeavesTheModelIntact) {
    Record pg_r(20, {{0, "/pg/new"}, {3, "2"}}), xnet_r(14, {{0, "/x/new"}, {5, "20"}}),
        xgrp_r(8, {{0, "/x/a.g"}, {5, "server"}, {6, "/pg/a"}}), subport_r(18, {{0, "/p/3/1"}});
    portgroup_entry *group = nullptr;
    xnet_entry *parent = nullptr;
    // The lists, the parent's xnetgroups and how many the group counts.
    auto model_state = [&] {
        return names<portgroup_entry>(portgroups) + "; " + names<xnet_entry>(xnets) + "; " +
               names<xnetgroup_entry>(parent->xnetgroups) + "; " +
               std::to_string(group->xnetgroup_count);
    };
    xnet_entry xnet_target{};
    xnetgroup_entry xgrp_target{};
    subport_data subport{};
    int duplicate = -1;

    // Each call returns the pathname of what it handed back or stored.
    auto portgroup = [&](bool, int &status) {
        portgroup_entry *entry = stale<portgroup_entry>();
        status = create_new_portgroup(pg_r, &entry);
        return name_of(entry);
    };
    auto xnet = [&](bool fc, int &status) {
        xnet_entry *entry = stale<xnet_entry>();
        status = fc ? create_new_fc_xnet(xnet_r, &entry, &duplicate)
                    : create_new_xnet(xnet_r, &entry, &duplicate);
        EXPECT_EQ(duplicate, 0);
        return name_of(entry);
    };
    auto xgrp = [&](bool fc, int &status) {
        xnetgroup_entry *entry = stale<xnetgroup_entry>();
        status = fc ? create_new_fc_xnetgroup(xgrp_r, parent, &entry)
                    : create_new_xnetgroup(xgrp_r, parent, &entry);
        return name_of(entry);
    };
    auto xnet_parse = [&](bool fc, int &status) {
        status = fc ? parse_fc_xnet_data(xnet_r, &xnet_target)
                    : parse_xnet_data(xnet_r, &xnet_target);
        return xnet_target.pathname;
    };
    // The parser stores its defaults before it looks at the copy.
    auto xgrp_parse = [&](bool fc, int &status) {
        xgrp_target.role = 9;
        xgrp_target.ports_bitmap = 1;
        status = fc ? parse_fc_xnetgroup_data(xgrp_r, parent, &xgrp_target)
                    : parse_xnetgroup_data(xgrp_r, parent, &xgrp_target);
        EXPECT_TRUE(xgrp_target.xnet == parent && xgrp_target.role == (status == 0 ? 2 : 0) &&
                    xgrp_target.portgroup_number == (status == 0 ? 1 : -1) &&
                    xgrp_target.ports_bitmap == (status == 0 ? 3u : 0u));
        return xgrp_target.pathname;
    };
    auto subport_parse = [&](bool, int &status) {
        subport.host_field = 2;
        status = parse_subport_data(2, subport_r, &subport);
        EXPECT_TRUE(subport.in_use == (status == 0) && subport.host_field == 2);
        return subport.pathname;
    };

    const char *listed = "/pg/a; /x/a; ; 0", *with_portgroup = "/pg/a /pg/new; /x/a; ; 0",
               *with_xnet = "/pg/a; /x/a /x/new; ; 0",
               *bound = "/pg/a; /x/a; ; 1", *with_xgrp = "/pg/a; /x/a; /x/a.g; 1";
    const Failure no_call{0, nullptr}, enomem{ENOMEM, ""}, rejected{-1, ""};
    const struct {
        const char *name;
        std::function<const char *(bool fc, int &status)> call;
        bool fc;
        Failure on_malloc, on_strdup;
        const char *out, *state; // once nothing fails: status 0, and these
    } cases[] = {
        {"create_new_portgroup", portgroup, false, {ENOMEM, "<3>no memory for portgroups!\n\n"},
         {ENOMEM, "<3>no memory for new portgroup pathname!\n"}, "/pg/new", with_portgroup},
        {"create_new_xnet", xnet, false, {ENOMEM, "<3>no memory for xnet!\n\n"}, rejected,
         "/x/new", with_xnet},
        {"create_new_fc_xnet", xnet, true, {ENOMEM, "<3>no memory for FC xnet!\n\n"}, rejected,
         "/x/new", with_xnet},
        {"parse_xnet_data", xnet_parse, false, no_call, enomem, "/x/new", listed},
        {"parse_fc_xnet_data", xnet_parse, true, no_call, enomem, "/x/new", listed},
        {"create_new_xnetgroup", xgrp, false, {ENOMEM, "<3>no memory for xnetgroup!\n\n"}, rejected,
         "/x/a.g", with_xgrp},
        {"create_new_fc_xnetgroup", xgrp, true, {ENOMEM, "<3>no memory for FC xnetgroup!\n\n"},
         rejected, "/x/a.g", with_xgrp},
        {"parse_xnetgroup_data", xgrp_parse, false, no_call, enomem, "/x/a.g", bound},
        {"parse_fc_xnetgroup_data", xgrp_parse, true, no_call, enomem, "/x/a.g", bound},
        {"parse_subport_data", subport_parse, false, no_call, enomem, "/p/3/1", listed},
    };
    const char *const failing_names[] = {", nothing fails", ", allocation fails", ", copy fails"};
    for (const auto &c : cases) {
        for (int failing : {1, 2, 0}) { // the first allocation, the first copy, nothing
            SCOPED_TRACE(std::string(c.name) + failing_names[failing]);
            ModelTest::TearDown();
            SetUp();
            group = add_portgroup("/pg/a", "1", "0x3");
            parent = add_xnet("/x/a", "10");
            fake_host::reset();
            const size_t held = fake_host::live_blocks();
            fake_host::fail_malloc_call(failing == 1 ? 1 : 2);
            fake_host::fail_strdup_call(failing == 2 ? 1 : 2);
            int status = -99;
            const char *out = c.call(c.fc, status);
            const bool allocation_failed = !fake_host::malloc_failure_pending();
            const bool copy_failed = !fake_host::strdup_failure_pending();
            fake_host::fail_malloc_call(0);
            fake_host::fail_strdup_call(0);
            EXPECT_EQ(allocation_failed, failing == 1 && c.on_malloc.log != nullptr);
            EXPECT_EQ(copy_failed, failing == 2);
            const bool failed = allocation_failed || copy_failed;
            const Failure &failure = allocation_failed ? c.on_malloc : c.on_strdup;
            EXPECT_EQ(status, failed ? failure.status : 0);
            EXPECT_STREQ(out, failed ? nullptr : c.out);
            EXPECT_EQ(log_text(), !failed ? "" : failure.log ? failure.log : "(no such call)");
            EXPECT_EQ(model_state(), failed ? listed : c.state);
            EXPECT_TRUE(!failed || fake_host::live_blocks() == held) << "the failed call leaked";
            free(xnet_target.pathname);
            free(xgrp_target.pathname);
            free_subport_data(&subport);
            xnet_target = {}, xgrp_target = {}, subport = {};
        }
    }
}

} // namespace

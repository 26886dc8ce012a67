// A fresh model for each test. On tear-down the lists are checked and released
// as a host would, and the module must then hold nothing it allocated.
#ifndef CONFMODEL_TESTS_MODEL_FIXTURE_H
#define CONFMODEL_TESTS_MODEL_FIXTURE_H

#include "fake_host.h"
#include "model/list.h"
#include "record.h"
#include "release_model.h"

#include <gtest/gtest.h>

#include <string>

class ModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        list_init(&portgroups);
        list_init(&xnets);
        fake_host::reset();
    }

    void TearDown() override {
        EXPECT_TRUE(list_is_consistent<portgroup_entry>(&portgroups));
        EXPECT_TRUE(list_is_consistent<xnet_entry>(&xnets));
        LIST_FOREACH(xnet_entry, xnet, &xnets) {
            EXPECT_TRUE(list_is_consistent<xnetgroup_entry>(&xnet->xnetgroups));
        }
        release_model();
        EXPECT_EQ(fake_host::live_blocks(), 0u) << "the module leaked";
        // What a failed creator hands back, a host may release without looking.
        free_portgroup_entry(nullptr), free_xnet_entry(nullptr), free_xnetgroup_entry(nullptr);
    }

    // Pathnames in list order, blank-separated: one assertion shows the order.
    template <typename Entry> static std::string names(const list_head &head) {
        std::string out;
        for (Entry *e = list_first<Entry>(&head); e != nullptr; e = list_next(e))
            out += (out.empty() ? "" : " ") + std::string(e->pathname);
        return out;
    }

    // A port-group record with every mandatory column present.
    static Record portgroup_record(const char *path, const char *number, const char *ports = "0",
                                   const char *native_vlan = "1") {
        Record r(20, {{0, path}, {3, number}, {5, "0"}, {6, "0"}, {7, ports}, {8, native_vlan}});
        for (size_t i = 9; i <= 16; i++)
            r.set(i, "0");
        return r;
    }

    portgroup_entry *add_portgroup(const char *path, const char *number, const char *ports = "0",
                                   const char *native_vlan = "1") {
        portgroup_entry *entry = nullptr;
        Record r = portgroup_record(path, number, ports, native_vlan);
        EXPECT_EQ(create_new_portgroup(r, &entry), 0);
        return entry;
    }

    xnet_entry *add_xnet(const char *path, const char *vid, bool fc = false) {
        Record r(14, {{0, path}, {5, vid}});
        xnet_entry *entry = nullptr;
        int duplicate = -1;
        int status = fc ? create_new_fc_xnet(r, &entry, &duplicate)
                        : create_new_xnet(r, &entry, &duplicate);
        EXPECT_TRUE(status == 0 && duplicate == 0);
        return entry;
    }
};

#endif

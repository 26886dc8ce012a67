// A fresh model for each test: empty lists and a clean fake host; on tear-down
// the lists are checked and everything on them released, as a host would.
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
        Record r = portgroup_record(path, number, ports, native_vlan);
        portgroup_entry *entry = nullptr;
        EXPECT_EQ(create_new_portgroup(r, &entry), 0);
        return entry;
    }

    static Record xnet_record(const char *path, const char *vid) {
        return Record(14, {{0, path}, {5, vid}});
    }

    xnet_entry *add_xnet(const char *path, const char *vid) {
        Record r = xnet_record(path, vid);
        xnet_entry *entry = nullptr;
        int duplicate = -1;
        EXPECT_EQ(create_new_xnet(r, &entry, &duplicate), 0);
        EXPECT_EQ(duplicate, 0);
        return entry;
    }

    static Record xnetgroup_record(const char *path, const char *role, const char *portgroup) {
        return Record(8, {{0, path}, {5, role}, {6, portgroup}});
    }
};

#endif

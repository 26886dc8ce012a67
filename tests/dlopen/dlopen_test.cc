// The library as the device's host program meets it: loaded with dlopen and
// reached only through dlsym. This executable does not link the library; it
// exports its own symbols, so the library's hosk_strdup, syslog, malloc and
// tavri_* calls bind to the fake host and the in-memory store linked in here.
#include "fake_host.h"
#include "model/list.h"
#include "record.h"
#include "store.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <string>
#include <syslog.h>
#include <vector>

namespace {

// The names the library must export, from the list the binary check also uses.
std::vector<std::string> exported_names() {
    std::ifstream file(CONFMODEL_EXPORTS);
    std::vector<std::string> names;
    for (std::string line; std::getline(file, line);)
        if (!line.empty() && line[0] != '#') names.push_back(line);
    return names;
}

// An exported object or function of the loaded library, typed by the header.
#define LIB(name) lib<decltype(::name)>(#name)

class Dlopen : public ::testing::Test {
  protected:
    // A failure here would only skip the tests, so SetUp reports it instead.
    static void SetUpTestSuite() {
        // RTLD_NOW binds every symbol the library needs at once, so one this
        // process does not supply fails the load rather than a later call.
        handle = dlopen(CONFMODEL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) load_error = dlerror();
    }

    static void TearDownTestSuite() {
        if (handle != nullptr) dlclose(handle);
        handle = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(handle, nullptr) << load_error;
        fake_host::reset();
        list_init(LIB(portgroups));
        list_init(LIB(xnets));
    }

    template <typename T> static T *lib(const char *name) {
        void *symbol = dlsym(handle, name);
        EXPECT_NE(symbol, nullptr) << name;
        return reinterpret_cast<T *>(symbol);
    }

    static void *handle;
    static std::string load_error;
};

void *Dlopen::handle;
std::string Dlopen::load_error;

TEST_F(Dlopen, ResolvesEveryExportedNameFromTheLibraryAlone) {
    std::vector<std::string> names = exported_names();
    ASSERT_FALSE(names.empty()) << "no names in " << CONFMODEL_EXPORTS;
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        EXPECT_NE(dlsym(handle, name.c_str()), nullptr);
        // Loaded locally and not linked: the process's global scope lacks it.
        EXPECT_EQ(dlsym(RTLD_DEFAULT, name.c_str()), nullptr);
    }
    EXPECT_EQ(*LIB(slog_level), 0);
}

TEST_F(Dlopen, BuildsAModelThroughTheHostsServices) {
    // Ports 0 and 63 and subport bit 32: bits in both 32-bit halves.
    Record group(20, {{0, "/portgroups/uplink"},
                      {3, "7"},
                      {7, "0x8000000000000001"},
                      {8, "100"},
                      {16, "0x100000000"}});
    portgroup_entry *pg = nullptr, *same = nullptr;
    ASSERT_EQ(LIB(create_new_portgroup)(group, &pg), 0);
    EXPECT_EQ(fake_host::strdup_calls(), 1) << "the library's hosk_strdup is not this host's";
    EXPECT_EQ(pg->ports_bitmap, UINT64_C(0x8000000000000001));
    EXPECT_EQ(pg->subport_union, UINT64_C(0x100000000));
    group.set(0, "/portgroups/again");
    ASSERT_EQ(LIB(create_new_portgroup)(group, &same), 0);
    EXPECT_EQ(same, pg);
    EXPECT_EQ(fake_host::log_text(),
              "<3>duplicated portgroup entry found!  path=/portgroups/uplink\n")
        << "the library's syslog is not this host's";
    EXPECT_EQ(LIB(find_ext_portgroup_for_port)(63), pg);
    EXPECT_EQ(LIB(find_ext_portgroup_for_port)(0), pg);
    EXPECT_EQ(LIB(find_ext_portgroup_for_port)(32), nullptr);

    Record net(12, {{0, "/xnets/blue"}, {5, "100"}});
    xnet_entry *xnet = nullptr;
    int duplicate = -1;
    ASSERT_EQ(LIB(create_new_xnet)(net, &xnet, &duplicate), 0);
    LIB(test_and_set_native_vlan)(xnet, 7);
    EXPECT_EQ(xnet->is_native_vlan, 1);

    Record binding(8, {{0, "/xnets/blue/groups/up"}, {5, "external"}, {6, "/portgroups/uplink"}});
    xnetgroup_entry *xg = nullptr;
    ASSERT_EQ(LIB(create_new_xnetgroup)(binding, xnet, &xg), 0);
    EXPECT_EQ(xg->portgroup, pg);
    EXPECT_EQ(xg->ports_bitmap, UINT64_C(0x8000000000000001));
    EXPECT_EQ(xg->subport_bitmaps[7], UINT64_C(0x100000000));
    EXPECT_EQ(LIB(find_xgrp_by_name_generic)("/xnets/blue/groups/up", "/groups/"), xg);

    // The host's release order: xnetgroups, then their xnet, then the group.
    list_unlink(&xnet->xnetgroups, xg);
    LIB(free_xnetgroup_entry)(xg);
    list_unlink(LIB(xnets), xnet);
    LIB(free_xnet_entry)(xnet);
    list_unlink(LIB(portgroups), pg);
    LIB(free_portgroup_entry)(pg);
}

TEST_F(Dlopen, ChangesTheDcbxFlagInTheHostsStore) {
    Store store;
    const uintptr_t device = 0xfedcba98; // all 32 bits of a device key
    store.add(device, "false");
    // Evaluated in order: {what came back, what should}.
    const int statuses[][2] = {
        {LIB(dcbx_pending_set)(store.handle(), device), 0},
        {LIB(dcbx_pending_reset)(store.handle(), device), 0},
        {LIB(dcbx_pending_test_and_set)(store.handle(), device, "false", "true"), 0},
        {LIB(dcbx_pending_test_and_set)(store.handle(), device, "false", "x"), EBUSY},
        {LIB(dcbx_pending_test_and_set)(store.handle(), 7, "true", "x"), EINVAL},
    };
    for (const auto &status : statuses)
        EXPECT_EQ(status[0], status[1]);
    EXPECT_EQ(store.value(device), "true");
    EXPECT_EQ(store.calls(),
              "start set commit free start set commit free start get set commit free "
              "start get free abort start get free abort");
    EXPECT_EQ(store.live_results(), 0u);
}

} // namespace

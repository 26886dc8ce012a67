// The library as the device's host program meets it: loaded with dlopen and
// reached only through dlsym. This executable does not link the library; it
// exports its own symbols, so the library's hosk_strdup, syslog, malloc and
// tavri_* calls bind to the fake host and the store defined here.
#include "confmodel.h"
#include "tavri.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cerrno>
#include <fstream>
#include <string>

// A store that reports one match for every query but hands over no record:
// the module must not read through it.
static std::string store_calls;
extern "C" {
int tavri_transaction_start(uintptr_t) { store_calls += "start "; return 0; }
int tavri_transaction_commit(uintptr_t) { store_calls += "commit "; return 0; }
void tavri_transaction_abort(uintptr_t) { store_calls += "abort "; }
int tavri_remotedevice_set(uintptr_t, uintptr_t, const remotedevice_record *) {
    store_calls += "set ";
    return 0;
}
int tavri_remotedevice_get(uintptr_t, const remotedevice_record *, void **results,
                           remotedevice_record **first, int *count) {
    *results = &store_calls;
    *first = nullptr;
    *count = 1;
    store_calls += "get ";
    return 0;
}
void tavri_results_free(uintptr_t, void *results) { store_calls += results ? "free " : "-free "; }
}

namespace {

// RTLD_NOW: a symbol this process does not supply fails the load, not a call.
void *const library = dlopen(CONFMODEL_LIBRARY, RTLD_NOW | RTLD_LOCAL);

// An exported object or function of the loaded library, typed by the header.
#define LIB(name) reinterpret_cast<decltype(::name) *>(dlsym(library, #name))

TEST(Dlopen, ResolvesEveryExportedNameFromTheLibraryAlone) {
    ASSERT_NE(library, nullptr) << dlerror();
    std::ifstream exports(CONFMODEL_EXPORTS);
    int count = 0;
    for (std::string name; std::getline(exports, name);) {
        if (name.empty() || name[0] == '#')
            continue;
        SCOPED_TRACE(name);
        count++;
        EXPECT_NE(dlsym(library, name.c_str()), nullptr);
        // Loaded locally and not linked: the process's global scope lacks it.
        EXPECT_EQ(dlsym(RTLD_DEFAULT, name.c_str()), nullptr);
    }
    EXPECT_GT(count, 0) << "no names in " CONFMODEL_EXPORTS;
    EXPECT_EQ(*LIB(slog_level), 0);
}

TEST(Dlopen, ReachesTheHostsStore) {
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_EQ(LIB(dcbx_pending_test_and_set)(1, 7, "true", "false"), EINVAL);
    EXPECT_EQ(LIB(dcbx_pending_set)(1, 7), 0);
    EXPECT_EQ(store_calls, "start get free abort start set commit -free ");
}

} // namespace

// A DCBX test-and-set against the in-memory store: each call reads the
// device's flag, finds the expected value and writes the other one, so the
// flag alternates and every call takes the full path to the commit.
#include "bench.h"
#include "floor.h"
#include "memstore.h"

#include <memory>

namespace bench {

namespace {

constexpr int devices = 16;

template <typename TestAndSet> void test_and_set(benchmark::State &state, TestAndSet call) {
    std::unique_ptr<memstore, void (*)(memstore *)> store(memstore_create(), memstore_destroy);
    for (uintptr_t key = 1; key <= devices; key++)
        memstore_add_device(store.get(), key, "false");
    uintptr_t handle = memstore_handle(store.get());
    const char *values[] = {"false", "true"};
    int current = 0;
    for (auto _ : state) {
        const char *expected = values[current];
        const char *next = values[1 - current];
        if (measured([&] { return call(handle, devices, expected, next); }) != 0) {
            fail(state, "the test-and-set did not commit");
            break;
        }
        current = 1 - current;
        // The store logs every call for its tests; keep that log from growing.
        memstore_clear_calls(store.get());
    }
}

} // namespace

void add_dcbx_benchmarks() {
    add("dcbx_pending_test_and_set",
        [](benchmark::State &state) { test_and_set(state, dcbx_pending_test_and_set); });
    add("floor/dcbx_pending_test_and_set",
        [](benchmark::State &state) { test_and_set(state, by_hand::dcbx_pending_test_and_set); });
}

} // namespace bench

#include "store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

extern "C" int memstore_c_host(void);

namespace {

constexpr uintptr_t key = 0x1234;

remotedevice_record update(const char *value) {
    remotedevice_record record{};
    record.dcbx_pending = value;
    return record;
}

remotedevice_record query(uintptr_t device_key, const char *value = nullptr) {
    remotedevice_record record{};
    record.key = device_key;
    record.dcbx_pending = value;
    return record;
}

// The matching values of a query inside the open transaction, blank-separated.
std::string matches(const Store &store, const remotedevice_record &q) {
    void *results = nullptr;
    remotedevice_record *first = nullptr;
    int count = -1;
    EXPECT_EQ(tavri_remotedevice_get(store.handle(), &q, &results, &first, &count), 0);
    std::string out = std::to_string(count) + ":";
    for (int i = 0; i < count; i++) {
        EXPECT_EQ(first[i].key, q.key);
        out += std::string(" ") + (first[i].dcbx_pending ? first[i].dcbx_pending : "(absent)");
    }
    if (count == 0) {
        EXPECT_EQ(first, nullptr);
    }
    tavri_results_free(store.handle(), results);
    return out;
}

TEST(Memstore, ChangesAreVisibleOnlyOnceCommitted) {
    Store store;
    store.add(key, "false");
    ASSERT_EQ(tavri_transaction_start(store.handle()), 0);
    remotedevice_record u = update("true");
    ASSERT_EQ(tavri_remotedevice_set(store.handle(), key, &u), 0);
    EXPECT_EQ(matches(store, query(key)), "1: true");
    EXPECT_EQ(store.value(key), "false");
    ASSERT_EQ(tavri_transaction_commit(store.handle()), 0);
    EXPECT_EQ(store.value(key), "true");
}

TEST(Memstore, AbortDiscardsChanges) {
    Store store;
    store.add(key, "false");
    ASSERT_EQ(tavri_transaction_start(store.handle()), 0);
    remotedevice_record u = update("true");
    ASSERT_EQ(tavri_remotedevice_set(store.handle(), key, &u), 0);
    tavri_transaction_abort(store.handle());
    EXPECT_EQ(store.value(key), "false");
    ASSERT_EQ(tavri_transaction_start(store.handle()), 0);
    EXPECT_EQ(matches(store, query(key)), "1: false");
    tavri_transaction_abort(store.handle());
}

TEST(Memstore, SecondTransactionWaitsForTheFirst) {
    Store store;
    store.add(key, "false");
    ASSERT_EQ(tavri_transaction_start(store.handle()), 0);

    std::atomic<bool> second_started{false};
    std::string second_saw;
    std::thread second([&] {
        EXPECT_EQ(tavri_transaction_start(store.handle()), 0);
        second_started = true;
        second_saw = matches(store, query(key));
        EXPECT_EQ(tavri_transaction_commit(store.handle()), 0);
    });
    // Give the second thread time to reach its start; it must still be waiting.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(second_started);
    remotedevice_record u = update("mine");
    ASSERT_EQ(tavri_remotedevice_set(store.handle(), key, &u), 0);
    EXPECT_FALSE(second_started);
    ASSERT_EQ(tavri_transaction_commit(store.handle()), 0);
    second.join();
    EXPECT_TRUE(second_started);
    EXPECT_EQ(second_saw, "1: mine");
}

TEST(Memstore, OnlyTheStartingThreadUsesItsTransaction) {
    Store store;
    store.add(key, "false");
    ASSERT_EQ(tavri_transaction_start(store.handle()), 0);
    std::thread other([&] {
        remotedevice_record u = update("other");
        EXPECT_EQ(tavri_remotedevice_set(store.handle(), key, &u), MEMSTORE_ERR_NO_TRANSACTION);
        EXPECT_EQ(tavri_transaction_commit(store.handle()), MEMSTORE_ERR_NO_TRANSACTION);
        tavri_transaction_abort(store.handle()); // not its transaction: no effect
    });
    other.join();
    remotedevice_record u = update("mine");
    EXPECT_EQ(tavri_remotedevice_set(store.handle(), key, &u), 0);
    EXPECT_EQ(tavri_transaction_commit(store.handle()), 0);
    EXPECT_EQ(store.value(key), "mine");
}

TEST(Memstore, ResultSetsOutliveLaterChangesUntilFreed) {
    Store store;
    store.add(key, "false");
    ASSERT_EQ(tavri_transaction_start(store.handle()), 0);
    remotedevice_record q = query(key);
    void *results = nullptr;
    remotedevice_record *first = nullptr;
    int count = 0;
    ASSERT_EQ(tavri_remotedevice_get(store.handle(), &q, &results, &first, &count), 0);
    ASSERT_EQ(count, 1);
    remotedevice_record u = update("true");
    ASSERT_EQ(tavri_remotedevice_set(store.handle(), key, &u), 0);
    ASSERT_EQ(tavri_transaction_commit(store.handle()), 0);
    tavri_transaction_abort(store.handle()); // nothing open: no effect

    EXPECT_STREQ(first->dcbx_pending, "false");
    for (void *field : first->store_a)
        EXPECT_EQ(field, nullptr);
    EXPECT_EQ(store.live_results(), 1u);
    tavri_results_free(store.handle(), results);
    tavri_results_free(store.handle(), nullptr);
    EXPECT_EQ(store.live_results(), 0u);
    EXPECT_EQ(store.value(key), "true");
}

TEST(Memstore, LeftoverResultSetsGoWithTheStore) {
    // Under the sanitizers a leak here fails the test.
    memstore *store = memstore_create();
    ASSERT_EQ(memstore_add_device(store, key, "x"), 0);
    uintptr_t handle = memstore_handle(store);
    ASSERT_EQ(tavri_transaction_start(handle), 0);
    remotedevice_record q = query(key);
    void *results = nullptr;
    remotedevice_record *first = nullptr;
    int count = 0;
    ASSERT_EQ(tavri_remotedevice_get(handle, &q, &results, &first, &count), 0);
    tavri_transaction_abort(handle);
    EXPECT_EQ(memstore_live_results(store), 1u);
    memstore_destroy(store);
}

TEST(Memstore, QueriesMatchKeyAndAnyGivenValue) {
    Store store;
    store.add(key, "false");
    store.add(key + 1, "false");
    store.add(key, nullptr);
    store.add(key, "true");
    EXPECT_EQ(memstore_device_count(store.get(), key), 3u);
    ASSERT_EQ(tavri_transaction_start(store.handle()), 0);
    EXPECT_EQ(matches(store, query(key)), "3: false (absent) true");
    EXPECT_EQ(matches(store, query(key, "true")), "1: true");
    EXPECT_EQ(matches(store, query(key, "TRUE")), "0:");
    EXPECT_EQ(matches(store, query(99)), "0:");

    // A set writes every record with the key, and only a non-null value.
    remotedevice_record u = update("x");
    EXPECT_EQ(tavri_remotedevice_set(store.handle(), key, &u), 0);
    remotedevice_record none = update(nullptr);
    EXPECT_EQ(tavri_remotedevice_set(store.handle(), key + 1, &none), 0);
    EXPECT_EQ(tavri_remotedevice_set(store.handle(), 99, &u), 0);
    EXPECT_EQ(tavri_transaction_commit(store.handle()), 0);
    EXPECT_EQ(store.value(key, 0) + store.value(key, 1) + store.value(key, 2), "xxx");
    EXPECT_EQ(store.value(key + 1), "false");
    EXPECT_EQ(store.value(99), "(no record)");
    EXPECT_EQ(store.live_results(), 0u);
}

TEST(Memstore, RefusesMisuse) {
    Store store;
    store.add(key, "false");
    remotedevice_record q = query(key);
    remotedevice_record u = update("true");
    void *results = &q;
    remotedevice_record *first = &q;
    int count = 5;
    EXPECT_EQ(tavri_remotedevice_get(store.handle(), &q, &results, &first, &count),
              MEMSTORE_ERR_NO_TRANSACTION);
    EXPECT_EQ(results, nullptr);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(tavri_remotedevice_set(store.handle(), key, &u), MEMSTORE_ERR_NO_TRANSACTION);
    EXPECT_EQ(tavri_transaction_commit(store.handle()), MEMSTORE_ERR_NO_TRANSACTION);
    EXPECT_EQ(tavri_transaction_start(0), MEMSTORE_ERR_HANDLE);

    ASSERT_EQ(tavri_transaction_start(store.handle()), 0);
    EXPECT_EQ(tavri_transaction_start(store.handle()), MEMSTORE_ERR_NESTED);
    EXPECT_EQ(memstore_add_device(store.get(), key, "x"), MEMSTORE_ERR_NESTED);
    remotedevice_record extra = query(key);
    extra.store_a[3] = &extra;
    EXPECT_EQ(tavri_remotedevice_get(store.handle(), &extra, &results, &first, &count),
              MEMSTORE_ERR_FIELD);
    remotedevice_record keyed = update("true");
    keyed.key = key;
    EXPECT_EQ(tavri_remotedevice_set(store.handle(), key, &keyed), MEMSTORE_ERR_FIELD);
    remotedevice_record tail = update("true");
    tail.store_b[5] = &tail;
    EXPECT_EQ(tavri_remotedevice_set(store.handle(), key, &tail), MEMSTORE_ERR_FIELD);
    EXPECT_EQ(tavri_transaction_commit(store.handle()), 0);
    EXPECT_EQ(store.value(key), "false");
    EXPECT_EQ(memstore_device_count(store.get(), key), 1u);
}

TEST(Memstore, InjectedFailuresHitTheNthCallOnly) {
    Store store;
    store.add(key, "false");
    store.fail(MEMSTORE_CALL_REMOTEDEVICE_GET, 2, 5);
    ASSERT_EQ(tavri_transaction_start(store.handle()), 0);
    remotedevice_record q = query(key);
    void *results = nullptr;
    remotedevice_record *first = nullptr;
    int count = 0;
    EXPECT_EQ(tavri_remotedevice_get(store.handle(), &q, &results, &first, &count), 0);
    tavri_results_free(store.handle(), results);
    EXPECT_EQ(tavri_remotedevice_get(store.handle(), &q, &results, &first, &count), 5);
    EXPECT_EQ(results, nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(tavri_remotedevice_get(store.handle(), &q, &results, &first, &count), 0);
    tavri_results_free(store.handle(), results);

    // A failed commit keeps the transaction open and its changes uncommitted.
    store.fail(MEMSTORE_CALL_TRANSACTION_COMMIT, 1, 7);
    remotedevice_record u = update("true");
    ASSERT_EQ(tavri_remotedevice_set(store.handle(), key, &u), 0);
    EXPECT_EQ(tavri_transaction_commit(store.handle()), 7);
    EXPECT_EQ(store.value(key), "false");
    EXPECT_EQ(tavri_transaction_start(store.handle()), MEMSTORE_ERR_NESTED);
    tavri_transaction_abort(store.handle());
    EXPECT_EQ(store.value(key), "false");

    // Armed and disarmed again: the call works.
    store.fail(MEMSTORE_CALL_TRANSACTION_START, 1, 9);
    store.fail(MEMSTORE_CALL_TRANSACTION_START, 0, 0);
    EXPECT_TRUE(store.idle());
    EXPECT_EQ(store.calls(), "start get free get get free set commit start abort start abort");
    store.clear_calls();
    EXPECT_EQ(store.calls(), "");
    EXPECT_EQ(memstore_call_name(store.get(), 0), nullptr);
}

TEST(Memstore, ReadsCommittedValues) {
    Store store;
    store.add(key, "a long value");
    store.add(key, nullptr);
    char buffer[5] = "????";
    EXPECT_EQ(memstore_read_dcbx_pending(store.get(), key, 0, buffer, sizeof buffer),
              MEMSTORE_PRESENT);
    EXPECT_STREQ(buffer, "a lo");
    EXPECT_EQ(memstore_read_dcbx_pending(store.get(), key, 1, buffer, sizeof buffer),
              MEMSTORE_ABSENT);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(memstore_read_dcbx_pending(store.get(), key, 2, buffer, sizeof buffer),
              MEMSTORE_NO_RECORD);
    EXPECT_EQ(memstore_read_dcbx_pending(store.get(), key, 0, nullptr, 0), MEMSTORE_PRESENT);
}

// The store's header is C, and a C host drives the module through it.
TEST(Memstore, CHost) { EXPECT_EQ(memstore_c_host(), 0); }

} // namespace

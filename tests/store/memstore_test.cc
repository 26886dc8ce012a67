// The in-memory store's contract, as far as the module's tests rely on it.
#include "store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

constexpr uintptr_t key = 0x1234;

remotedevice_record record(uintptr_t device_key, const char *value) {
    remotedevice_record r{};
    r.key = device_key;
    r.dcbx_pending = value;
    return r;
}

int set(const Store &store, uintptr_t device_key, const char *value) {
    remotedevice_record update = record(0, value);
    return tavri_remotedevice_set(store.handle(), device_key, &update);
}

// A query inside the open transaction; the result set goes to *results.
struct Query {
    void *results = nullptr;
    remotedevice_record *first = nullptr;
    int count = -1;
    int run(const Store &store, const remotedevice_record &query) {
        return tavri_remotedevice_get(store.handle(), &query, &results, &first, &count);
    }
};

// The values a query matches inside the open transaction, as "count: values".
std::string matches(const Store &store, uintptr_t device_key, const char *value = nullptr) {
    Query q;
    EXPECT_EQ(q.run(store, record(device_key, value)), 0);
    std::string out = std::to_string(q.count) + ":";
    for (int i = 0; i < q.count; i++)
        out += std::string(" ") + (q.first[i].dcbx_pending ? q.first[i].dcbx_pending : "(absent)");
    tavri_results_free(store.handle(), q.results);
    return out;
}

TEST(Memstore, ChangesAreVisibleOnlyOnceCommittedAndAbortDiscardsThem) {
    Store store;
    store.add(key, "false");
    for (bool commit : {false, true}) {
        SCOPED_TRACE(commit ? "commit" : "abort");
        ASSERT_EQ(tavri_transaction_start(store.handle()), 0);
        ASSERT_EQ(set(store, key, "true"), 0);
        EXPECT_EQ(matches(store, key), "1: true");
        EXPECT_EQ(store.value(key), "false");
        commit ? (void)tavri_transaction_commit(store.handle())
               : tavri_transaction_abort(store.handle());
        EXPECT_EQ(store.value(key), commit ? "true" : "false");
    }
}

TEST(Memstore, QueriesMatchKeyAndAnyGivenValueAndSetsWriteEveryRecord) {
    Store store;
    for (const char *value : {"false", static_cast<const char *>(nullptr), "true"})
        store.add(key, value);
    store.add(key + 1, "false");
    ASSERT_EQ(tavri_transaction_start(store.handle()), 0);
    EXPECT_EQ(matches(store, key), "3: false (absent) true");
    EXPECT_EQ(matches(store, key, "true") + matches(store, key, "TRUE"), "1: true0:");
    // Only a non-null value is written, and no record matching is no error.
    EXPECT_EQ(set(store, key, "x") + set(store, key + 1, nullptr) + set(store, 99, "x"), 0);
    EXPECT_EQ(tavri_transaction_commit(store.handle()), 0);
    EXPECT_EQ(store.value(key, 0) + store.value(key, 1) + store.value(key, 2), "xxx");
    EXPECT_EQ(store.value(key + 1) + store.value(99), "false(no record)");
}

TEST(Memstore, ResultSetsOutliveLaterChangesUntilFreed) {
    Store store;
    store.add(key, "false");
    Query q, leftover;
    ASSERT_EQ(tavri_transaction_start(store.handle()), 0);
    ASSERT_EQ(q.run(store, record(key, nullptr)), 0);
    ASSERT_EQ(set(store, key, "true"), 0);
    ASSERT_EQ(tavri_transaction_commit(store.handle()), 0);
    EXPECT_STREQ(q.first->dcbx_pending, "false");
    EXPECT_EQ(store.live_results(), 1u);
    tavri_results_free(store.handle(), q.results);
    tavri_results_free(store.handle(), nullptr);
    EXPECT_EQ(store.live_results(), 0u);
    // One left over goes with the store (a leak fails the sanitizer run).
    ASSERT_EQ(tavri_transaction_start(store.handle()), 0);
    ASSERT_EQ(leftover.run(store, record(key, nullptr)), 0);
    tavri_transaction_abort(store.handle());
}

// A record may use only the key and dcbx_pending, so a module that leaves any
// other field set fails.
TEST(Memstore, RefusesAnyOtherField) {
    Store store;
    store.add(key, "false");
    remotedevice_record query = record(key, nullptr), update = record(key, "true");
    query.store_a[3] = &query;
    Query q;
    ASSERT_EQ(tavri_transaction_start(store.handle()), 0);
    EXPECT_EQ(q.run(store, query), MEMSTORE_ERR_FIELD);
    EXPECT_EQ(tavri_remotedevice_set(store.handle(), key, &update), MEMSTORE_ERR_FIELD);
    tavri_transaction_abort(store.handle());
}

TEST(Memstore, InjectedFailuresHitTheNthCallOnly) {
    Store store;
    store.add(key, "false");
    store.fail(MEMSTORE_CALL_REMOTEDEVICE_GET, 2, 5);
    ASSERT_EQ(tavri_transaction_start(store.handle()), 0);
    for (int status : {0, 5, 0}) {
        Query q;
        EXPECT_EQ(q.run(store, record(key, nullptr)), status);
        EXPECT_EQ(q.results == nullptr, status != 0) << "a failed get hands back no result set";
        tavri_results_free(store.handle(), q.results);
    }
    // A failed commit keeps the transaction open and its changes uncommitted.
    store.fail(MEMSTORE_CALL_TRANSACTION_COMMIT, 1, 7);
    ASSERT_EQ(set(store, key, "true"), 0);
    EXPECT_EQ(tavri_transaction_commit(store.handle()), 7);
    EXPECT_EQ(tavri_transaction_start(store.handle()), MEMSTORE_ERR_NESTED);
    tavri_transaction_abort(store.handle());
    EXPECT_EQ(store.value(key), "false");
    // Armed and disarmed again: the call works.
    store.fail(MEMSTORE_CALL_TRANSACTION_START, 1, 9);
    store.fail(MEMSTORE_CALL_TRANSACTION_START, 0, 0);
    EXPECT_TRUE(store.idle());
}

TEST(Memstore, TransactionsAreIsolatedBetweenThreads) {
    Store store;
    store.add(key, "false");
    ASSERT_EQ(tavri_transaction_start(store.handle()), 0);
    // Another thread's start waits until this transaction ends; then it sees
    // what was committed.
    std::atomic<bool> second_started{false};
    std::string second_saw;
    std::thread second([&] {
        EXPECT_EQ(tavri_transaction_start(store.handle()), 0);
        second_started = true;
        second_saw = matches(store, key);
        EXPECT_EQ(tavri_transaction_commit(store.handle()), 0);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(second_started);
    ASSERT_EQ(set(store, key, "mine"), 0);
    ASSERT_EQ(tavri_transaction_commit(store.handle()), 0);
    second.join();
    EXPECT_EQ(second_saw, "1: mine");
}

} // namespace

#include "confmodel.h"
#include "fake_host.h"
#include "store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uintptr_t device = 7;
constexpr uintptr_t other_device = 8;

// Whatever happened, the module logged nothing, freed every result set and
// left no transaction open.
void expect_released(Store &store) {
    EXPECT_EQ(fake_host::log_text(), "");
    EXPECT_EQ(store.live_results(), 0u) << "a result set was not freed";
    EXPECT_TRUE(store.idle()) << "a transaction was left open";
}

// Each success is one committed transaction that touches only the device's
// records. Set and reset never query, so they write even for a key that
// matches nothing. A null new value is an all-null update, which the store
// refuses unless every other field is null too, and which changes nothing.
TEST(Dcbx, SuccessWritesInOneCommittedTransaction) {
    const struct {
        const char *name;
        int (*call)(uintptr_t store, uintptr_t key);
        uintptr_t key;
        const char *stored, *calls, *written;
    } cases[] = {
        {"test-and-set from the expected value",
         [](uintptr_t s, uintptr_t k) { return dcbx_pending_test_and_set(s, k, "false", "true"); },
         device, "false", "start get set commit free", "true"},
        {"test-and-set without expected",
         [](uintptr_t s, uintptr_t k) { return dcbx_pending_test_and_set(s, k, nullptr, "new"); },
         device, "odd", "start set commit free", "new"},
        {"null new value",
         [](uintptr_t s, uintptr_t k) { return dcbx_pending_test_and_set(s, k, "false", nullptr); },
         device, "false", "start get set commit free", "false"},
        {"set over an absent value", dcbx_pending_set, device, nullptr, "start set commit free",
         "true"},
        {"reset", dcbx_pending_reset, device, "true", "start set commit free", "false"},
        {"set, unknown device", dcbx_pending_set, 9, "false", "start set commit free", "false"},
        {"reset, unknown device", dcbx_pending_reset, 9, "true", "start set commit free", "true"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fake_host::reset();
        Store store;
        store.add(device, c.stored);
        store.add(other_device, "false");
        EXPECT_EQ(c.call(store.handle(), c.key), 0);
        EXPECT_EQ(store.calls(), c.calls);
        EXPECT_EQ(store.value(device), c.written);
        EXPECT_EQ(store.value(other_device) + store.value(9), "false(no record)");
        expect_released(store);
    }
}

// A stored value that is not the expected one, or not exactly one matching
// record, is refused after the query: nothing is written.
TEST(Dcbx, MismatchIsBusyAndNoSingleMatchIsInvalid) {
    const struct {
        const char *name;
        size_t records; // with the device's key, each holding stored
        const char *stored, *expected;
        int status;
    } cases[] = {
        {"value differs", 1, "true", "false", EBUSY}, {"case differs", 1, "True", "true", EBUSY},
        {"prefix only", 1, "false", "fals", EBUSY},   {"value absent", 1, nullptr, "false", EBUSY},
        {"empty vs absent", 1, nullptr, "", EBUSY},   {"no device", 0, nullptr, "false", EINVAL},
        {"two devices", 2, "false", "false", EINVAL},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fake_host::reset();
        Store store;
        for (size_t i = 0; i < c.records; i++)
            store.add(device, c.stored);
        EXPECT_EQ(dcbx_pending_test_and_set(store.handle(), device, c.expected, "new"), c.status);
        EXPECT_EQ(store.calls(), "start get free abort");
        for (size_t i = 0; i < c.records; i++)
            EXPECT_EQ(store.value(device, i), c.stored ? c.stored : "(absent)");
        expect_released(store);
    }
}

// Each store call a function makes fails in turn: its status, whatever it
// looks like, comes back unchanged, the result set is freed, the transaction
// aborted once and last, and nothing is committed.
TEST(Dcbx, EveryFailingStoreCallIsPassedThroughAndAborted) {
    const struct {
        const char *name;
        int (*call)(uintptr_t store, uintptr_t key);
        const char *calls; // when nothing fails
    } functions[] = {
        {"test-and-set",
         [](uintptr_t s, uintptr_t key) { return dcbx_pending_test_and_set(s, key, "false", "x"); },
         "start get set commit"},
        {"test-and-set without expected",
         [](uintptr_t s, uintptr_t key) { return dcbx_pending_test_and_set(s, key, nullptr, "x"); },
         "start set commit"},
        {"set", dcbx_pending_set, "start set commit"},
        {"reset", dcbx_pending_reset, "start set commit"},
    };
    const struct {
        memstore_call call;
        const char *name;
        int status; // of every sign and size, including the module's own
    } store_calls[] = {
        {MEMSTORE_CALL_TRANSACTION_START, "start", INT_MIN},
        {MEMSTORE_CALL_REMOTEDEVICE_GET, "get", EBUSY},
        {MEMSTORE_CALL_REMOTEDEVICE_SET, "set", -1},
        {MEMSTORE_CALL_TRANSACTION_COMMIT, "commit", MEMSTORE_ERR_NO_MEMORY},
    };
    for (const auto &f : functions) {
        const std::string made = f.calls;
        for (const auto &failing : store_calls) {
            const size_t at = (" " + made + " ").find(" " + std::string(failing.name) + " ");
            if (at == std::string::npos) continue;
            SCOPED_TRACE(std::string(f.name) + ", " + failing.name + " fails");
            fake_host::reset();
            Store store;
            store.add(device, "false");
            store.clear_calls();
            store.fail(failing.call, 1, failing.status);
            EXPECT_EQ(f.call(store.handle(), device), failing.status);
            EXPECT_EQ(store.calls(), made.substr(0, at) + failing.name + " free abort");
            EXPECT_EQ(store.value(device), "false") << "a failed call committed";
            expect_released(store);
        }
    }
}

// Threads race to flip the same device from "false" to "true". The read, the
// comparison and the write share one transaction, so exactly one of them
// sees "false"; a module that let another transaction in between its read
// and its write would let several win.
TEST(Dcbx, ConcurrentTestAndSetHasOneWinner) {
    constexpr int threads = 8;
    constexpr int rounds = 50;
    fake_host::reset();
    Store store;
    store.add(device, "false");
    for (int round = 0; round < rounds; round++) {
        SCOPED_TRACE(round);
        ASSERT_EQ(dcbx_pending_reset(store.handle(), device), 0);

        // Every racer spins until all are running, so that their calls overlap.
        std::atomic<int> ready{0}, winners{0}, busy{0};
        std::vector<std::thread> racers;
        for (int i = 0; i < threads; i++) {
            racers.emplace_back([&] {
                ready++;
                while (ready.load() < threads)
                    std::this_thread::yield();
                int status = dcbx_pending_test_and_set(store.handle(), device, "false", "true");
                (status == 0 ? winners : busy)++;
                EXPECT_TRUE(status == 0 || status == EBUSY) << status;
            });
        }
        for (std::thread &racer : racers)
            racer.join();

        ASSERT_EQ(winners.load(), 1);
        ASSERT_EQ(busy.load(), threads - 1);
        ASSERT_EQ(store.value(device), "true");
    }
    expect_released(store);
}

} // namespace

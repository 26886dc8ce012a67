#include "confmodel.h"
#include "fake_host.h"
#include "store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

namespace {

constexpr uintptr_t device = 7;
constexpr uintptr_t other_device = 8;

class DcbxTest : public ::testing::Test {
  protected:
    void SetUp() override { fake_host::reset(); }
    void TearDown() override {
        EXPECT_EQ(fake_host::log_text(), "");
        EXPECT_EQ(store.live_results(), 0u) << "a result set was not freed";
        EXPECT_TRUE(store.idle()) << "a transaction was left open";
    }

    Store store;
};

TEST_F(DcbxTest, TestAndSetWritesWhenTheValueIsExpected) {
    store.add(device, "false");
    store.add(other_device, "false");
    EXPECT_EQ(dcbx_pending_test_and_set(store.handle(), device, "false", "true"), 0);
    EXPECT_EQ(store.calls(), "start get set commit free");
    EXPECT_EQ(store.value(device), "true");
    EXPECT_EQ(store.value(other_device), "false");
}

TEST_F(DcbxTest, WithoutExpectedWritesWithoutReading) {
    store.add(device, "odd");
    EXPECT_EQ(dcbx_pending_test_and_set(store.handle(), device, nullptr, "custom"), 0);
    EXPECT_EQ(store.calls(), "start set commit free");
    EXPECT_EQ(store.value(device), "custom");
}

TEST_F(DcbxTest, SetAndResetNeverQuery) {
    store.add(device, nullptr);
    EXPECT_EQ(dcbx_pending_set(store.handle(), device), 0);
    EXPECT_EQ(store.value(device), "true");
    EXPECT_EQ(dcbx_pending_reset(store.handle(), device), 0);
    EXPECT_EQ(store.value(device), "false");
    EXPECT_EQ(store.calls(), "start set commit free start set commit free");

    // No device has the key: the write still goes out and the store's 0 comes back.
    store.clear_calls();
    EXPECT_EQ(dcbx_pending_set(store.handle(), other_device), 0);
    EXPECT_EQ(dcbx_pending_reset(store.handle(), other_device), 0);
    EXPECT_EQ(store.calls(), "start set commit free start set commit free");
    EXPECT_EQ(store.value(other_device), "(no record)");
    EXPECT_EQ(store.value(device), "false");
}

TEST_F(DcbxTest, NullNewValueIsWrittenAsAnAllNullUpdate) {
    store.add(device, "false");
    EXPECT_EQ(dcbx_pending_test_and_set(store.handle(), device, "false", nullptr), 0);
    EXPECT_EQ(dcbx_pending_test_and_set(store.handle(), device, nullptr, nullptr), 0);
    EXPECT_EQ(store.calls(), "start get set commit free start set commit free");
    // The store leaves a field alone when the update's is null.
    EXPECT_EQ(store.value(device), "false");
}

enum Operation { TEST_AND_SET, SET, RESET };

struct FailureCase {
    const char *name;
    Operation operation;
    size_t records;      // with the device's key, each holding stored
    const char *stored;  // null: absent
    const char *expected;
    memstore_call failing;
    int failing_status;  // 0: no store call fails
    int status;
    const char *calls;
};

int run(Operation operation, uintptr_t handle, const char *expected) {
    switch (operation) {
    case SET:
        return dcbx_pending_set(handle, device);
    case RESET:
        return dcbx_pending_reset(handle, device);
    default:
        return dcbx_pending_test_and_set(handle, device, expected, "new");
    }
}

// Every failure frees the result set (if any), aborts, and commits nothing;
// the store's own statuses come back unchanged.
TEST(Dcbx, EveryFailureFreesAbortsAndCommitsNothing) {
    constexpr memstore_call start = MEMSTORE_CALL_TRANSACTION_START;
    constexpr memstore_call get = MEMSTORE_CALL_REMOTEDEVICE_GET;
    constexpr memstore_call set = MEMSTORE_CALL_REMOTEDEVICE_SET;
    constexpr memstore_call commit = MEMSTORE_CALL_TRANSACTION_COMMIT;
    const FailureCase cases[] = {
        {"value differs", TEST_AND_SET, 1, "true", "false", get, 0, EBUSY, "start get free abort"},
        {"case differs", TEST_AND_SET, 1, "True", "true", get, 0, EBUSY, "start get free abort"},
        {"prefix only", TEST_AND_SET, 1, "false", "fals", get, 0, EBUSY, "start get free abort"},
        {"value absent", TEST_AND_SET, 1, nullptr, "false", get, 0, EBUSY, "start get free abort"},
        {"empty vs absent", TEST_AND_SET, 1, nullptr, "", get, 0, EBUSY, "start get free abort"},
        {"no device", TEST_AND_SET, 0, nullptr, "false", get, 0, EINVAL, "start get free abort"},
        {"two devices", TEST_AND_SET, 2, "false", "false", get, 0, EINVAL, "start get free abort"},
        {"start fails", TEST_AND_SET, 1, "false", "false", start, 5, 5, "start free abort"},
        {"get fails", TEST_AND_SET, 1, "false", "false", get, 5, 5, "start get free abort"},
        {"set fails", TEST_AND_SET, 1, "false", "false", set, 6, 6, "start get set free abort"},
        {"commit fails", TEST_AND_SET, 1, "false", "false", commit, 7, 7,
         "start get set commit free abort"},
        {"store status", TEST_AND_SET, 1, "false", "false", get, MEMSTORE_ERR_NO_MEMORY,
         MEMSTORE_ERR_NO_MEMORY, "start get free abort"},
        {"set: start fails", SET, 1, "false", nullptr, start, 5, 5, "start free abort"},
        {"set: set fails", SET, 1, "false", nullptr, set, -2, -2, "start set free abort"},
        {"set: commit fails", SET, 1, "false", nullptr, commit, EBUSY, EBUSY,
         "start set commit free abort"},
        {"reset: start fails", RESET, 1, "true", nullptr, start, 5, 5, "start free abort"},
        {"reset: set fails", RESET, 1, "true", nullptr, set, 6, 6, "start set free abort"},
        {"reset: commit fails", RESET, 1, "true", nullptr, commit, 7, 7,
         "start set commit free abort"},
    };
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.name);
        fake_host::reset();
        Store store;
        for (size_t i = 0; i < c.records; i++)
            store.add(device, c.stored);
        if (c.failing_status != 0)
            store.fail(c.failing, 1, c.failing_status);

        EXPECT_EQ(run(c.operation, store.handle(), c.expected), c.status);
        EXPECT_EQ(store.calls(), c.calls);
        EXPECT_EQ(store.live_results(), 0u);
        for (size_t i = 0; i < c.records; i++)
            EXPECT_EQ(store.value(device, i), c.stored ? c.stored : "(absent)");
        EXPECT_TRUE(store.idle());
        EXPECT_EQ(fake_host::log_text(), "");
    }
}

// Threads race to flip the same device from "false" to "true". The read, the
// comparison and the write share one transaction, so exactly one of them
// sees "false"; a module that let another transaction in between its read
// and its write would let several win.
TEST_F(DcbxTest, ConcurrentTestAndSetHasOneWinner) {
    constexpr int threads = 8;
    constexpr int rounds = 50;
    store.add(device, "false");
    for (int round = 0; round < rounds; round++) {
        SCOPED_TRACE(round);
        ASSERT_EQ(dcbx_pending_reset(store.handle(), device), 0);

        // Every racer spins until all are running, so that their calls overlap.
        std::atomic<int> ready{0}, winners{0}, busy{0}, other{0};
        std::vector<std::thread> racers;
        for (int i = 0; i < threads; i++) {
            racers.emplace_back([&] {
                ready++;
                while (ready.load() < threads)
                    std::this_thread::yield();
                int status = dcbx_pending_test_and_set(store.handle(), device, "false", "true");
                (status == 0 ? winners : status == EBUSY ? busy : other)++;
            });
        }
        for (std::thread &racer : racers)
            racer.join();

        ASSERT_EQ(winners.load(), 1);
        ASSERT_EQ(busy.load(), threads - 1);
        ASSERT_EQ(other.load(), 0);
        ASSERT_EQ(store.value(device), "true");
    }
}

} // namespace

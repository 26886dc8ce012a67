// Each configuration-store call a DCBX function makes is made to fail in turn,
// with statuses of every sign and size. The status must come back unchanged,
// the result set be freed, the transaction aborted exactly once and last, and
// nothing be committed.
#include "confmodel.h"
#include "fake_host.h"
#include "store.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

constexpr uintptr_t device = 3;

struct Function {
    const char *name;
    int (*call)(uintptr_t store, uintptr_t key);
    // The store calls it makes when nothing fails, in order.
    const char *calls;
    // The value it writes over the device's "false".
    const char *written;
    // The calls among them that return a status.
    int failure_points;
};

const Function functions[] = {
    {"test-and-set",
     [](uintptr_t store, uintptr_t key) {
         return dcbx_pending_test_and_set(store, key, "false", "true");
     },
     "start get set commit free", "true", 4},
    {"test-and-set without expected",
     [](uintptr_t store, uintptr_t key) {
         return dcbx_pending_test_and_set(store, key, nullptr, "true");
     },
     "start set commit free", "true", 3},
    {"set", dcbx_pending_set, "start set commit free", "true", 3},
    {"reset", dcbx_pending_reset, "start set commit free", "false", 3},
};

// In the order the functions make them.
const struct {
    memstore_call call;
    const char *name;
} store_calls[] = {
    {MEMSTORE_CALL_TRANSACTION_START, "start"},
    {MEMSTORE_CALL_REMOTEDEVICE_GET, "get"},
    {MEMSTORE_CALL_REMOTEDEVICE_SET, "set"},
    {MEMSTORE_CALL_TRANSACTION_COMMIT, "commit"},
};

// Any non-zero status, including ones that look like the module's own.
const int statuses[] = {1, -1, ENOMEM, EBUSY, EINVAL, MEMSTORE_ERR_NO_MEMORY, INT_MIN, INT_MAX};

bool makes(const char *calls, const char *call) {
    return (" " + std::string(calls) + " ").find(" " + std::string(call) + " ") !=
           std::string::npos;
}

// The calls of a run that failed at `failed`: those before it, itself, then
// the release of the result set and the abort.
std::string calls_failing_at(const char *all, const char *failed) {
    std::string calls = all;
    calls = calls.substr(0, calls.find(failed) + strlen(failed));
    return calls + " free abort";
}

TEST(DcbxTortureTest, EveryFailingStoreCallIsPassedThroughAndAborted) {
    for (const Function &f : functions) {
        SCOPED_TRACE(f.name);
        int points = 0;
        for (const auto &failing : store_calls) {
            const bool made = makes(f.calls, failing.name);
            for (int status : statuses) {
                SCOPED_TRACE(std::string(failing.name) + " fails with " + std::to_string(status));
                fake_host::reset();
                Store store;
                store.add(device, "false");
                store.clear_calls();
                store.fail(failing.call, 1, status);

                const int got = f.call(store.handle(), device);

                EXPECT_EQ(store.live_results(), 0u) << "a result set was not freed";
                if (!made) {
                    // Not a failure point of this function: it goes through.
                    EXPECT_EQ(got, 0);
                    EXPECT_EQ(store.calls(), f.calls);
                    EXPECT_EQ(store.value(device), f.written);
                    continue;
                }
                EXPECT_EQ(got, status);
                EXPECT_EQ(store.calls(), calls_failing_at(f.calls, failing.name));
                EXPECT_EQ(store.value(device), "false") << "a failed call committed";
                EXPECT_TRUE(store.idle()) << "the transaction was left open";
                EXPECT_EQ(fake_host::log_text(), "");
            }
            points += made;
        }
        EXPECT_EQ(points, f.failure_points);
    }
}

} // namespace

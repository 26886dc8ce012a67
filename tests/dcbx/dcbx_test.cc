#include "confmodel.h"
#include "fake_host.h"
#include "memstore.h"
#include "tavri.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <string>

namespace {

using namespace std::string_literals;

// A fresh in-memory configuration store, and readable views of its state.
class Store {
  public:
    Store() : store_(memstore_create()) {}
    ~Store() { memstore_destroy(store_); }
    uintptr_t handle() const { return memstore_handle(store_); }
    void add(uintptr_t key, const char *value) {
        EXPECT_EQ(memstore_add_device(store_, key, value), 0);
    }
    void fail(memstore_call call, int status) { memstore_fail_call(store_, call, 1, status); }

    // The committed value of the index-th record with key.
    std::string value(uintptr_t key, size_t index = 0) const {
        char buffer[64];
        int found = memstore_read_dcbx_pending(store_, key, index, buffer, sizeof buffer);
        return found == MEMSTORE_PRESENT ? buffer
               : found == MEMSTORE_ABSENT  ? "(absent)"
                                           : "(no record)";
    }

    // The tavri_ calls so far by their last word: "start get set commit free".
    std::string calls() const {
        std::string out;
        for (size_t i = 0; i < memstore_call_count(store_); i++)
            out += (out.empty() ? "" : " ") +
                   std::string(strrchr(memstore_call_name(store_, i), '_') + 1);
        return out;
    }

    // The module logged nothing, freed every result set and left no
    // transaction open, whatever happened.
    void expect_released() {
        EXPECT_EQ(fake_host::log_text(), "");
        EXPECT_EQ(memstore_live_results(store_), 0u) << "a result set was not freed";
        EXPECT_EQ(tavri_transaction_start(handle()), 0) << "a transaction was left open";
        tavri_transaction_abort(handle());
    }

  private:
    memstore *store_;
};

constexpr uintptr_t device = 7;
constexpr uintptr_t other_device = 8;

using Call = int (*)(uintptr_t store, uintptr_t key);
const Call false_to_true = [](uintptr_t s, uintptr_t k) {
    return dcbx_pending_test_and_set(s, k, "false", "true");
};
const Call anything_to_new = [](uintptr_t s, uintptr_t k) {
    return dcbx_pending_test_and_set(s, k, nullptr, "new");
};
const Call false_to_null = [](uintptr_t s, uintptr_t k) {
    return dcbx_pending_test_and_set(s, k, "false", nullptr);
};

// One transaction touching only the device's records. Another stored value,
// or not exactly one matching record, is refused after the query and nothing
// is written. Set and reset never query, so they write even when no record
// matches. A null new value is an all-null update, which changes nothing.
TEST(Dcbx, OneTransactionWritesOnlyWhatItFinds) {
    const char *refused = "start get free abort";
    const struct {
        Call call;
        size_t records; // with the device's key, each holding stored
        const char *stored;
        int status;
        const char *calls, *after;
    } cases[] = {
        {false_to_true, 1, "false", 0, "start get set commit free", "true"},
        {anything_to_new, 1, "odd", 0, "start set commit free", "new"},
        {false_to_null, 1, "false", 0, "start get set commit free", "false"},
        {dcbx_pending_set, 1, nullptr, 0, "start set commit free", "true"},
        {dcbx_pending_reset, 1, "true", 0, "start set commit free", "false"},
        {dcbx_pending_reset, 0, nullptr, 0, "start set commit free", "(no record)"},
        {false_to_true, 1, "true", EBUSY, refused, "true"},
        {false_to_true, 1, "False", EBUSY, refused, "False"},
        {false_to_true, 1, "falsely", EBUSY, refused, "falsely"},
        {false_to_true, 1, nullptr, EBUSY, refused, "(absent)"},
        {false_to_true, 0, nullptr, EINVAL, refused, "(no record)"},
        {false_to_true, 2, "false", EINVAL, refused, "false"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        fake_host::reset();
        Store store;
        for (size_t i = 0; i < c.records; i++)
            store.add(device, c.stored);
        store.add(other_device, "false");
        EXPECT_EQ(c.call(store.handle(), device), c.status);
        EXPECT_EQ(store.calls(), c.calls);
        EXPECT_EQ(store.value(device) + " " + store.value(other_device), c.after + " false"s);
        store.expect_released();
    }
}

// Each store call a function makes fails in turn: its status, whatever it
// looks like, comes back unchanged, the result set is freed, the transaction
// aborted once and last, and nothing is committed.
TEST(Dcbx, EveryFailingStoreCallIsPassedThroughAndAborted) {
    const struct {
        Call call;
        memstore_call failing;
        int status; // of every sign and size, including the module's own
        const char *calls;
    } cases[] = {
        {false_to_true, MEMSTORE_CALL_TRANSACTION_START, INT_MIN, "start free abort"},
        {false_to_true, MEMSTORE_CALL_REMOTEDEVICE_GET, EBUSY, "start get free abort"},
        {false_to_true, MEMSTORE_CALL_REMOTEDEVICE_SET, -1, "start get set free abort"},
        {false_to_true, MEMSTORE_CALL_TRANSACTION_COMMIT, 1005, "start get set commit free abort"},
        {dcbx_pending_set, MEMSTORE_CALL_TRANSACTION_START, 1, "start free abort"},
        {dcbx_pending_set, MEMSTORE_CALL_REMOTEDEVICE_SET, EINVAL, "start set free abort"},
        {dcbx_pending_reset, MEMSTORE_CALL_TRANSACTION_COMMIT, -2, "start set commit free abort"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.calls);
        fake_host::reset();
        Store store;
        store.add(device, "false");
        store.fail(c.failing, c.status);
        EXPECT_EQ(c.call(store.handle(), device), c.status);
        EXPECT_EQ(store.calls(), c.calls);
        EXPECT_EQ(store.value(device), "false") << "a failed call committed";
        store.expect_released();
    }
}

} // namespace

// A fresh in-memory configuration store per test, released with it, and
// readable views of its state for one-line assertions.
#ifndef CONFMODEL_TESTS_STORE_H
#define CONFMODEL_TESTS_STORE_H

#include "memstore.h"
#include "tavri.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

class Store {
  public:
    Store() : store_(memstore_create()) {}
    ~Store() { memstore_destroy(store_); }
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    uintptr_t handle() const { return memstore_handle(store_); }

    // A committed record; a null value is absent.
    void add(uintptr_t key, const char *value) {
        EXPECT_EQ(memstore_add_device(store_, key, value), 0);
    }

    // The committed value of the index-th record with key, "(absent)" when
    // null and "(no record)" when there is none.
    std::string value(uintptr_t key, size_t index = 0) const {
        char buffer[64];
        switch (memstore_read_dcbx_pending(store_, key, index, buffer, sizeof buffer)) {
        case MEMSTORE_PRESENT:
            return buffer;
        case MEMSTORE_ABSENT:
            return "(absent)";
        default:
            return "(no record)";
        }
    }

    // The tavri_ calls so far by their last word: "start get set commit free".
    std::string calls() const {
        std::string out;
        for (size_t i = 0; i < memstore_call_count(store_); i++) {
            std::string name = memstore_call_name(store_, i);
            out += (out.empty() ? "" : " ") + name.substr(name.rfind('_') + 1);
        }
        return out;
    }

    void clear_calls() { memstore_clear_calls(store_); }
    void fail(memstore_call call, int nth, int status) {
        memstore_fail_call(store_, call, nth, status);
    }
    size_t live_results() const { return memstore_live_results(store_); }

    // True when the calling thread could open a transaction, i.e. it had left
    // none open. Adds "start abort" to the call log.
    bool idle() {
        int status = tavri_transaction_start(handle());
        tavri_transaction_abort(handle());
        return status == 0;
    }

  private:
    memstore *store_;
};

#endif

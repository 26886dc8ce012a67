// The in-memory store behind memstore.h. Host code: it uses the C++ standard
// library freely, but no exception leaves a call made from C.
#include "memstore.h"

#include "tavri.h"
#include "call_log.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

struct Device {
    uintptr_t key;
    std::optional<std::string> dcbx_pending;
};

using Devices = std::vector<Device>;

// Copies of the matching records; each record's dcbx_pending points into
// values, which is filled completely before any record points into it.
struct ResultSet {
    std::vector<std::optional<std::string>> values;
    std::vector<remotedevice_record> records;
};

struct Failure {
    int countdown; // calls left until the failing one; 0 when disarmed
    int status;
};

} // namespace

struct memstore {
    std::mutex mutex;
    std::condition_variable idle; // signalled when the open transaction ends
    Devices committed;
    Devices working; // the open transaction's view of the records
    bool open = false;
    std::thread::id owner;
    // Transactions open in the order their starts arrived, so none starves.
    unsigned long next_ticket = 0;
    unsigned long now_serving = 0;
    std::unordered_map<void *, std::unique_ptr<ResultSet>> results;
    Failure failures[MEMSTORE_CALL_KINDS] = {};
    std::vector<LoggedCall> calls;
};

namespace {

using Lock = std::unique_lock<std::mutex>;

memstore *from_handle(uintptr_t handle) { return reinterpret_cast<memstore *>(handle); }

bool owns_transaction(const memstore *store) {
    return store->open && store->owner == std::this_thread::get_id();
}

// Logs the call and counts it down towards an armed failure. Returns the
// injected status, or 0 when the call should do its work.
int enter(memstore *store, const char *name, memstore_call kind) {
    store->calls.push_back({name, 0, {}, {}});
    Failure &failure = store->failures[kind];
    if (failure.countdown > 0 && --failure.countdown == 0)
        return failure.status;
    return 0;
}

// Logs a call that releases something: the release matters more than its log
// line, so it goes ahead when the log cannot grow.
void log_release(memstore *store, const char *name) noexcept {
    try {
        store->calls.push_back({name, 0, {}, {}});
    } catch (const std::bad_alloc &) {
    }
}

// The only fields this store keeps are key and dcbx_pending.
bool uses_other_fields(const remotedevice_record *record) {
    for (void *field : record->store_a)
        if (field != nullptr)
            return true;
    for (void *field : record->store_b)
        if (field != nullptr)
            return true;
    return false;
}

// Runs a call's body, turning an allocation failure into a status.
template <typename Body> int guarded(uintptr_t handle, Body body) noexcept {
    memstore *store = from_handle(handle);
    if (store == nullptr)
        return MEMSTORE_ERR_HANDLE;
    try {
        Lock lock(store->mutex);
        size_t logged = store->calls.size();
        int status = body(store, lock);
        if (store->calls.size() > logged) store->calls.back().status = status;
        return status;
    } catch (const std::bad_alloc &) {
        return MEMSTORE_ERR_NO_MEMORY;
    }
}

int copy_dcbx_pending(const Device &device, char *buffer, size_t size) {
    const std::string empty;
    const std::string &value = device.dcbx_pending ? *device.dcbx_pending : empty;
    if (size > 0)
        buffer[value.copy(buffer, size - 1)] = '\0';
    return device.dcbx_pending ? MEMSTORE_PRESENT : MEMSTORE_ABSENT;
}

void end_transaction(memstore *store) {
    store->working.clear();
    store->open = false;
    store->idle.notify_all();
}

} // namespace

extern "C" {

int tavri_transaction_start(uintptr_t handle) {
    return guarded(handle, [](memstore *store, Lock &lock) {
        if (int status = enter(store, "tavri_transaction_start", MEMSTORE_CALL_TRANSACTION_START))
            return status;
        if (owns_transaction(store))
            return static_cast<int>(MEMSTORE_ERR_NESTED);
        unsigned long ticket = store->next_ticket++;
        store->idle.wait(lock,
                         [store, ticket] { return !store->open && store->now_serving == ticket; });
        store->now_serving++;
        store->open = true;
        store->owner = std::this_thread::get_id();
        try {
            store->working = store->committed;
        } catch (const std::bad_alloc &) {
            end_transaction(store);
            throw;
        }
        return 0;
    });
}

int tavri_transaction_commit(uintptr_t handle) {
    return guarded(handle, [](memstore *store, Lock &) {
        if (int status = enter(store, "tavri_transaction_commit", MEMSTORE_CALL_TRANSACTION_COMMIT))
            return status;
        if (!owns_transaction(store))
            return static_cast<int>(MEMSTORE_ERR_NO_TRANSACTION);
        store->committed.swap(store->working);
        end_transaction(store);
        return 0;
    });
}

void tavri_transaction_abort(uintptr_t handle) {
    memstore *store = from_handle(handle);
    if (store == nullptr)
        return;
    Lock lock(store->mutex);
    log_release(store, "tavri_transaction_abort");
    if (owns_transaction(store))
        end_transaction(store);
}

int tavri_remotedevice_get(uintptr_t handle, const remotedevice_record *query,
                           void **out_results, remotedevice_record **out_first, int *out_count) {
    *out_results = nullptr;
    *out_first = nullptr;
    *out_count = 0;
    return guarded(handle, [=](memstore *store, Lock &) {
        if (int status = enter(store, "tavri_remotedevice_get", MEMSTORE_CALL_REMOTEDEVICE_GET))
            return status;
        if (!owns_transaction(store))
            return static_cast<int>(MEMSTORE_ERR_NO_TRANSACTION);
        if (uses_other_fields(query))
            return static_cast<int>(MEMSTORE_ERR_FIELD);

        auto set = std::make_unique<ResultSet>();
        for (const Device &device : store->working) {
            if (device.key != query->key)
                continue;
            if (query->dcbx_pending != nullptr && device.dcbx_pending != query->dcbx_pending)
                continue;
            set->values.push_back(device.dcbx_pending);
        }
        store->calls.back().before = set->values;
        set->records.resize(set->values.size()); // all fields null
        for (size_t i = 0; i < set->records.size(); i++) {
            set->records[i].key = query->key;
            if (set->values[i])
                set->records[i].dcbx_pending = set->values[i]->c_str();
        }

        ResultSet *results = set.get();
        store->results.emplace(results, std::move(set));
        *out_results = results;
        *out_first = results->records.empty() ? nullptr : results->records.data();
        *out_count = static_cast<int>(results->records.size());
        return 0;
    });
}

int tavri_remotedevice_set(uintptr_t handle, uintptr_t device_key,
                           const remotedevice_record *update) {
    return guarded(handle, [=](memstore *store, Lock &) {
        if (int status = enter(store, "tavri_remotedevice_set", MEMSTORE_CALL_REMOTEDEVICE_SET))
            return status;
        if (!owns_transaction(store))
            return static_cast<int>(MEMSTORE_ERR_NO_TRANSACTION);
        // The device is named by device_key; a key in the update would rename it.
        if (update->key != 0 || uses_other_fields(update))
            return static_cast<int>(MEMSTORE_ERR_FIELD);
        if (update->dcbx_pending == nullptr)
            return 0;
        LoggedCall &call = store->calls.back();
        call.written = update->dcbx_pending;
        for (Device &device : store->working)
            if (device.key == device_key) {
                call.before.push_back(device.dcbx_pending);
                device.dcbx_pending = update->dcbx_pending;
            }
        return 0;
    });
}

void tavri_results_free(uintptr_t handle, void *results) {
    memstore *store = from_handle(handle);
    if (store == nullptr)
        return;
    Lock lock(store->mutex);
    log_release(store, "tavri_results_free");
    store->results.erase(results);
}

memstore *memstore_create(void) { return new (std::nothrow) memstore; }

void memstore_destroy(memstore *store) { delete store; }

uintptr_t memstore_handle(memstore *store) { return reinterpret_cast<uintptr_t>(store); }

int memstore_add_device(memstore *store, uintptr_t key, const char *dcbx_pending) {
    return guarded(memstore_handle(store), [=](memstore *s, Lock &lock) {
        if (owns_transaction(s))
            return static_cast<int>(MEMSTORE_ERR_NESTED);
        s->idle.wait(lock, [s] { return !s->open; });
        std::optional<std::string> value;
        if (dcbx_pending != nullptr)
            value = dcbx_pending;
        s->committed.push_back({key, std::move(value)});
        return 0;
    });
}

size_t memstore_device_count(memstore *store, uintptr_t key) {
    Lock lock(store->mutex);
    size_t count = 0;
    for (const Device &device : store->committed)
        if (device.key == key)
            count++;
    return count;
}

int memstore_read_dcbx_pending(memstore *store, uintptr_t key, size_t index, char *buffer,
                               size_t size) {
    Lock lock(store->mutex);
    for (const Device &device : store->committed) {
        if (device.key == key && index-- == 0)
            return copy_dcbx_pending(device, buffer, size);
    }
    return MEMSTORE_NO_RECORD;
}

size_t memstore_live_results(memstore *store) {
    Lock lock(store->mutex);
    return store->results.size();
}

void memstore_fail_call(memstore *store, memstore_call call, int nth, int status) {
    if (static_cast<unsigned>(call) >= MEMSTORE_CALL_KINDS)
        return;
    Lock lock(store->mutex);
    store->failures[call] = {nth, status};
}

size_t memstore_call_count(memstore *store) {
    Lock lock(store->mutex);
    return store->calls.size();
}

const char *memstore_call_name(memstore *store, size_t index) {
    Lock lock(store->mutex);
    return index < store->calls.size() ? store->calls[index].name : nullptr;
}

int memstore_each_call(memstore *store, store_call_visitor visit, void *context) {
    Lock lock(store->mutex);
    try {
        return visit_calls(store->calls, visit, context);
    } catch (const std::bad_alloc &) {
        return MEMSTORE_ERR_NO_MEMORY;
    }
}

void memstore_clear_calls(memstore *store) {
    Lock lock(store->mutex);
    store->calls.clear();
}

} // extern "C"

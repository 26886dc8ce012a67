// The configuration store this host answers the module's tavri_ calls with:
// the in-memory store, seeded with the dump's remote devices.
#ifndef CONFMODEL_HOST_STORE_H
#define CONFMODEL_HOST_STORE_H

#include "dump.h"
#include "memstore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct RemoteDevice {
    uintptr_t key;
    std::optional<std::string> dcbx_pending; // absent when the record has none
};

class Store {
  public:
    Store();
    ~Store() { memstore_destroy(store_); }
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    // Adds every remote_device record of the dump, in line order.
    void seed(const Dump &dump);

    uintptr_t handle() const { return memstore_handle(store_); }
    // The committed records with key, in the order added.
    std::vector<RemoteDevice> records(uintptr_t key) const;
    // Every committed record, grouped by key in the order the keys were added.
    std::vector<RemoteDevice> remote_devices() const;

  private:
    memstore *store_;
    std::vector<uintptr_t> keys_;
};

#endif

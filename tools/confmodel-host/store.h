// The configuration store this host answers the module's tavri_ calls with,
// holding the remote devices of the configuration.
#ifndef CONFMODEL_HOST_STORE_H
#define CONFMODEL_HOST_STORE_H

#include "records.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct memstore;

struct RemoteDevice {
    uintptr_t key;
    std::optional<std::string> dcbx_pending; // absent when the record has none
};

class Store {
  public:
    Store(); // empty, in memory
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    // A remote_device record, committed.
    void add(const Record &device);
    // The record with the device's key takes its values, in place.
    void replace(const Record &device);
    // Every record with the key goes.
    void remove(uintptr_t key);
    uintptr_t handle() const;
    // The committed records with key, in store order.
    std::vector<RemoteDevice> devices(uintptr_t key) const;
    // Every committed record, in store order.
    void each(const std::function<void(const RemoteDevice &)> &visit) const;

  private:
    memstore *store_;
};

// A remote device's key, checked by the reader: a decimal number of 32 bits.
uintptr_t device_key(const Record &device);

#endif

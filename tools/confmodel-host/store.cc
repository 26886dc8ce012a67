#include "store.h"

#include "memstore.h"

#include <new>

Store::Store() : store_(memstore_create()) {
    if (store_ == nullptr) throw std::bad_alloc();
}

Store::~Store() {
    memstore_destroy(store_);
}

uintptr_t Store::handle() const {
    return memstore_handle(store_);
}

void Store::add(const Record &device) {
    if (memstore_add_device(store_, device_key(device),
                            device.column(REMOTE_DEVICE_DCBX_PENDING)) != 0)
        throw std::bad_alloc();
}

void Store::replace(const Record &device) {
    if (memstore_replace_device(store_, device_key(device),
                                device.column(REMOTE_DEVICE_DCBX_PENDING)) != 0)
        throw std::bad_alloc();
}

void Store::remove(uintptr_t key) {
    memstore_remove_devices(store_, key);
}

namespace {

// Reads a value through a call that truncates to the buffer, with a larger
// buffer until the whole value fits.
template <typename Read> RemoteDevice read_value(uintptr_t key, Read read, int &found) {
    std::string text;
    for (size_t size = 64;; size *= 2) {
        text.assign(size, '\0');
        found = read(text.data(), size);
        size_t length = strlen(text.c_str());
        if (length < size - 1) {
            text.resize(length);
            break;
        }
    }
    return {key, found == MEMSTORE_PRESENT ? std::optional<std::string>(text) : std::nullopt};
}

} // namespace

std::vector<RemoteDevice> Store::devices(uintptr_t key) const {
    std::vector<RemoteDevice> out;
    for (size_t i = 0;; i++) {
        int found;
        RemoteDevice device = read_value(
            key,
            [&](char *buffer, size_t size) {
                return memstore_read_dcbx_pending(store_, key, i, buffer, size);
            },
            found);
        if (found == MEMSTORE_NO_RECORD) return out;
        out.push_back(std::move(device));
    }
}

void Store::each(const std::function<void(const RemoteDevice &)> &visit) const {
    for (size_t i = 0;; i++) {
        uintptr_t key = 0;
        int found;
        RemoteDevice device = read_value(
            0,
            [&](char *buffer, size_t size) {
                return memstore_read_device(store_, i, &key, buffer, size);
            },
            found);
        if (found == MEMSTORE_NO_RECORD) return;
        device.key = key;
        visit(device);
    }
}

uintptr_t device_key(const Record &device) {
    return static_cast<uintptr_t>(std::stoull(device.column(REMOTE_DEVICE_KEY)));
}

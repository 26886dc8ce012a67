#include "store.h"

#include <algorithm>
#include <cstring>
#include <new>

Store::Store() : store_(memstore_create()) {
    if (store_ == nullptr) throw std::bad_alloc();
}

void Store::seed(const Dump &dump) {
    for (const DumpRecord &record : dump.records) {
        if (record.table != Table::remote_device) continue;
        uintptr_t key = std::stoul(*record.columns[REMOTE_DEVICE_KEY]);
        if (memstore_add_device(store_, key, record.column(REMOTE_DEVICE_DCBX_PENDING)) != 0)
            throw std::bad_alloc();
        if (std::find(keys_.begin(), keys_.end(), key) == keys_.end()) keys_.push_back(key);
    }
}

std::vector<RemoteDevice> Store::records(uintptr_t key) const {
    std::vector<RemoteDevice> out;
    size_t count = memstore_device_count(store_, key);
    for (size_t i = 0; i < count; i++) {
        // The store truncates to the buffer: read again with a larger one
        // until the whole value fits.
        std::string text;
        int found;
        for (size_t size = 64;; size *= 2) {
            text.assign(size, '\0');
            found = memstore_read_dcbx_pending(store_, key, i, text.data(), size);
            size_t length = strlen(text.c_str());
            if (length < size - 1) {
                text.resize(length);
                break;
            }
        }
        out.push_back(
            {key, found == MEMSTORE_PRESENT ? std::optional<std::string>(text) : std::nullopt});
    }
    return out;
}

std::vector<RemoteDevice> Store::remote_devices() const {
    std::vector<RemoteDevice> out;
    for (uintptr_t key : keys_)
        for (RemoteDevice &device : records(key))
            out.push_back(device);
    return out;
}

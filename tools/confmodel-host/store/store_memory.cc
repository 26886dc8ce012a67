// The store of a build without SQLite: memstore, which keeps a remote
// device's key and DCBX-pending flag only, and no store files.
#include "store/store.h"

#include "memstore.h"

#include <cstring>
#include <new>

struct StoreImpl {
    memstore *store;
};

namespace {

[[noreturn]] void no_files() {
    throw Failure("confmodel-host: this build has no SQLite: it reads dumps only");
}

// Reads a value through a call that truncates to the buffer, with a larger
// buffer until the whole value fits.
template <typename Read> RemoteDevice read_value(Read read, int &found) {
    RemoteDevice device{0, {}};
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
    if (found == MEMSTORE_PRESENT) device.fields[REMOTE_DEVICE_DCBX_PENDING] = text;
    return device;
}

} // namespace

Store::Store() : impl_(new StoreImpl{memstore_create()}) {
    if (impl_->store == nullptr) throw std::bad_alloc();
}

Store::Store(const std::string &, Open) {
    no_files();
}

Store::~Store() {
    if (impl_) memstore_destroy(impl_->store);
}

uintptr_t Store::handle() const {
    return memstore_handle(impl_->store);
}

std::string Store::status_text(int status) const {
    return std::to_string(status);
}

void Store::log_calls() {
    memstore_clear_calls(impl_->store);
}

std::vector<StoreCall> Store::calls() const {
    std::vector<StoreCall> out;
    if (memstore_each_call(impl_->store, keep_call, &out) != 0) throw std::bad_alloc();
    return out;
}

void Store::add(const Record &device) {
    if (memstore_add_device(impl_->store, device_key(device),
                            device.column(REMOTE_DEVICE_DCBX_PENDING)) != 0)
        throw std::bad_alloc();
}

void Store::replace(const Record &device) {
    if (memstore_replace_device(impl_->store, device_key(device),
                                device.column(REMOTE_DEVICE_DCBX_PENDING)) != 0)
        throw std::bad_alloc();
}

void Store::remove(uintptr_t key) {
    memstore_remove_devices(impl_->store, key);
}

std::vector<RemoteDevice> Store::devices(uintptr_t key) const {
    std::vector<RemoteDevice> out;
    each([&](const RemoteDevice &device) {
        if (device.key == key) out.push_back(device);
    });
    return out;
}

void Store::each(const std::function<void(const RemoteDevice &)> &visit) const {
    for (size_t i = 0;; i++) {
        uintptr_t key = 0;
        int found;
        RemoteDevice device = read_value(
            [&](char *buffer, size_t size) {
                return memstore_read_device(impl_->store, i, &key, buffer, size);
            },
            found);
        if (found == MEMSTORE_NO_RECORD) return;
        device.key = key;
        visit(device);
    }
}

Dump Store::read(size_t) {
    no_files();
}
void Store::insert(const Record &) {
    no_files();
}
void Store::update(const Record &, const Record &) {
    no_files();
}
void Store::erase(const Record &) {
    no_files();
}

// One process and no other connection: each write stands alone.
void Store::begin() {}
void Store::commit() {}
void Store::rollback() {}

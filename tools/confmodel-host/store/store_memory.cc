// The store of a build without SQLite: memstore, which keeps a remote
// device's key and DCBX-pending flag only, and no store files.
#include "store/store.h"

#include "memstore.h"

#include <new>

struct StoreImpl {
    memstore *store;
};

namespace {

[[noreturn]] void no_files() {
    throw Failure("confmodel-host: this build has no SQLite: it reads dumps only");
}

} // namespace

std::string Store::engine() {
    return "in memory, without SQLite: no store files";
}

Store::Store() : impl_(new StoreImpl{memstore_create()}) {
    if (impl_->store == nullptr) throw std::bad_alloc();
}

Store::Store(const std::string &, Open, int) {
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

bool Store::locked(int) const {
    return false; // a store in memory is this process's alone
}

void Store::log_calls() {
    memstore_clear_calls(impl_->store);
}

std::vector<LoggedCall> Store::calls() const {
    std::vector<LoggedCall> out;
    if (memstore_each_call(impl_->store, keep_call, &out) != 0) throw std::bad_alloc();
    return out;
}

void Store::add(const Record &device) {
    if (memstore_add_device(impl_->store, device_key(device),
                            device.column(REMOTE_DEVICE_DCBX_PENDING)) != 0)
        throw std::bad_alloc();
}

Dump Store::read(size_t) {
    no_files();
}
uint32_t Store::insert(const Record &, uint32_t) {
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

int64_t Store::log_commit(const Commit &, bool) {
    no_files();
}
std::vector<Commit> Store::commits(int64_t, bool) const {
    no_files();
}
std::vector<Commit> Store::commits_since(int64_t) const {
    no_files();
}
std::optional<Commit> Store::newest_commit() const {
    no_files();
}
std::optional<Commit> Store::awaiting_commit() const {
    no_files();
}
Dump Store::read_rows(const std::vector<uint32_t> *, const std::vector<uint32_t> *, size_t) {
    no_files();
}
void Store::begin_read() {
    no_files();
}
void Store::end_read() {
    no_files();
}
int64_t Store::data_version() const {
    no_files();
}
std::optional<int64_t> Store::record_writes() const {
    no_files();
}
void Store::set_deadline(int64_t, int64_t) {
    no_files();
}
int64_t Store::drop_change_sets(int64_t) {
    no_files();
}
uint8_t Store::source(Table) const {
    no_files();
}

// A dump's store keeps nothing.
uint64_t Store::changes() const {
    return 0;
}

#include "session.h"

#include <new>

bool is_store_file(const std::string &head) {
    return head.size() >= 16 && head.compare(0, 16, std::string("SQLite format 3\0", 16)) == 0;
}

Source Session::open(const std::string &path, bool write) const {
    Source source;
    {
        LineReader in(path, settings_.limits);
        if (!is_store_file(in.peek(16))) {
            source.dump = read_dump(in);
            source.store = std::make_unique<Store>();
            seed(*source.store, source.dump);
            return source;
        }
        if (path == "-") throw Failure("<stdin>: a store file is read from its path, not from standard input");
    }
    source.store = std::make_unique<Store>(
        path, write && !settings_.read_only ? Store::Open::read_write : Store::Open::read_only);
    source.dump = source.store->read();
    source.from_store_file = true;
    return source;
}

const Module &Session::module() {
    if (module_.handle == nullptr) {
        std::string error = load_module(settings_.library.c_str(), module_);
        if (!error.empty()) throw Failure("confmodel-host: cannot load the module: " + error);
    }
    return module_;
}

void seed(Store &store, const Dump &dump) {
    store.begin();
    for (const Record &record : dump.records) {
        if (record.table != Table::remote_device) continue;
        try {
            store.add(record);
        } catch (const std::bad_alloc &) {
            throw Failure(where(record) + ": out of memory");
        }
    }
    store.commit();
}

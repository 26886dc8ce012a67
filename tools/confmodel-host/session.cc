#include "session.h"

#include <new>

Dump Session::read(const std::string &path) const {
    LineReader in(path, settings_.limits);
    return read_dump(in);
}

const Module &Session::module() {
    if (module_.handle == nullptr) {
        std::string error = load_module(settings_.library.c_str(), module_);
        if (!error.empty()) throw Failure("confmodel-host: cannot load the module: " + error);
    }
    return module_;
}

void seed(Store &store, const Dump &dump) {
    for (const Record &record : dump.records) {
        if (record.table != Table::remote_device) continue;
        try {
            store.add(record);
        } catch (const std::bad_alloc &) {
            throw Failure(location(dump.name, record.line) + ": out of memory");
        }
    }
}

#include "commands.h"
#include "output/files.h"
#include "input/text.h"

#include <unistd.h>

#include <iostream>

int cmd_import(Session &session, const std::string &path, const std::string &source) {
    if (session.settings().read_only)
        throw Failure("confmodel-host: import writes a store, and --read-only forbids it");
    Dump dump = session.read(source);
    size_t devices = 0;
    const bool existed = access(path.c_str(), F_OK) == 0;
    try {
        Store store(path, Store::Open::create);
        store.begin();
        for (const Record &record : dump.records) {
            store.insert(record);
            devices += record.table == Table::remote_device;
        }
        store.commit();
    } catch (...) {
        // A store this run created is removed again: nothing half made stays.
        if (!existed)
            for (const char *suffix : {"", "-wal", "-shm", "-journal"})
                unlink((path + suffix).c_str());
        throw;
    }
    session.store_changed(escaped(path) + ": created");
    std::cout << escaped(path) << ": " << dump.records.size() - devices
              << " configuration records and " << devices << " remote devices from "
              << dump.name << "\n";
    return EXIT_OK;
}

int cmd_export(Session &session, const std::string &source) {
    Dump dump = session.read(source);
    write_dump("-", records_of(dump));
    return EXIT_OK;
}

#include "arguments.h"
#include "commands.h"
#include "input/text.h"
#include "output/files.h"
#include "store/history.h"

#include <iostream>
#include <memory>

namespace {

// A new store file holding a configuration: its records and remote devices.
int import_store(Session &session, const std::string &path, const std::string &source) {
    if (session.settings().read_only)
        throw Failure("confmodel-host: import writes a store, and --read-only forbids it");
    if (path == "-")
        throw Failure("confmodel-host: import: a store file is named by its path, and \"-\" is "
                      "standard input");
    // Built aside and moved into place whole, and only where nothing is:
    // a killed or losing import leaves no store, and removes nothing.
    NewFile file(path, NewFile::Mode::create);
    Dump dump = session.read(source);
    size_t devices = 0;
    {
        Store store(file.path(), Store::Open::create);
        store.begin();
        std::vector<RowWrite> writes;
        writes.reserve(dump.records.size());
        for (const Record &record : dump.records) {
            writes.push_back({nullptr, &record});
            devices += record.table == Table::remote_device;
        }
        write_logged(store, Dump{}, writes, Commit::now(session.settings().command), true);
        store.commit();
    }
    if (!file.commit())
        throw Failure(escaped(path) + ": created by another process meanwhile; nothing was imported");
    session.store_changed(escaped(path) + ": created");
    std::cout << escaped(path) << ": " << dump.records.size() - devices
              << " configuration records and " << devices << " remote devices from "
              << dump.name << "\n";
    return EXIT_OK;
}

} // namespace

CommandRun declare_import(CLI::App &command) {
    struct Options {
        std::string store, source;
    };
    auto o = std::make_shared<Options>();
    command.description(
        "create a store file holding a configuration: its records and remote devices");
    command.add_option("STORE", o->store, "the store file to create")->required();
    command.add_option("SOURCE", o->source, "the configuration")->required();
    example(command, "import device.db examples/device.jsonl");
    return [o](Session &session) { return import_store(session, o->store, o->source); };
}

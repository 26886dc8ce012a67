#include "arguments.h"
#include "commands.h"
#include "input/text.h"
#include "store/history.h"

#include <iostream>
#include <memory>

namespace {

// Confirms the commit that awaits confirmation: it stays. One whose
// deadline passed was rolled back already, by settle().
int confirm(Session &session, const std::string &path) {
    if (session.settings().read_only)
        throw Failure("confmodel-host: confirm writes to the store, and --read-only forbids it");
    session.need_log(path);
    session.settle(path);
    Store store(path, Store::Open::read_write, session.settings().wait_ms);
    store.begin();
    std::optional<Commit> awaiting;
    try {
        awaiting = awaiting_confirmation(store);
        if (awaiting) store.set_deadline(awaiting->seq, 0);
        store.commit();
    } catch (...) {
        store.rollback();
        throw;
    }
    if (!awaiting) {
        if (!session.changed().empty())
            throw Failure(escaped(path) + ": nothing left to confirm: its deadline had passed");
        std::cout << escaped(path) << ": no commit awaits confirmation\n";
        return EXIT_NO;
    }
    const std::string what = escaped(path) + ": commit " + std::to_string(awaiting->seq) + " confirmed";
    std::cout << what << "\n";
    session.store_changed(what);
    return EXIT_OK;
}

} // namespace

CommandRun declare_confirm(CLI::App &command) {
    auto store = std::make_shared<std::string>();
    command.description("confirm the commit of the store file that awaits confirmation (apply "
                        "--commit --confirm SECONDS), so that it is not rolled back");
    command.add_option("STORE", *store, "the store file")->required();
    example(command, "confirm device.db");
    return [store](Session &session) { return confirm(session, *store); };
}

#include "arguments.h"
#include "commands.h"
#include "input/text.h"
#include "running/services.h"
#include "serve/loop.h"

#include <grp.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <iostream>
#include <memory>
#include <thread>

namespace {

struct ServeOptions {
    std::string store, socket, group;
};

gid_t group_named(const std::string &name) {
    group entry{}, *found = nullptr;
    std::vector<char> buffer(16384);
    if (getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        throw Failure("confmodel-host serve: --group " + escaped(name) + ": no such group");
    return entry.gr_gid;
}

// Builds the model from the store, then follows it and answers on the
// socket until stopped.
int serve(Session &session, const ServeOptions &o) {
    if (session.settings().read_only)
        throw Failure("confmodel-host: serve writes to the store (DCBX flags, rollbacks at a deadline), "
                      "and --read-only forbids it");
    session.need_log(o.store);
    LoopOptions loop;
    loop.socket = o.socket;
    if (!o.group.empty()) loop.group = group_named(o.group);
    loop.command = session.settings().command;
    loop.wait_ms = session.settings().wait_ms;
    const Module &module = session.module();
    // A follower never waits on the store's lock: while a writer holds it,
    // the model answers, and the commit is taken once it lands.
    Follower follower(module, {o.store, session.settings().limits.max_line, 0});
    // The first fresh start waits for a writer as long as any command would.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(session.settings().wait_ms);
    for (;;) {
        try {
            follower.fresh_start("started");
            break;
        } catch (const Failure &) {
            if (std::chrono::steady_clock::now() >= give_up) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    services::use_system_log("confmodel-host");
    ServeState state{follower, module, o.socket, static_cast<int64_t>(time(nullptr)), 0, 0, std::nullopt};
    ::serve(state, loop, [&](const std::string &socket) {
        std::cerr << "confmodel-host: serving " << escaped(o.store) << " at commit " << follower.seq() << " on "
                  << escaped(socket) << "\n";
    });
    return EXIT_OK;
}

} // namespace

CommandRun declare_serve(CLI::App &command) {
    auto o = std::make_shared<ServeOptions>();
    command.description("run as the device's host: build the model from the store file, take each commit "
                        "into it as it lands, and answer lookups, show, dcbx, status and verify over a "
                        "Unix socket (docs/serve.md)");
    command.add_option("STORE", o->store, "the store file")->required();
    command.add_option("--socket", o->socket, "where to answer")->type_name("PATH")->required();
    command.add_option("--group", o->group, "share the socket with this group's members (else the owner's alone)")
        ->type_name("NAME");
    example(command, "serve device.db --socket /run/confmodel.sock");
    return [o](Session &session) { return serve(session, *o); };
}

#include "arguments.h"
#include "commands.h"
#include "serve/client.h"

#include <iostream>
#include <memory>

CommandRun declare_status(CLI::App &command) {
    struct Options {
        std::string socket;
        bool as_json = false;
    };
    auto o = std::make_shared<Options>();
    command.description("what a running host (serve) holds: the commit it took last and its cost, its "
                        "lists, a commit awaiting confirmation, its fresh starts and why");
    command.add_option("SOCKET", o->socket, "the running host's socket")->required();
    command.add_flag("--json", o->as_json, "as JSON");
    example(command, "status /run/confmodel.sock");
    return [o](Session &) {
        return ask(o->socket, {{"request", "status"}, {"form", o->as_json ? "json" : "text"}});
    };
}

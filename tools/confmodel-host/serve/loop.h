// The running host's one loop: it follows the store, answers requests on a
// Unix socket, and enforces the deadline of a commit awaiting confirmation,
// one event at a time, so that the module's calls never overlap (its lists
// take no locks). poll() on a handful of descriptors: the device's build has
// its C library and nothing else to wait with.
#ifndef CONFMODEL_HOST_SERVE_LOOP_H
#define CONFMODEL_HOST_SERVE_LOOP_H

#include "serve/requests.h"

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

struct LoopOptions {
    std::string socket;
    std::optional<gid_t> group; // shares the socket with its members
    size_t max_pending = size_t(1) << 20; // bytes of replies a client leaves unread before it is not read
    int stalled_ms = 10000;               // a client that reads nothing for so long, with replies waiting, is dropped
    std::string command;                  // as a rollback at a deadline logs it
    int wait_ms = 5000;                   // how long a dcbx request waits for a store another process holds
};

// Serves until SIGTERM or SIGINT: binds the socket (removing one left by a
// daemon that died, never another file), says `ready` once it answers, and
// removes the socket at the end. SIGHUP makes a fresh start. Throws Failure
// when it cannot start.
void serve(ServeState &state, const LoopOptions &options, const std::function<void(const std::string &)> &ready);

#endif

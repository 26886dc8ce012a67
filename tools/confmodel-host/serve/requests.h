// The requests a running host answers: one JSON object a line in, one a
// line out (docs/serve.md). Whatever a request holds, it gets a reply, and
// the host goes on.
#ifndef CONFMODEL_HOST_SERVE_REQUESTS_H
#define CONFMODEL_HOST_SERVE_REQUESTS_H

#include "serve/follower.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the requests read of the daemon besides its model.
struct ServeState {
    Follower &follower;
    const Module &module;
    std::string socket;
    int64_t started = 0;         // seconds since 1970
    size_t clients = 0;          // connected now
    uint64_t requests = 0;       // answered since the start
    std::optional<Commit> awaiting; // the commit awaiting confirmation, if one does
};

// The longest request line taken; a longer one is answered with an error.
constexpr size_t max_request = 64 * 1024;

// The reply to one request line, without its line feed. Never throws.
std::string answer_request(ServeState &state, std::string_view line);
// The reply to a line over max_request, which is not read.
std::string too_long_reply();
// The reply to a peer that may not ask.
std::string refused_reply(const std::string &why);

#endif

// The requests a running host answers: one JSON object a line in, one a
// line out, the command's output as raw bytes after the line where the
// request asks for it (docs/serve.md). Whatever a request holds, it gets a
// reply, and the host goes on.
#ifndef CONFMODEL_HOST_SERVE_REQUESTS_H
#define CONFMODEL_HOST_SERVE_REQUESTS_H

#include "output/document.h"
#include "serve/follower.h"
#include "serve/outbox.h"

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

// Appends the reply to one request line (without its line feed) to out: its
// line, and the raw bytes the line announces. Never throws. `fast` reads a
// line of the usual shape in place (read_request_in_place); false reads
// every line with the full parser, and answers a lookup as every other
// request (for tests, which compare the two). Where `may_hold`, a dcbx
// request that finds the store locked by another process is held: nothing
// is appended or written, and the line is to be given again later.
enum class Answer { given, held };
Answer answer_request(ServeState &state, std::string_view line, Outbox &out, bool fast = true,
                      bool may_hold = false);
// The reply to a line over max_request, which is not read.
std::string too_long_reply();
// The reply to a peer that may not ask.
std::string refused_reply(const std::string &why);

// A request line as the dispatcher reads it: the id, as the reply echoes it,
// and the members the requests take, each absent or of a type.
struct RequestValue {
    enum class Type : uint8_t { absent, null, integer, string, other } type = Type::absent;
    int64_t number = 0;    // an integer's value; INT64_MAX for any larger
    std::string_view text; // a string's, unescaped
    bool operator==(const RequestValue &o) const {
        return type == o.type && number == o.number && text == o.text;
    }
};
struct ParsedRequest {
    enum Member { request, form, port, vid, number, path, separator, action, device, expected, new_value, count };
    static const char *const names[count];
    enum class Shape : uint8_t { object, not_json, not_object } shape = Shape::object;
    std::string id = "null"; // JSON text
    RequestValue members[count];
    const RequestValue &operator[](Member m) const { return members[m]; }
};
// Reads a line of the usual shape without a tree: an object whose members
// are strings of printable ASCII without escapes, integers of up to 18
// digits, true, false or null, each member the requests take given once.
// False for any other line, which read_request() reads.
bool read_request_in_place(std::string_view line, ParsedRequest &out);
// Reads any line with nlohmann's parser into `tree`, which the views of
// `out` point into.
void read_request(std::string_view line, ParsedRequest &out, ojson &tree);

#endif

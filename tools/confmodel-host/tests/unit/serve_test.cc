// The running host's requests and replies, without a model: a request line
// read in place reads as the full parser reads it, and a client's outbox
// sends its replies whole and in order, a large one without moving it.
#include "serve/outbox.h"
#include "serve/requests.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

using Type = RequestValue::Type;

void expect_same(const ParsedRequest &a, const ParsedRequest &b, const std::string &line) {
    EXPECT_EQ(a.shape, b.shape) << line;
    EXPECT_EQ(a.id, b.id) << line;
    for (int m = 0; m < ParsedRequest::count; m++)
        EXPECT_TRUE(a.members[m] == b.members[m]) << line << ": " << ParsedRequest::names[m];
}

TEST(Requests, ReadInPlaceAsTheFullParserReads) {
    const char *const lines[] = {
        R"({"id":1,"request":"port","port":7})",
        R"(  { "id" : -0 , "request" : "vlan", "vid": -4094 , "form":"text"}	)",
        R"({"request":"portgroup","path":"/portgroups/uplink","id":"a b","form":null})",
        R"({"request":"xnetgroup","path":"/x/g","separator":"/g","id":true})",
        R"({"request":"dcbx","action":"test-and-set","device":1002,"expected":"true","new":"false","id":false})",
        R"({"request":"port","port":999999999999999999,"other":"x","other":null})",
        R"({"request":"port","port":"7"})",
        R"({})",
        R"({"id":null})",
        R"({"request":7,"form":true,"unknown":-12})",
        "{\"request\":\"status\"}\r",
    };
    for (const char *line : lines) {
        ParsedRequest fast, full;
        ojson tree;
        ASSERT_TRUE(read_request_in_place(line, fast)) << line;
        read_request(line, full, tree);
        expect_same(fast, full, line);
    }
    ParsedRequest r;
    ASSERT_TRUE(read_request_in_place(R"({"id":-12,"request":"port","port":7})", r));
    EXPECT_EQ(r.id, "-12");
    EXPECT_EQ(r[ParsedRequest::port].type, Type::integer);
    EXPECT_EQ(r[ParsedRequest::port].number, 7);
    EXPECT_EQ(r[ParsedRequest::request].text, "port");
    EXPECT_EQ(r[ParsedRequest::path].type, Type::absent);
}

TEST(Requests, OtherLinesAreTheFullParsers) {
    const char *const lines[] = {
        R"({"request":"port","port":7,"port":8})",            // a member twice
        R"({"id":1,"id":2,"request":"status"})",              // the id twice
        R"({"request":"port","port":1.5})",                   // a fraction
        R"({"request":"port","port":1e3})",                   // an exponent
        R"({"request":"port","port":07})",                    // a leading zero: no JSON
        R"({"request":"port","port":1234567890123456789})",   // 19 digits
        R"({"request":"p\u006frt","port":7})",                // an escape
        "{\"request\":\"port\",\"path\":\"/\xc3\xa9\"}",      // outside ASCII
        R"({"id":[1],"request":"status"})",                   // an array
        R"({"id":{"n":2},"request":"status"})",               // an object
        R"({"request":"status",})",                           // a trailing comma
        R"({"request":"status"} x)",                          // more after the object
        R"({"request":"status")",                             // cut short
        R"([1])",
        R"("status")",
        R"(nul)",
        "\xef\xbb\xbf{\"request\":\"status\"}",               // a byte-order mark
        "{\"request\":\"st\x01tus\"}",                        // a control character
    };
    for (const char *line : lines) {
        ParsedRequest fast;
        EXPECT_FALSE(read_request_in_place(line, fast)) << line;
    }
    ParsedRequest full;
    ojson tree;
    read_request(R"({"request":"port","port":18446744073709551615})", full, tree);
    EXPECT_EQ(full[ParsedRequest::port].number, INT64_MAX);
    read_request(R"({"request":"port","port":7,"port":"8"})", full, tree);
    EXPECT_EQ(full[ParsedRequest::port].type, Type::string); // the last counts, as ever
    read_request("[1]", full, tree);
    EXPECT_EQ(full.shape, ParsedRequest::Shape::not_object);
    read_request("{", full, tree);
    EXPECT_EQ(full.shape, ParsedRequest::Shape::not_json);
}

// Everything the outbox holds, read from the other end of a socket pair
// as it is sent.
std::string sent_through(Outbox &out) {
    int ends[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    fcntl(ends[0], F_SETFL, O_NONBLOCK);
    fcntl(ends[1], F_SETFL, O_NONBLOCK);
    std::string got;
    char buffer[65536]; // less than a chunk: sends stop part way through chunks
    while (out.pending() > 0) {
        const size_t before = out.pending();
        const ssize_t n = out.send_to(ends[0]);
        EXPECT_TRUE(n > 0 || errno == EAGAIN);
        if (n > 0) {
            EXPECT_EQ(out.pending(), before - static_cast<size_t>(n));
        }
        ssize_t r;
        while ((r = read(ends[1], buffer, sizeof buffer)) > 0)
            got.append(buffer, static_cast<size_t>(r));
    }
    close(ends[0]);
    close(ends[1]);
    return got;
}

TEST(Outbox, RepliesComeWholeAndInOrder) {
    Outbox out;
    std::string want;
    for (int i = 0; i < 3000; i++) {
        const std::string line = "reply " + std::to_string(i) + "\n";
        out.append(line);
        want += line;
        if (i % 700 == 0) {
            // A reply whose line comes once its output is written: small,
            // then large, past a chunk's worth.
            for (size_t size : {size_t(10), size_t(3) * Outbox::body_chunk + 17}) {
                Outbox::Rendering rendering(out);
                std::string body;
                for (size_t n = 0; body.size() < size; n++)
                    body += std::to_string(n) + ',';
                rendering.stream() << body << 'x';
                EXPECT_EQ(rendering.size(), body.size() + 1);
                const std::string head = "{\"bytes\":" + std::to_string(rendering.size()) + "}\n";
                rendering.keep(head);
                want += head + body + 'x';
            }
            out.append("after\n");
            want += "after\n";
        }
        EXPECT_EQ(out.pending(), want.size());
    }
    EXPECT_EQ(out.text(), want);
    EXPECT_EQ(sent_through(out), want);
    EXPECT_EQ(out.pending(), 0u);
    out.append("again\n");
    EXPECT_EQ(out.text(), "again\n");
}

TEST(Outbox, AFailedReplyLeavesNothing) {
    Outbox out;
    try {
        Outbox::Rendering rendering(out);
        rendering.stream() << "half";
        throw std::runtime_error("failed at once");
    } catch (const std::runtime_error &) {
    }
    EXPECT_EQ(out.pending(), 0u);
    EXPECT_EQ(out.text(), "");
    out.append("first\n");
    try {
        Outbox::Rendering rendering(out);
        rendering.stream() << std::string(Outbox::body_chunk * 2, 'y');
        throw std::runtime_error("failed half way");
    } catch (const std::runtime_error &) {
    }
    EXPECT_EQ(out.text(), "first\n");
    EXPECT_EQ(out.pending(), 6u);
    {
        Outbox::Rendering rendering(out);
        rendering.stream() << "body";
        rendering.keep("line\n");
    }
    out.append("next\n");
    EXPECT_EQ(out.text(), "first\nline\nbodynext\n");
    EXPECT_EQ(sent_through(out), "first\nline\nbodynext\n");
}

} // namespace

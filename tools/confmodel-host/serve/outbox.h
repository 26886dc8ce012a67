// What a client has yet to read: its replies, in order, kept in chunks that
// are sent as they stand, from an offset, and freed once sent. Small replies
// share a chunk; a large one is written into chunks of its own as it is
// made, so that it is neither moved nor copied on its way to the socket.
#ifndef CONFMODEL_HOST_SERVE_OUTBOX_H
#define CONFMODEL_HOST_SERVE_OUTBOX_H

#include <sys/types.h>

#include <cstddef>
#include <deque>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

class Outbox {
  public:
    Outbox() : chunks_(1) {}
    Outbox(const Outbox &) = delete;
    Outbox &operator=(const Outbox &) = delete;

    // Bytes queued and not sent yet.
    size_t pending() const { return before_tail_ + chunks_.back().size() - sent_; }
    // Appends text after everything queued.
    void append(std::string_view text) { tail() += text; }
    // The chunk text appended now goes to: a small reply may be built in it
    // directly, by appending.
    std::string &tail();

    // Sends what the socket takes now, as send() does: the bytes sent, or -1
    // and errno.
    ssize_t send_to(int fd);
    // Everything pending, as one text (for tests).
    std::string text() const;

    // A reply whose first line depends on what follows it (an exit status,
    // a count of bytes): what follows is written first, through stream(),
    // straight into the outbox, after everything queued; keep() then puts
    // the line before it. Unless kept, what was written is taken back when
    // the Rendering ends: the request failed half way.
    class Rendering : private std::streambuf {
      public:
        explicit Rendering(Outbox &out);
        ~Rendering() override;
        std::ostream &stream() { return stream_; }
        // The bytes written so far.
        size_t size() const { return size_; }
        // Puts the line before what was written, and keeps both; text
        // appended afterwards follows them.
        void keep(std::string_view line);

      private:
        std::streamsize xsputn(const char *text, std::streamsize n) override;
        int_type overflow(int_type c) override;

        Outbox &out_;
        size_t first_;        // the chunk what is written starts, at its beginning
        bool pushed_ = false; // a chunk of its own, after the tail
        size_t size_ = 0;
        bool kept_ = false;
        std::ostream stream_;
    };

    // Small replies share chunks up to this size; a large reply's chunks
    // hold up to body_chunk bytes each.
    static constexpr size_t small_chunk = size_t(64) << 10;
    static constexpr size_t body_chunk = size_t(1) << 20;

  private:
    void push_chunk(size_t reserve);
    void recount();

    std::deque<std::string> chunks_; // never empty: the last is the tail
    size_t sent_ = 0;                // of the first chunk
    size_t before_tail_ = 0;         // bytes in the chunks before the tail
};

#endif

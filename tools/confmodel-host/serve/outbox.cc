#include "serve/outbox.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>

std::string &Outbox::tail() {
    if (chunks_.back().size() >= small_chunk) push_chunk(0);
    return chunks_.back();
}

void Outbox::push_chunk(size_t reserve) {
    before_tail_ += chunks_.back().size();
    chunks_.emplace_back();
    if (reserve > 0) chunks_.back().reserve(reserve);
}

void Outbox::recount() {
    before_tail_ = 0;
    for (size_t i = 0; i + 1 < chunks_.size(); i++)
        before_tail_ += chunks_[i].size();
}

ssize_t Outbox::send_to(int fd) {
    iovec parts[64];
    size_t count = 0;
    for (size_t i = 0; i < chunks_.size() && count < sizeof parts / sizeof parts[0]; i++) {
        const std::string &chunk = chunks_[i];
        const size_t from = i == 0 ? sent_ : 0;
        if (chunk.size() > from) parts[count++] = {const_cast<char *>(chunk.data()) + from, chunk.size() - from};
    }
    if (count == 0) return 0;
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = count;
    const ssize_t n = sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n <= 0) return n;
    // Each chunk sent whole is freed; the last one is kept for what comes.
    size_t left = static_cast<size_t>(n);
    while (left > 0) {
        const size_t rest = chunks_.front().size() - sent_;
        if (left < rest) {
            sent_ += left;
            break;
        }
        left -= rest;
        sent_ = 0;
        if (chunks_.size() > 1) {
            before_tail_ -= chunks_.front().size();
            chunks_.pop_front();
        } else {
            std::string &only = chunks_.front();
            only.clear();
            if (only.capacity() > 2 * small_chunk) std::string().swap(only);
        }
    }
    return n;
}

std::string Outbox::text() const {
    std::string out;
    for (size_t i = 0; i < chunks_.size(); i++)
        out.append(chunks_[i], i == 0 ? sent_ : 0);
    return out;
}

Outbox::Rendering::Rendering(Outbox &out) : out_(out), stream_(this) {
    // What is written starts a chunk, so that a line can be put before it
    // without moving it.
    pushed_ = !out_.chunks_.back().empty();
    if (pushed_) out_.push_chunk(0);
    first_ = out_.chunks_.size() - 1;
    stream_.exceptions(std::ios::badbit); // a failed write fails the request
}

Outbox::Rendering::~Rendering() {
    if (kept_) return;
    out_.chunks_.resize(first_ + 1);
    if (pushed_)
        out_.chunks_.pop_back();
    else
        out_.chunks_.back().clear();
    out_.recount();
}

std::streamsize Outbox::Rendering::xsputn(const char *text, std::streamsize n) {
    size_t left = static_cast<size_t>(n);
    while (left > 0) {
        std::string &chunk = out_.chunks_.back();
        // A chunk grows to body_chunk bytes; past that, a new one is filled
        // to its reserve, never moved.
        const size_t room = std::max(chunk.capacity(), body_chunk) - chunk.size();
        if (room == 0) {
            out_.push_chunk(body_chunk);
            continue;
        }
        const size_t part = std::min(room, left);
        chunk.append(text, part);
        text += part;
        left -= part;
        size_ += part;
    }
    return n;
}

Outbox::Rendering::int_type Outbox::Rendering::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    xsputn(&ch, 1);
    return c;
}

void Outbox::Rendering::keep(std::string_view line) {
    std::deque<std::string> &chunks = out_.chunks_;
    std::string &first = chunks[first_];
    if (first_ + 1 == chunks.size() && first.size() <= small_chunk) {
        // A small reply: the line goes before it in its chunk, and the whole
        // joins the chunk before when that has room.
        first.insert(0, line);
        if (first_ > 0 && chunks[first_ - 1].size() + first.size() <= small_chunk) {
            chunks[first_ - 1] += first;
            chunks.pop_back();
        }
    } else {
        chunks.insert(chunks.begin() + static_cast<std::ptrdiff_t>(first_), std::string(line));
    }
    out_.recount();
    kept_ = true;
}

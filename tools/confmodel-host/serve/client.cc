#include "serve/client.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include "input/failure.h"
#include "input/text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <iostream>

bool is_socket(const std::string &path) {
    struct stat file {};
    return stat(path.c_str(), &file) == 0 && S_ISSOCK(file.st_mode);
}

namespace {

using Fail = std::function<Failure(const std::string &)>;

// A descriptor closed with its owner.
struct Closer {
    int fd = -1;
    ~Closer() {
        if (fd >= 0) close(fd);
    }
};

// Waits until `to` takes more: an output left non-blocking by whoever
// opened it says EAGAIN when full.
bool wait_for_room(int to) {
    if (errno != EAGAIN) return false;
    pollfd room{to, POLLOUT, 0};
    return poll(&room, 1, -1) >= 0 || errno == EINTR;
}

void write_all(int to, const char *data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(to, data, size);
        if (n < 0 && (errno == EINTR || wait_for_room(to))) continue;
        if (n < 0) throw Failure(std::string("cannot write the output: ") + strerror(errno));
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// Reads up to size bytes of the reply; none is an error.
size_t read_some(int from, char *buffer, size_t size, const Fail &fail) {
    for (;;) {
        const ssize_t n = read(from, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw fail(std::string("cannot read the reply: ") + strerror(errno));
        if (n == 0) throw fail("the running host closed the connection without a whole reply");
        return static_cast<size_t>(n);
    }
}

void copy_by_reading(int from, int to, size_t left, const Fail &fail) {
    std::string buffer(std::min<size_t>(left, size_t(1) << 20), '\0');
    while (left > 0) {
        const size_t n = read_some(from, buffer.data(), std::min(left, buffer.size()), fail);
        write_all(to, buffer.data(), n);
        left -= n;
    }
}

// Moves up to size bytes from one descriptor to another inside the kernel:
// what splice() moves (0 at the end of the input), or -1 with errno.
ssize_t move_bytes(int from, int to, size_t size) {
    for (;;) {
        const ssize_t n = splice(from, nullptr, to, nullptr, size, SPLICE_F_MOVE | SPLICE_F_MORE);
        if (n >= 0 || (errno != EINTR && !wait_for_room(to))) return n;
    }
}

// Copies the left bytes of the reply from the socket to `to`: spliced,
// without passing through this process, into a pipe, or through one into
// a file or a device that takes it; read and written otherwise.
void copy_output(int from, int to, size_t left, const Fail &fail) {
    struct stat target {};
    if (left == 0) return;
    if (fstat(to, &target) == 0 && S_ISFIFO(target.st_mode)) {
        while (left > 0) {
            const ssize_t n = move_bytes(from, to, left);
            if (n < 0 && errno == EINVAL) break; // a pipe that takes nothing spliced
            if (n < 0) throw fail(std::string("cannot read the reply: ") + strerror(errno));
            if (n == 0) throw fail("the running host closed the connection without a whole reply");
            left -= static_cast<size_t>(n);
        }
        return copy_by_reading(from, to, left, fail);
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return copy_by_reading(from, to, left, fail);
    Closer out_end{ends[0]}, in_end{ends[1]};
    const int size = fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
    const size_t room = size > 0 ? static_cast<size_t>(size) : size_t(1) << 16;
    while (left > 0) {
        const ssize_t n = move_bytes(from, ends[1], std::min(left, room));
        if (n < 0 && errno == EINVAL) break; // a socket that gives nothing spliced
        if (n < 0) throw fail(std::string("cannot read the reply: ") + strerror(errno));
        if (n == 0) throw fail("the running host closed the connection without a whole reply");
        left -= static_cast<size_t>(n);
        for (size_t held = static_cast<size_t>(n); held > 0;) {
            const ssize_t m = move_bytes(ends[0], to, held);
            if (m < 0 && errno == EINVAL) {
                // The output takes nothing spliced: what the pipe holds is
                // read out of it, and the rest read from the socket.
                copy_by_reading(ends[0], to, held, fail);
                return copy_by_reading(from, to, left, fail);
            }
            if (m <= 0) throw Failure(std::string("cannot write the output: ") + strerror(m < 0 ? errno : EIO));
            held -= static_cast<size_t>(m);
        }
    }
    copy_by_reading(from, to, left, fail);
}

} // namespace

int ask(const std::string &socket_path, ojson request, int out) {
    const Fail fail = [&](const std::string &why) { return Failure(escaped(socket_path) + ": " + why); };
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_path.size() >= sizeof address.sun_path) throw fail("too long a path for a socket");
    memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    Closer connection{socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    const int fd = connection.fd;
    if (fd < 0) throw fail(strerror(errno));
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        throw fail(std::string("no running host answers: ") + strerror(errno));
    request["id"] = 1;
    const std::string line = json_text(request, -1) + "\n";
    for (size_t sent = 0; sent < line.size();) {
        const ssize_t n = send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw fail(std::string("cannot send the request: ") + strerror(errno));
        sent += static_cast<size_t>(n);
    }
    // The reply's line, and whatever of its output came with it.
    std::string reply;
    size_t end;
    char buffer[65536];
    while ((end = reply.find('\n', reply.size() >= sizeof buffer ? reply.size() - sizeof buffer : 0)) ==
           std::string::npos)
        reply.append(buffer, read_some(fd, buffer, sizeof buffer, fail));
    const ojson answer = ojson::parse(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(end), nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) throw fail("the running host's reply is not JSON");
    if (answer.value("ok", false) != true) {
        const ojson error = answer.value("error", ojson::object());
        throw fail(error.value("message", std::string("refused")));
    }
    const ojson bytes = answer.value("bytes", ojson());
    if (!bytes.is_number_unsigned()) throw fail("the running host's reply says no size of its output");
    const size_t size = bytes.get<size_t>(), came = reply.size() - end - 1;
    if (came > size) throw fail("the running host's reply is longer than it says");
    std::cout.flush();
    write_all(out, reply.data() + end + 1, came);
    copy_output(fd, out, size - came, fail);
    return answer.value("exit", 2);
}

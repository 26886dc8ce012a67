#include "serve/client.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "input/failure.h"
#include "input/text.h"

#include <cerrno>
#include <cstring>

bool is_socket(const std::string &path) {
    struct stat file {};
    return stat(path.c_str(), &file) == 0 && S_ISSOCK(file.st_mode);
}

Answer ask(const std::string &socket_path, ojson request) {
    auto fail = [&](const std::string &why) { return Failure(escaped(socket_path) + ": " + why); };
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_path.size() >= sizeof address.sun_path) throw fail("too long a path for a socket");
    memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw fail(strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
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
    std::string reply;
    char buffer[65536];
    for (;;) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw fail(std::string("cannot read the reply: ") + strerror(errno));
        if (n == 0) throw fail("the running host closed the connection without a whole reply");
        reply.append(buffer, static_cast<size_t>(n));
        if (reply.back() == '\n') break;
    }
    const ojson answer = ojson::parse(reply, nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) throw fail("the running host's reply is not JSON");
    if (answer.value("ok", false) != true) {
        const ojson error = answer.value("error", ojson::object());
        throw fail(error.value("message", std::string("refused")));
    }
    return {answer.value("output", std::string()), answer.value("exit", 2)};
}

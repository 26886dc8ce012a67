/* The floor of the running host's lookups (bench/host/serve.py): a server on
 * a Unix stream socket that answers every request line with the same reply
 * bytes, read from a file, and does nothing else:
 *
 *   confmodel_host_echo SOCKET REPLY_FILE
 *
 * One thread and one poll loop over non-blocking sockets, as confmodel-host
 * serve has, so that what separates the two is the work of answering. Stops
 * on SIGTERM or SIGINT and removes its socket. */
#define _GNU_SOURCE /* accept4 */
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#define MAX_CLIENTS 64
/* As the running host: no more is read from a client while this much of its
 * replies waits. */
#define MAX_PENDING (1 << 20)

struct client {
    int fd;
    char *out;
    size_t start, end, size;
};

static volatile sig_atomic_t stopping;

static void stop(int signal) {
    (void)signal;
    stopping = 1;
}

static void die(const char *what) {
    perror(what);
    exit(1);
}

static void drop(struct client *c) {
    close(c->fd);
    free(c->out);
    memset(c, 0, sizeof *c);
    c->fd = -1;
}

static void queue(struct client *c, const char *reply, size_t length, size_t count) {
    if (c->end + length * count > c->size) {
        memmove(c->out, c->out + c->start, c->end - c->start);
        c->end -= c->start;
        c->start = 0;
        while (c->end + length * count > c->size)
            c->size = c->size ? c->size * 2 : 65536;
        c->out = realloc(c->out, c->size);
        if (c->out == NULL) die("realloc");
    }
    for (size_t i = 0; i < count; i++, c->end += length)
        memcpy(c->out + c->end, reply, length);
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fputs("usage: confmodel_host_echo SOCKET REPLY_FILE\n", stderr);
        return 2;
    }
    FILE *file = fopen(argv[2], "rb");
    if (file == NULL) die(argv[2]);
    static char reply[65536];
    const size_t length = fread(reply, 1, sizeof reply, file);
    fclose(file);
    if (length == 0 || reply[length - 1] != '\n') {
        fprintf(stderr, "%s: one reply line, ending in a newline\n", argv[2]);
        return 2;
    }

    struct sockaddr_un address = {.sun_family = AF_UNIX};
    if (strlen(argv[1]) >= sizeof address.sun_path) {
        fprintf(stderr, "%s: too long a path for a socket\n", argv[1]);
        return 2;
    }
    strcpy(address.sun_path, argv[1]);
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener < 0) die("socket");
    unlink(argv[1]);
    if (bind(listener, (struct sockaddr *)&address, sizeof address) != 0 || listen(listener, SOMAXCONN) != 0)
        die(argv[1]);
    signal(SIGTERM, stop);
    signal(SIGINT, stop);
    signal(SIGPIPE, SIG_IGN);

    struct client clients[MAX_CLIENTS];
    for (int i = 0; i < MAX_CLIENTS; i++)
        clients[i] = (struct client){.fd = -1};
    static char in[65536];
    while (!stopping) {
        struct pollfd fds[MAX_CLIENTS + 1] = {{.fd = listener, .events = POLLIN}};
        for (int i = 0; i < MAX_CLIENTS; i++) {
            struct client *c = &clients[i];
            fds[i + 1].fd = c->fd;
            fds[i + 1].events = (short)((c->end - c->start < MAX_PENDING ? POLLIN : 0) |
                                        (c->end > c->start ? POLLOUT : 0));
        }
        if (poll(fds, MAX_CLIENTS + 1, -1) < 0) {
            if (errno == EINTR) continue;
            die("poll");
        }
        if (fds[0].revents != 0) {
            int fd;
            while ((fd = accept4(listener, NULL, NULL, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
                int i = 0;
                while (i < MAX_CLIENTS && clients[i].fd >= 0)
                    i++;
                if (i == MAX_CLIENTS) {
                    close(fd);
                    continue;
                }
                clients[i].fd = fd;
            }
        }
        for (int i = 0; i < MAX_CLIENTS; i++) {
            struct client *c = &clients[i];
            if (c->fd < 0 || fds[i + 1].revents == 0) continue;
            if (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = recv(c->fd, in, sizeof in, 0);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                    drop(c);
                    continue;
                }
                /* A request is a line: its reply goes once the line is whole. */
                size_t lines = 0;
                for (const char *p = in; n > 0 && (p = memchr(p, '\n', (size_t)(in + n - p))) != NULL; p++)
                    lines++;
                queue(c, reply, length, lines);
            }
            if (c->end > c->start) {
                const ssize_t n = send(c->fd, c->out + c->start, c->end - c->start, MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) {
                    c->start += (size_t)n;
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    drop(c);
                }
            }
        }
    }
    unlink(argv[1]);
    return 0;
}

#include "serve/loop.h"

#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "input/text.h"
#include "running/services.h"
#include "serve/notify.h"
#include "store/history.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <syslog.h>
#include <vector>

namespace {

int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string system_error(const std::string &what) {
    return what + ": " + strerror(errno);
}

// A descriptor closed with its owner.
struct Fd {
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) {}
    ~Fd() {
        if (fd >= 0) close(fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
};

// A wait before trying again: 10 ms, doubled at each try up to a ceiling.
class Backoff {
  public:
    explicit Backoff(int ceiling_ms) : ceiling_ms_(ceiling_ms) {}
    int next() {
        const int ms = next_ms_;
        next_ms_ = std::min(next_ms_ * 2, ceiling_ms_);
        return ms;
    }
    void reset() { next_ms_ = 10; }

  private:
    int ceiling_ms_, next_ms_ = 10;
};

struct Client {
    Fd fd;
    std::string in;
    Outbox out;            // its replies, sent from an offset as it reads them
    size_t pending() const { return out.pending(); }
    bool skipping = false; // the rest of a line over the limit
    bool eof = false;      // the peer sends nothing more
    int64_t stalled_since = 0;
    // A dcbx request waiting for the store's lock, and the lines after it:
    // since when, when it is tried again, and how long it waits after that.
    int64_t held_since = 0, held_until = 0;
    Backoff hold{200};
    explicit Client(int f) : fd(f) {}
};

// Whether a peer may ask: the daemon's own user, or a member of the group
// it shares the socket with.
bool allowed(const ucred &peer, const std::optional<gid_t> &group) {
    if (peer.uid == geteuid()) return true;
    if (!group) return false;
    if (peer.gid == *group) return true;
    passwd entry{}, *found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(peer.uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        return false;
    int count = 64;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    if (getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<size_t>(count));
        if (getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) < 0) return false;
    }
    groups.resize(static_cast<size_t>(count));
    return std::find(groups.begin(), groups.end(), *group) != groups.end();
}

class Loop {
  public:
    Loop(ServeState &state, const LoopOptions &options) : state_(state), options_(options) {}
    ~Loop() { remove_socket(); }

    void start() {
        raise_descriptor_limit();
        watch_signals();
        watch_store();
        bind_socket();
        update_awaiting();
    }

    void run() {
        while (!stopping_) {
            std::vector<pollfd> fds = {{listener_.fd, short(accepting_ ? POLLIN : 0), 0},
                                       {inotify_.fd, POLLIN, 0},
                                       {signals_.fd, POLLIN, 0}};
            std::vector<Client *> polled;
            for (auto &c : clients_) {
                short events = 0;
                if (!c->eof && c->pending() < options_.max_pending) events |= POLLIN;
                if (c->pending() > 0) events |= POLLOUT;
                fds.push_back({c->fd.fd, events, 0});
                polled.push_back(c.get());
            }
            if (poll(fds.data(), fds.size(), timeout_ms()) < 0) {
                if (errno == EINTR) continue;
                throw Failure(system_error("confmodel-host serve: poll"));
            }
            if (fds[2].revents != 0) take_signals();
            if (fds[1].revents != 0) take_store_events();
            const int64_t now = now_ms();
            if (retry_at_ != 0 && now >= retry_at_) follow();
            if (state_.awaiting && state_.awaiting->deadline <= time(nullptr) && now >= retry_at_) roll_back_overdue_commit();
            if (!accepting_ && now >= accept_again_at_) accepting_ = true;
            if (fds[0].revents != 0) accept_clients();
            for (size_t i = 0; i < polled.size(); i++)
                serve_client(*polled[i], fds[3 + i].revents, now);
            writer_done_ = false;
            clients_.remove_if([](const std::unique_ptr<Client> &c) { return c->fd.fd < 0; });
            state_.clients = clients_.size();
        }
    }

  private:
    static void raise_descriptor_limit() {
        rlimit limit{};
        if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
            limit.rlim_cur = limit.rlim_max;
            setrlimit(RLIMIT_NOFILE, &limit);
        }
    }

    void watch_signals() {
        sigset_t set;
        sigemptyset(&set);
        for (int s : {SIGTERM, SIGINT, SIGHUP})
            sigaddset(&set, s);
        sigprocmask(SIG_BLOCK, &set, nullptr);
        signal(SIGPIPE, SIG_IGN);
        signals_.fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
        if (signals_.fd < 0) throw Failure(system_error("confmodel-host serve: signalfd"));
    }

    // The store's folder: a commit creates, writes and removes the store's
    // journal beside it, and a replaced store is moved or created there.
    void watch_store() {
        const std::string &path = state_.follower.path();
        const size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        store_name_ = slash == std::string::npos ? path : path.substr(slash + 1);
        journal_name_ = store_name_ + "-journal";
        wal_name_ = store_name_ + "-wal";
        folder_ = folder;
        inotify_.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotify_.fd < 0) throw Failure(system_error("confmodel-host serve: inotify"));
        if (inotify_add_watch(inotify_.fd, folder.c_str(), IN_MODIFY | quiet_events) < 0)
            throw Failure(system_error(escaped(folder)));
    }

    // While a writer's journal stands, each of its writes would wake the
    // host for nothing: the commit lands when the journal goes. A commit of
    // ten records writes the store and its journal a dozen times. A writer
    // closing the store says nothing its writes did not (each program that
    // commits opens and closes it more than once).
    static constexpr uint32_t quiet_events = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB;
    void hear_writes(bool hear) {
        if (hear == hearing_writes_) return;
        // Should the folder be gone, the watch as it was still says so.
        if (inotify_add_watch(inotify_.fd, folder_.c_str(), hear ? IN_MODIFY | quiet_events : quiet_events) >= 0)
            hearing_writes_ = hear;
    }

    void bind_socket() {
        const std::string &path = options_.socket;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.empty() || path.size() >= sizeof address.sun_path)
            throw Failure(escaped(path) + ": a socket's path is 1 to " + std::to_string(sizeof address.sun_path - 1) +
                          " bytes long");
        memcpy(address.sun_path, path.c_str(), path.size() + 1);
        struct stat existing {};
        if (lstat(path.c_str(), &existing) == 0) {
            if (!S_ISSOCK(existing.st_mode))
                throw Failure(escaped(path) + ": exists and is not a socket: not replaced");
            Fd probe(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
            if (connect(probe.fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
                throw Failure(escaped(path) + ": a running host answers there already");
            // Left by a host that died: nothing listens on it.
            if (errno != ECONNREFUSED || unlink(path.c_str()) != 0)
                throw Failure(system_error(escaped(path)));
        }
        listener_.fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (listener_.fd < 0) throw Failure(system_error("confmodel-host serve: socket"));
        // Born the owner's alone; shared with a group only once that is set.
        const mode_t mask = umask(0177);
        const int bound = bind(listener_.fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        umask(mask);
        if (bound != 0) throw Failure(system_error(escaped(path)));
        struct stat made {};
        lstat(path.c_str(), &made);
        socket_inode_ = made.st_ino;
        if (options_.group &&
            (chown(path.c_str(), static_cast<uid_t>(-1), *options_.group) != 0 || chmod(path.c_str(), 0660) != 0))
            throw Failure(system_error(escaped(path)));
        if (listen(listener_.fd, SOMAXCONN) != 0) throw Failure(system_error(escaped(path)));
    }

    // The socket, when it is still the one this host made.
    void remove_socket() {
        struct stat now {};
        if (socket_inode_ != 0 && lstat(options_.socket.c_str(), &now) == 0 && now.st_ino == socket_inode_ &&
            S_ISSOCK(now.st_mode))
            unlink(options_.socket.c_str());
    }

    int timeout_ms() const {
        int64_t until = -1;
        const int64_t now = now_ms();
        auto sooner = [&](int64_t at) {
            const int64_t wait = std::max<int64_t>(0, at - now);
            until = until < 0 ? wait : std::min(until, wait);
        };
        if (retry_at_ != 0) sooner(retry_at_);
        if (state_.awaiting) sooner(now + std::max<int64_t>(0, state_.awaiting->deadline - time(nullptr)) * 1000);
        if (!accepting_) sooner(accept_again_at_);
        for (const auto &c : clients_) {
            if (c->stalled_since != 0) sooner(c->stalled_since + options_.stalled_ms);
            if (c->held_since != 0) sooner(c->held_until);
        }
        return static_cast<int>(std::min<int64_t>(until, 60000));
    }

    void take_signals() {
        signalfd_siginfo info{};
        while (read(signals_.fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            if (info.ssi_signo == SIGHUP) {
                fresh_start("SIGHUP");
            } else {
                syslog(LOG_INFO, "stopping on %s", info.ssi_signo == SIGTERM ? "SIGTERM" : "SIGINT");
                stopping_ = true;
            }
        }
    }

    static constexpr int64_t journal_wait_ms = 100;

    void take_store_events() {
        alignas(inotify_event) char buffer[8192];
        bool ours = false;
        ssize_t n;
        while ((n = read(inotify_.fd, buffer, sizeof buffer)) > 0)
            for (char *p = buffer; p < buffer + n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(p);
                const std::string_view name = event->len > 0 ? event->name : "";
                ours = ours || name == store_name_ || name == journal_name_ || name == wal_name_ ||
                       (event->mask & IN_Q_OVERFLOW) != 0;
                p += sizeof(inotify_event) + event->len;
            }
        if (!ours) return;
        // A writer's journal stands beside the store from its first write
        // to its commit, which removes it: a commit in progress is looked at
        // when it lands, or soon, should its writer have died and left it.
        struct stat journal {};
        const bool writing = stat((state_.follower.path() + "-journal").c_str(), &journal) == 0;
        hear_writes(!writing);
        if (writing) {
            if (retry_at_ == 0) retry_at_ = now_ms() + journal_wait_ms;
            return;
        }
        writer_done_ = true;
        follow();
    }

    // Takes what was committed; a store that cannot be read now (a writer
    // holds it) is looked at again soon, and the model answers meanwhile.
    void follow() {
        try {
            const Follower::Followed followed = state_.follower.follow();
            retry_.reset();
            retry_at_ = 0;
            if (followed == Follower::Followed::taken) {
                const Follower::Cost &c = state_.follower.last_commit();
                syslog(LOG_INFO, "commit %lld taken: %zu rows, %zu entries released and %zu created, in %lld us of CPU",
                       static_cast<long long>(c.seq), c.rows, c.released, c.created, static_cast<long long>(c.cpu_us));
            } else if (followed == Follower::Followed::fresh_start) {
                said_fresh_start();
            }
            if (followed != Follower::Followed::nothing) {
                update_awaiting();
                notify_status(state_);
            }
        } catch (const std::exception &e) {
            retry_at_ = now_ms() + retry_.next();
        }
    }

    void fresh_start(const std::string &why) {
        try {
            state_.follower.fresh_start(why);
            said_fresh_start();
            update_awaiting();
            notify_status(state_);
        } catch (const std::exception &e) {
            syslog(LOG_ERR, "fresh start (%s) failed, the model stays as it was: %s", why.c_str(), e.what());
        }
    }

    void said_fresh_start() {
        const Follower::Start &start = state_.follower.fresh_starts().back();
        syslog(LOG_NOTICE, "fresh start at commit %lld: %s, in %lld us of CPU", static_cast<long long>(state_.follower.seq()),
               start.why.c_str(), static_cast<long long>(start.cpu_us));
    }

    void update_awaiting() { state_.awaiting = state_.follower.awaiting(); }

    void roll_back_overdue_commit() {
        try {
            if (std::optional<std::string> done = roll_back_overdue(
                    state_.follower.store(), state_.follower.max_row(), "by " + options_.command + " at its deadline"))
                syslog(LOG_NOTICE, "%s", done->c_str());
            state_.follower.wrote();
            follow();
            update_awaiting();
        } catch (const std::exception &e) {
            // Locked by a writer: tried again with the next look at the store.
            retry_at_ = now_ms() + retry_.next();
        }
    }

    void accept_clients() {
        for (;;) {
            const int fd = accept4(listener_.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EMFILE || errno == ENFILE) {
                    // Out of descriptors: the backlog waits a little.
                    accepting_ = false;
                    accept_again_at_ = now_ms() + 100;
                }
                return;
            }
            auto client = std::make_unique<Client>(fd);
            ucred peer{};
            socklen_t size = sizeof peer;
            if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || !allowed(peer, options_.group)) {
                const std::string reply = refused_reply("user " + std::to_string(peer.uid) +
                                                        " may not ask this host") + "\n";
                (void)!send(fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                continue;
            }
            clients_.push_back(std::move(client));
        }
    }

    void serve_client(Client &c, short revents, int64_t now) {
        if (c.fd.fd < 0) return;
        if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !c.eof) read_from(c);
        // Replies written make room for the requests read already: they are
        // answered now, as no event would come for them.
        do {
            answer_lines(c, now);
            if (c.pending() > 0 && c.fd.fd >= 0) write_to(c, now);
        } while (c.fd.fd >= 0 && c.held_since == 0 && c.pending() < options_.max_pending &&
                 c.in.find('\n') != std::string::npos);
        if (c.fd.fd >= 0 && c.pending() == 0) {
            c.stalled_since = 0;
            if (c.eof && c.held_since == 0) drop(c);
        }
        if (c.fd.fd >= 0 && c.stalled_since != 0 && now - c.stalled_since >= options_.stalled_ms) {
            syslog(LOG_NOTICE, "a client read nothing of %zu bytes for %d ms: dropped", c.pending(),
                   options_.stalled_ms);
            drop(c);
        }
    }

    static void drop(Client &c) {
        close(c.fd.fd);
        c.fd.fd = -1;
    }

    static void read_from(Client &c) {
        char buffer[65536];
        const ssize_t n = recv(c.fd.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            c.in.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            c.eof = true;
        }
    }

    // Each whole line gets its reply, while the client reads what it was
    // given; a line over the limit gets an error, and is passed over. A
    // request held for the store's lock, and the lines after it, wait: tried
    // again when the store's folder says a writer is done, or after 10 ms,
    // then up to every 200 ms, until --wait has passed.
    void answer_lines(Client &c, int64_t now) {
        if (c.held_since != 0 && now < c.held_until && !writer_done_) return;
        size_t start = 0;
        while (c.pending() < options_.max_pending) {
            const size_t end = c.in.find('\n', start);
            if (end == std::string::npos) break;
            std::string_view line(c.in.data() + start, end - start);
            start = end + 1;
            if (c.skipping) {
                c.skipping = false;
                continue;
            }
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
            if (line.size() > max_request) {
                c.out.append(too_long_reply() + "\n");
                continue;
            }
            const bool may_hold = c.held_since == 0 || now - c.held_since < options_.wait_ms;
            if (answer_request(state_, line, c.out, true, may_hold) == Answer::held) {
                if (c.held_since == 0) {
                    c.held_since = now;
                    c.hold.reset();
                }
                c.held_until = std::min(now + c.hold.next(), c.held_since + options_.wait_ms);
                start = static_cast<size_t>(line.data() - c.in.data());
                break;
            }
            c.held_since = 0;
        }
        c.in.erase(0, start);
        if (c.in.size() > max_request && c.in.find('\n') == std::string::npos) {
            if (!c.skipping) c.out.append(too_long_reply() + "\n");
            c.skipping = true;
            c.in.clear();
        }
    }

    void write_to(Client &c, int64_t now) {
        const ssize_t n = c.out.send_to(c.fd.fd);
        if (n > 0) {
            c.stalled_since = c.pending() == 0 ? 0 : now;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            drop(c);
        } else if (c.stalled_since == 0) {
            c.stalled_since = now;
        }
    }

    ServeState &state_;
    const LoopOptions &options_;
    Fd listener_, inotify_, signals_;
    std::string store_name_, journal_name_, wal_name_;
    ino_t socket_inode_ = 0;
    std::list<std::unique_ptr<Client>> clients_;
    bool stopping_ = false, accepting_ = true;
    int64_t accept_again_at_ = 0, retry_at_ = 0;
    std::string folder_;
    bool hearing_writes_ = true;
    bool writer_done_ = false; // this turn: a commit landed, or the store moved, without a journal left
    Backoff retry_{1000}; // of a look at the store that found it locked
};

} // namespace

void serve(ServeState &state, const LoopOptions &options, const std::function<void(const std::string &)> &ready) {
    Loop loop(state, options);
    loop.start();
    ready(options.socket);
    notify_ready(state);
    loop.run();
}

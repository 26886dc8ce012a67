// What the SQLite store needs of its file beyond SQLite: how a caller waits
// for a lock, one descriptor per file in the process with a fair queue for
// its locks, and private copies that show what a file would be once a killed
// writer's journal were rolled back, without touching it. Host code, C++.
#ifndef CONFMODEL_HOST_STORE_STOREFILE_H
#define CONFMODEL_HOST_STORE_STOREFILE_H

#include <sys/types.h>

#include <chrono>
#include <string>

namespace storefile {

// How long a caller waits for the locks of one step (a transaction's start,
// a statement): one deadline for all of them, SQLite's own and the queue's,
// in naps of 50 to 800 microseconds. SQLite's own handler naps up to 100 ms,
// so under contention the lock sat free while its waiters slept.
class Waiter {
  public:
    explicit Waiter(int timeout_ms) : timeout_ms_(timeout_ms) {}
    void set_timeout(int milliseconds) { timeout_ms_ = milliseconds; }
    // The step's deadline starts; the locks it takes until finish() share it.
    void start();
    void finish() { running_ = false; }
    // Naps once, false when the deadline has passed. A first try outside a
    // step starts a deadline of its own.
    bool nap(int tries);
    // sqlite3_busy_handler's callback; waiter is a Waiter.
    static int busy(void *waiter, int tries);

  private:
    int timeout_ms_;
    bool running_ = false;
    std::chrono::steady_clock::time_point deadline_;
};

// A store file as this process holds it: a descriptor shared by every File
// on the same file (closing one of a file's descriptors would drop the
// locks SQLite holds on it through another), and the queue before SQLite's
// locks.
//
// The queue is two locks on bytes of the file past those SQLite locks, held
// by open file description: the entry and the turn. A caller takes the
// entry, then the turn (exclusive to write, shared to read), then lets the
// entry go. Whoever holds the entry is next: the one holding the turn cannot
// take it again before it, however fast it commits. Readers share the turn.
// A file this process cannot open for writing has no queue: nothing here
// writes it, and SQLite's locks alone serve its readers.
class File {
  public:
    File() = default;
    ~File();
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    // Opens path, or shares the descriptor this process has for it: empty
    // on success, else the reason ("not a regular file", the system's).
    std::string open(const char *path);
    int descriptor() const { return fd_; }
    dev_t device() const { return device_; }
    ino_t inode() const { return inode_; }

    // Waits in the queue for a turn, to write or to read; false at the
    // waiter's deadline. Each enter() that succeeds is paired with leave().
    bool enter(bool write, Waiter &waiter);
    void leave();

  private:
    int fd_ = -1;
    bool queued_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// A copy of a store file and of the journal or WAL beside it, in a private
// folder removed with it: opened read-write, SQLite recovers the copy, and
// shows what the file holds once recovered, the original untouched.
class RecoveredCopy {
  public:
    ~RecoveredCopy();
    // Copies what lies beside path (first, as a writer removes its journal
    // only once the file is whole), then the file through its descriptor:
    // empty on success, else the reason.
    std::string make(const char *path, const File &file);
    const std::string &path() const { return path_; }

  private:
    std::string folder_, path_;
};

} // namespace storefile

#endif

#include "storefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace storefile {

using Clock = std::chrono::steady_clock;

void Waiter::start() {
    deadline_ = Clock::now() + std::chrono::milliseconds(timeout_ms_);
    running_ = true;
}

bool Waiter::nap(int tries) {
    auto now = Clock::now();
    if (!running_ && tries == 0) deadline_ = now + std::chrono::milliseconds(timeout_ms_);
    if (now >= deadline_) return false;
    auto nap = std::chrono::microseconds(50 << std::min(tries, 4));
    std::this_thread::sleep_for(std::min<Clock::duration>(nap, deadline_ - now));
    return true;
}

int Waiter::busy(void *waiter, int tries) {
    return static_cast<Waiter *>(waiter)->nap(tries) ? 1 : 0;
}

namespace {

// The descriptors of the process's store files, by device and inode.
struct Shared {
    int fd;
    int users;
    bool writable;
};
std::mutex registry_lock;
std::map<std::pair<dev_t, ino_t>, Shared> registry;

// Past SQLite's lock bytes (the pending byte at 1 GiB, the reserved byte
// and 510 shared bytes): no page of a file is ever locked there.
constexpr off_t entry_byte = 0x40000000 + 512;
constexpr off_t turn_byte = entry_byte + 1;

// Takes (F_RDLCK, F_WRLCK) or drops (F_UNLCK) a lock of the descriptor's
// own, waiting while another holds it. A system without such locks queues
// nobody.
bool lock(int fd, short type, off_t byte, Waiter &waiter) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = byte;
    range.l_len = 1;
    for (int tries = 0;; tries++) {
        if (fcntl(fd, F_OFD_SETLK, &range) == 0) return true;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EACCES) return true;
        if (!waiter.nap(tries)) return false;
    }
}

std::string reason(int error) {
    return strerror(error);
}

} // namespace

std::string File::open(const char *path) {
    struct stat file;
    if (stat(path, &file) != 0) return reason(errno);
    if (!S_ISREG(file.st_mode)) return S_ISDIR(file.st_mode) ? "is a directory" : "not a regular file";
    std::lock_guard<std::mutex> hold(registry_lock);
    auto key = std::make_pair(file.st_dev, file.st_ino);
    auto shared = registry.find(key);
    if (shared == registry.end()) {
        // Opened for writing only to take the queue's locks, which need it;
        // nothing is ever written through it.
        bool writable = true;
        int fd = ::open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            writable = false;
            fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        }
        if (fd < 0) return reason(errno);
        struct stat opened;
        if (fstat(fd, &opened) != 0 || opened.st_dev != file.st_dev || opened.st_ino != file.st_ino) {
            close(fd);
            return "the file was replaced while it was being opened";
        }
        shared = registry.emplace(key, Shared{fd, 0, writable}).first;
    }
    shared->second.users++;
    fd_ = shared->second.fd;
    queued_ = shared->second.writable;
    device_ = file.st_dev;
    inode_ = file.st_ino;
    return "";
}

File::~File() {
    if (fd_ < 0) return;
    std::lock_guard<std::mutex> hold(registry_lock);
    auto shared = registry.find(std::make_pair(device_, inode_));
    if (shared != registry.end() && --shared->second.users == 0) {
        close(shared->second.fd);
        registry.erase(shared);
    }
}

bool File::enter(bool write, Waiter &waiter) {
    if (!queued_) return true;
    if (!lock(fd_, F_WRLCK, entry_byte, waiter)) return false;
    bool turn = lock(fd_, write ? F_WRLCK : F_RDLCK, turn_byte, waiter);
    lock(fd_, F_UNLCK, entry_byte, waiter);
    return turn;
}

void File::leave() {
    if (!queued_) return;
    Waiter never(0);
    lock(fd_, F_UNLCK, turn_byte, never);
}

namespace {

// Copies from one descriptor to another, from the start.
bool copy_descriptor(int from, int to) {
    char buffer[1 << 16];
    for (off_t at = 0;;) {
        ssize_t got = pread(from, buffer, sizeof buffer, at);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        for (ssize_t done = 0; done < got;) {
            ssize_t put = write(to, buffer + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) return false;
            done += put;
        }
        at += got;
    }
}

bool copy_to(int from, const std::string &to) {
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool copied = out >= 0 && copy_descriptor(from, out);
    if (out >= 0) close(out);
    return copied;
}

} // namespace

std::string RecoveredCopy::make(const char *path, const File &file) {
    const char *tmp = getenv("TMPDIR");
    folder_ = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/confmodel-store.XXXXXX";
    if (mkdtemp(folder_.data()) == nullptr) {
        std::string why = "no private folder for a copy: " + reason(errno);
        folder_.clear();
        return why;
    }
    path_ = folder_ + "/store";
    for (const char *side : {"-journal", "-wal"}) {
        int fd = ::open((std::string(path) + side).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) continue;
        bool copied = fd >= 0 && copy_to(fd, path_ + side);
        int error = errno;
        if (fd >= 0) close(fd);
        if (!copied) return "cannot copy its " + std::string(side + 1) + ": " + reason(error);
    }
    if (!copy_to(file.descriptor(), path_)) return "cannot copy it: " + reason(errno);
    return "";
}

RecoveredCopy::~RecoveredCopy() {
    if (folder_.empty()) return;
    for (const char *side : {"", "-journal", "-wal", "-shm"})
        unlink((path_ + side).c_str());
    rmdir(folder_.c_str());
}

} // namespace storefile

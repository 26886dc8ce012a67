#include "output/files.h"

#include "input/text.h"
#include "input/record_json.h"
#include "output/json.h"
#include "store/store.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

namespace {

[[noreturn]] void fail(const std::string &path, int error) {
    throw Failure(escaped(path) + ": " + strerror(error));
}

// The temporary files of this run, for the signal handler: fixed slots, as a
// handler may neither allocate nor lock.
constexpr int slots = 4;
char temporary[slots][PATH_MAX + 16];
volatile sig_atomic_t in_use[slots];

void remove_temporaries(int signal) {
    for (int i = 0; i < slots; i++)
        if (in_use[i]) unlink(temporary[i]);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void enlist(const std::string &path) {
    static bool handled = false;
    if (!handled) {
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            ::signal(signal, remove_temporaries);
        handled = true;
    }
    for (int i = 0; i < slots; i++)
        if (!in_use[i] && path.size() < PATH_MAX) {
            memcpy(temporary[i], path.c_str(), path.size() + 1);
            in_use[i] = 1;
            return;
        }
}

void delist(const std::string &path) {
    for (int i = 0; i < slots; i++)
        if (in_use[i] && path == temporary[i]) in_use[i] = 0;
}

void sync_path(const std::string &path, int flags) {
    int fd = open(path.c_str(), flags | O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fsync(fd) != 0) {
        int error = errno;
        if (fd >= 0) close(fd);
        fail(path, error);
    }
    close(fd);
}

std::string directory_of(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

const char unfinished[] = ".unfinished-";
constexpr size_t unique_part = 6; // mkstemp's XXXXXX

// Removes the temporary files of the target that killed runs left: a run
// holds a lock on its own for as long as it lives, so one that can be
// locked has no one left to finish it.
void remove_abandoned(const std::string &target) {
    const std::string folder = directory_of(target);
    const size_t slash = target.rfind('/');
    const std::string prefix = target.substr(slash == std::string::npos ? 0 : slash + 1) + unfinished;
    DIR *dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + unique_part || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string path = folder + "/" + name;
        int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat file;
        if (fstat(fd, &file) == 0 && S_ISREG(file.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0)
            unlink(path.c_str());
        close(fd);
    }
    closedir(dir);
}

// Whether path still names the file open at fd.
bool names(const std::string &path, int fd) {
    struct stat named, open;
    return stat(path.c_str(), &named) == 0 && fstat(fd, &open) == 0 && named.st_dev == open.st_dev &&
           named.st_ino == open.st_ino;
}

} // namespace

NewFile::NewFile(const std::string &target, Mode mode)
    : name_(target), target_(target), mode_(mode) {
    struct stat file;
    if (target.empty()) throw Failure("\"\": an empty path names no file");
    remove_abandoned(target);
    // A new file gets the permissions any new file would; a replaced one
    // keeps its own.
    mode_t mask = umask(0);
    umask(mask);
    mode_t permissions = 0666 & ~mask;
    if (lstat(target.c_str(), &file) == 0) {
        if (mode == Mode::create)
            throw Failure(escaped(target) + ": exists already" +
                          (S_ISDIR(file.st_mode) ? " (a directory)" : ""));
        const bool link = S_ISLNK(file.st_mode);
        // What a link leads to is what would be written over: /dev/stdout
        // is a terminal or a pipe, not a file to replace.
        if (stat(target.c_str(), &file) != 0) fail(target, errno);
        if (!S_ISREG(file.st_mode))
            throw Failure(escaped(target) + ": not a regular file, which is all this writes over");
        // A dump written over a store would lose a device's configuration.
        if (is_store_path(target))
            throw Failure(escaped(target) + ": a store file, which this would destroy; nothing "
                                            "was written");
        if (link) {
            char *real = realpath(target.c_str(), nullptr);
            if (real == nullptr) fail(target, errno);
            target_ = real;
            free(real);
        }
        permissions = file.st_mode & 07777;
    } else if (errno != ENOENT) {
        fail(target, errno);
    }
    // Locked for as long as this run lives; one that another run took for
    // abandoned in the moment before the lock is made anew.
    for (;;) {
        std::string name = target_ + unfinished + std::string(unique_part, 'X');
        int fd = mkstemp(name.data());
        if (fd < 0) fail(directory_of(target_), errno);
        if (flock(fd, LOCK_EX) == 0 && names(name, fd)) {
            fchmod(fd, permissions);
            fd_ = fd;
            temporary_ = name;
            break;
        }
        close(fd);
    }
    enlist(temporary_);
}

NewFile::~NewFile() {
    if (fd_ >= 0) close(fd_);
    if (committed_) return;
    unlink(temporary_.c_str());
    delist(temporary_);
}

bool NewFile::commit() {
    sync_path(temporary_, 0);
    if (mode_ == Mode::replace) {
        if (rename(temporary_.c_str(), target_.c_str()) != 0) fail(target_, errno);
    } else if (renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(),
                         RENAME_NOREPLACE) != 0) {
        // A file system without the flag: a link fails as well when the
        // target exists.
        if (errno != EINVAL && errno != ENOSYS) {
            if (errno == EEXIST) return false;
            fail(target_, errno);
        }
        if (link(temporary_.c_str(), target_.c_str()) != 0) {
            if (errno == EEXIST) return false;
            fail(target_, errno);
        }
        unlink(temporary_.c_str());
    }
    committed_ = true;
    delist(temporary_);
    sync_path(directory_of(target_), O_DIRECTORY);
    return true;
}

std::unique_ptr<NewFile> dump_target(const std::string &path) {
    if (path == "-") return nullptr;
    return std::make_unique<NewFile>(path, NewFile::Mode::replace);
}

void write_dump(NewFile *target, const RecordList &records) {
    auto write = [&](std::ostream &out) {
        BlockWriter lines(out);
        for (const Record *record : records) {
            append_record_line(lines.text(), *record);
            lines.appended();
        }
        lines.flush();
    };
    // Standard output that cannot be written is the program's to tell, as
    // for every command's output.
    if (target == nullptr) return write(std::cout);
    std::ofstream out(target->path(), std::ios::binary);
    if (!out) fail(target->path(), errno);
    errno = 0;
    write(out);
    out.flush();
    if (!out)
        throw Failure(escaped(target->name()) + ": cannot be written" +
                      (errno ? std::string(": ") + strerror(errno) : ""));
    out.close();
    if (!out) throw Failure(escaped(target->name()) + ": cannot be written");
    target->commit();
}

/*
 * Preloaded into a process (LD_PRELOAD), kills it with SIGKILL at the K-th
 * call that changes a file, before the call takes effect, as a crash would
 * stop it there:
 *   KILL_AT=K       the call to die at, counted from 1;
 *   KILL_TORN=1     a write at that call writes its first half first;
 *   KILL_COUNT=PATH no kill: the number of such calls is written to PATH
 *                   when the process exits.
 * The calls: write, pwrite, writev, ftruncate, fsync, fdatasync, unlink,
 * rename, link, and their 64-bit and *at forms. A write to what is not a
 * regular file (a terminal, a pipe) changes no file and is not counted.
 */
#define _GNU_SOURCE
/* Each call is defined under its plain name and its 64-bit twin's, so the
 * plain names must not be the twins' aliases. */
#undef _FILE_OFFSET_BITS
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

static long calls;

static long kill_at(void) {
    static long at = -1;
    if (at < 0) {
        const char *text = getenv("KILL_AT");
        at = text != NULL ? atol(text) : 0;
    }
    return at;
}

static int to_file(int fd) {
    struct stat file;
    return fstat(fd, &file) == 0 && S_ISREG(file.st_mode);
}

/* Counts the call; at the K-th, dies, after writing half of a torn write. */
static void changing(int fd, const void *data, size_t size, off_t offset, int positioned) {
    if (++calls != kill_at()) return;
    if (data != NULL && size > 1 && getenv("KILL_TORN") != NULL) {
        ssize_t (*real)(int, const void *, size_t, off_t) = dlsym(RTLD_NEXT, "pwrite");
        ssize_t (*real_write)(int, const void *, size_t) = dlsym(RTLD_NEXT, "write");
        if (positioned)
            real(fd, data, size / 2, offset);
        else
            real_write(fd, data, size / 2);
    }
    raise(SIGKILL);
}

__attribute__((destructor)) static void report(void) {
    const char *path = getenv("KILL_COUNT");
    FILE *out = path != NULL ? fopen(path, "w") : NULL;
    if (out == NULL) return;
    fprintf(out, "%ld\n", calls);
    fclose(out);
}

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

ssize_t write(int fd, const void *data, size_t size) {
    if (to_file(fd)) changing(fd, data, size, 0, 0);
    return REAL(write)(fd, data, size);
}
ssize_t pwrite(int fd, const void *data, size_t size, off_t offset) {
    if (to_file(fd)) changing(fd, data, size, offset, 1);
    return REAL(pwrite)(fd, data, size, offset);
}
ssize_t pwrite64(int fd, const void *data, size_t size, off64_t offset) {
    if (to_file(fd)) changing(fd, data, size, (off_t)offset, 1);
    return REAL(pwrite64)(fd, data, size, offset);
}
ssize_t writev(int fd, const struct iovec *parts, int count) {
    if (to_file(fd)) changing(fd, NULL, 0, 0, 0);
    return REAL(writev)(fd, parts, count);
}
int ftruncate(int fd, off_t size) {
    changing(fd, NULL, 0, 0, 0);
    return REAL(ftruncate)(fd, size);
}
int ftruncate64(int fd, off64_t size) {
    changing(fd, NULL, 0, 0, 0);
    return REAL(ftruncate64)(fd, size);
}
int fsync(int fd) {
    changing(fd, NULL, 0, 0, 0);
    return REAL(fsync)(fd);
}
int fdatasync(int fd) {
    changing(fd, NULL, 0, 0, 0);
    return REAL(fdatasync)(fd);
}
int unlink(const char *path) {
    changing(-1, NULL, 0, 0, 0);
    return REAL(unlink)(path);
}
int unlinkat(int dir, const char *path, int flags) {
    changing(-1, NULL, 0, 0, 0);
    return REAL(unlinkat)(dir, path, flags);
}
int rename(const char *from, const char *to) {
    changing(-1, NULL, 0, 0, 0);
    return REAL(rename)(from, to);
}
int renameat(int from_dir, const char *from, int to_dir, const char *to) {
    changing(-1, NULL, 0, 0, 0);
    return REAL(renameat)(from_dir, from, to_dir, to);
}
int renameat2(int from_dir, const char *from, int to_dir, const char *to, unsigned flags) {
    changing(-1, NULL, 0, 0, 0);
    return REAL(renameat2)(from_dir, from, to_dir, to, flags);
}
int link(const char *from, const char *to) {
    changing(-1, NULL, 0, 0, 0);
    return REAL(link)(from, to);
}

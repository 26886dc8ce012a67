// How long a caller waits for a store's write lock beside a process that
// commits without pause: one committer flips its device's DCBX flag in a
// loop, and each of the other processes times test-and-sets of its own
// device, start to return. Prints the worst and the median wait.
//
//   confmodel_lockwait PROCESSES SECONDS
#include "confmodel.h"
#include "sqlstore.h"

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// What a waiter reports: its count of calls, the calls that failed, and its
// waits in microseconds (the worst, and all of them for the median).
constexpr int most_calls = 100000;
struct Report {
    long calls, failed;
    long waits[most_calls];
};

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s PROCESSES SECONDS\n", argv[0]);
        return 2;
    }
    const int processes = atoi(argv[1]);
    const double seconds = atof(argv[2]);
    char folder[] = "/tmp/lockwait.XXXXXX";
    const char *tmp = getenv("TMPDIR");
    std::string path = (tmp != nullptr ? std::string(tmp) + "/lockwait.XXXXXX" : folder);
    if (processes < 2 || seconds <= 0 || mkdtemp(path.data()) == nullptr) return 2;
    const std::string store_path = path + "/store";
    {
        sqlstore *store = sqlstore_open(store_path.c_str(), SQLSTORE_CREATE, nullptr, 0);
        const char *fields[SQLSTORE_FIELDS] = {};
        fields[22] = "false";
        for (int key = 1; key <= processes; key++)
            if (store == nullptr || sqlstore_add_device(store, uintptr_t(key), fields) != 0) return 2;
        sqlstore_close(store);
    }
    auto *stop = static_cast<std::atomic<bool> *>(mmap(nullptr, sizeof(std::atomic<bool>),
                                                       PROT_READ | PROT_WRITE,
                                                       MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    std::vector<Report *> reports;
    std::vector<pid_t> children;
    stop->store(false);
    for (int key = 1; key <= processes; key++) {
        auto *report = static_cast<Report *>(mmap(nullptr, sizeof(Report), PROT_READ | PROT_WRITE,
                                                  MAP_SHARED | MAP_ANONYMOUS, -1, 0));
        if (report == MAP_FAILED) return 2;
        reports.push_back(report);
        pid_t pid = fork();
        if (pid != 0) {
            children.push_back(pid);
            continue;
        }
        sqlstore *store = sqlstore_open(store_path.c_str(), SQLSTORE_READ_WRITE, nullptr, 0);
        uintptr_t handle = sqlstore_handle(store);
        for (bool flag = false; store != nullptr && !stop->load(); flag = !flag) {
            auto start = Clock::now();
            int status = flag ? dcbx_pending_reset(handle, uintptr_t(key))
                              : dcbx_pending_set(handle, uintptr_t(key));
            long waited = long(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start)
                                   .count());
            report->failed += status != 0;
            // The committer (key 1) only keeps the lock busy.
            if (key > 1 && report->calls < most_calls) report->waits[report->calls++] = waited;
        }
        sqlstore_close(store);
        _exit(0);
    }
    usleep(useconds_t(seconds * 1e6));
    stop->store(true);
    for (pid_t child : children)
        waitpid(child, nullptr, 0);
    std::vector<long> waits;
    long failed = 0;
    for (Report *report : reports) {
        waits.insert(waits.end(), report->waits, report->waits + report->calls);
        failed += report->failed;
    }
    std::sort(waits.begin(), waits.end());
    unlink(store_path.c_str());
    rmdir(path.c_str());
    // A run too short (or too slow, under valgrind) to time a call says so.
    if (waits.empty())
        printf("| %d | 0 | | | | %ld |\n", processes, failed);
    else
        printf("| %d | %zu | %.1f | %.1f | %.1f | %ld |\n", processes, waits.size(),
               double(waits[waits.size() / 2]) / 1000, double(waits[waits.size() * 99 / 100]) / 1000,
               double(waits.back()) / 1000, failed);
    return failed == 0 ? 0 : 1;
}

// The DCBX test-and-set against the SQLite store: a program of its own, as the
// store defines the same tavri_ calls as the in-memory one. Each call finds
// the expected value and writes the other, so every call commits.
//
// - sqlstore/...: one process on a store file in TMPDIR (default /tmp), with
//   the store's synchronous=FULL, and its floor, the same store calls made
//   directly; then synchronous=NORMAL (no sync at each commit) and an
//   in-memory database (no file at all), which show where the time goes.
// - sqlstore/processes:N/...: N processes, each with its own connection and
//   device in one store file, all calling at once. The time is that of one
//   process's call; calls_per_second counts the calls of all N.
//
// Times are wall-clock (UseRealTime): a call that waits for the disk or for
// another process's write lock spends little CPU time.
#include "bench.h"
#include "floor.h"
#include "sqlstore.h"

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

namespace {

using TestAndSet = int (*)(uintptr_t, uintptr_t, const char *, const char *);
using Clock = std::chrono::steady_clock;

// A device's flag alternates, so that every test-and-set commits.
struct Flipper {
    TestAndSet call;
    uintptr_t handle, key;
    int current = 0;
    int operator()() {
        static const char *const values[] = {"false", "true"};
        int status = call(handle, key, values[current], values[1 - current]);
        current = 1 - current;
        return status;
    }
};

// A fresh folder with a store file holding devices 1 to count, all "false";
// removed with the folder. In memory, the store itself is the one to use.
class StoreFile {
  public:
    StoreFile(sqlstore_mode mode, int count) {
        if (mode != SQLSTORE_MEMORY) {
            const char *tmp = getenv("TMPDIR");
            folder_ = std::string(tmp ? tmp : "/tmp") + "/sqlstore_bench.XXXXXX";
            if (mkdtemp(folder_.data()) == nullptr)
                return;
            path_ = folder_ + "/store";
        }
        first_ = sqlstore_open(path_.c_str(), mode == SQLSTORE_MEMORY ? mode : SQLSTORE_CREATE,
                               nullptr, 0);
        const char *fields[SQLSTORE_FIELDS] = {};
        fields[22] = "false";
        for (int key = 1; first_ != nullptr && key <= count; key++)
            if (sqlstore_add_device(first_, key, fields) != 0)
                first_ = (sqlstore_close(first_), nullptr);
    }
    ~StoreFile() {
        sqlstore_close(first_);
        if (!folder_.empty())
            std::filesystem::remove_all(folder_);
    }
    StoreFile(const StoreFile &) = delete;
    StoreFile &operator=(const StoreFile &) = delete;

    // The connection that made the store, or null when that failed.
    sqlstore *first() { return first_; }
    // Another connection to the same file.
    sqlstore *open() { return sqlstore_open(path_.c_str(), SQLSTORE_READ_WRITE, nullptr, 0); }

  private:
    std::string folder_, path_;
    sqlstore *first_ = nullptr;
};

void calls_per_second(benchmark::State &state, double calls, Clock::time_point start) {
    std::chrono::duration<double> elapsed = Clock::now() - start;
    state.counters["calls_per_second"] = calls / elapsed.count();
}

void one_process(benchmark::State &state, TestAndSet call, sqlstore_mode mode,
                 const char *synchronous) {
    StoreFile file(mode, 1);
    if (file.first() == nullptr)
        return fail(state, "cannot create the store");
    sqlite3_exec(sqlstore_db(file.first()), synchronous, nullptr, nullptr, nullptr);
    Flipper flip{call, sqlstore_handle(file.first()), 1};
    Clock::time_point start = Clock::now();
    for (auto _ : state) {
        if (measured(flip) != 0)
            return fail(state, "the test-and-set did not commit");
    }
    calls_per_second(state, double(state.iterations()), start);
}

// The benchmark's own process is one of the callers; the others are forked
// children released together when the go pipe closes, each flipping its own
// device until the shared stop flag is set, then reporting its count.
void contended(benchmark::State &state, int processes) {
    StoreFile file(SQLSTORE_CREATE, processes);
    auto *stop = static_cast<std::atomic<bool> *>(mmap(nullptr, sizeof(std::atomic<bool>),
                                                       PROT_READ | PROT_WRITE,
                                                       MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    int go[2], counts[2];
    if (file.first() == nullptr || stop == MAP_FAILED || pipe(go) != 0 || pipe(counts) != 0)
        return fail(state, "cannot set up the processes");
    stop->store(false);
    std::vector<pid_t> children;
    for (int key = 2; key <= processes; key++) {
        pid_t pid = fork();
        if (pid != 0) {
            children.push_back(pid);
            continue;
        }
        close(go[1]);
        sqlstore *store = file.open();
        char byte;
        // The count of calls, or the status of the one that failed, negated.
        long calls = store != nullptr && read(go[0], &byte, 1) == 0 ? 0 : -1;
        Flipper flip{dcbx_pending_test_and_set, sqlstore_handle(store), uintptr_t(key)};
        while (calls >= 0 && !stop->load()) {
            int status = flip();
            calls = status == 0 ? calls + 1 : -std::abs(status);
        }
        sqlstore_close(store);
        _exit(write(counts[1], &calls, sizeof calls) == sizeof calls ? 0 : 1);
    }
    close(go[0]);
    close(counts[1]);
    Flipper flip{dcbx_pending_test_and_set, sqlstore_handle(file.first()), 1};
    Clock::time_point start = Clock::now();
    close(go[1]);
    long failed = 0; // a failed call's status
    for (auto _ : state) {
        if (int status = flip(); status != 0) {
            failed = status;
            break;
        }
    }
    stop->store(true);
    double calls = double(state.iterations());
    for (long count; read(counts[0], &count, sizeof count) == sizeof count;) {
        if (count < 0) failed = -count;
        calls += double(std::max(count, 0L));
    }
    calls_per_second(state, calls, start);
    for (pid_t child : children)
        waitpid(child, nullptr, 0);
    close(counts[0]);
    munmap(stop, sizeof *stop);
    if (failed != 0)
        fail(state, "a test-and-set did not commit: status " + std::to_string(failed));
}

void add_sqlstore_benchmarks() {
    const char *full = "PRAGMA synchronous = FULL", *normal = "PRAGMA synchronous = NORMAL";
    for (const char *prefix : {"", "floor/"}) {
        TestAndSet call = *prefix ? by_hand::dcbx_pending_test_and_set : dcbx_pending_test_and_set;
        add(std::string(prefix) + "sqlstore/dcbx_pending_test_and_set",
            [=](benchmark::State &state) { one_process(state, call, SQLSTORE_CREATE, full); })
            ->UseRealTime();
        add(std::string(prefix) + "sqlstore/memory/dcbx_pending_test_and_set",
            [=](benchmark::State &state) { one_process(state, call, SQLSTORE_MEMORY, full); })
            ->UseRealTime();
    }
    add("sqlstore/synchronous_normal/dcbx_pending_test_and_set",
        [=](benchmark::State &state) {
            one_process(state, dcbx_pending_test_and_set, SQLSTORE_CREATE, normal);
        })
        ->UseRealTime();
    for (int processes : {2, 4, 8})
        add("sqlstore/processes:" + std::to_string(processes) + "/dcbx_pending_test_and_set",
            [=](benchmark::State &state) { contended(state, processes); })
            ->UseRealTime();
}

} // namespace

} // namespace bench

int main(int argc, char **argv) {
    return bench::run(argc, argv, bench::add_sqlstore_benchmarks, nullptr);
}

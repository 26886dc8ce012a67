// The SQLite store under the real module: its fields, test-and-sets racing
// from several processes, a writer killed inside its transaction, the store's
// statuses reaching the module's caller, and files it must refuse to open.
#include "confmodel.h"
#include "sqlstore.h"
#include "tavri.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uintptr_t device = 7;

using Store = std::unique_ptr<sqlstore, decltype(&sqlstore_close)>;

Store open_store(const std::string &path, sqlstore_mode mode) {
    char error[256];
    Store store(sqlstore_open(path.c_str(), mode, error, sizeof error), sqlstore_close);
    EXPECT_NE(store, nullptr) << error;
    return store;
}

// A folder removed with all in it; store: a store holding the device, "false".
struct Folder {
    std::string path = testing::TempDir() + "sqlstore.XXXXXX", store;
    Folder() {
        EXPECT_NE(mkdtemp(path.data()), nullptr);
        store = path + "/store";
        const char *fields[SQLSTORE_FIELDS] = {};
        fields[22] = "false";
        EXPECT_EQ(sqlstore_add_device(open_store(store, SQLSTORE_CREATE).get(), device, fields), 0);
    }
    ~Folder() { std::filesystem::remove_all(path); }
};

// The committed records as their keys and fields ("-" for null): "7:false 8:-".
std::string rows(sqlstore *store, std::vector<int> fields = {22}) {
    std::pair<std::vector<int>, std::string> out{fields, ""};
    auto visit = [](void *context, uintptr_t key, const char *const texts[SQLSTORE_FIELDS]) {
        auto &[fields, text] = *static_cast<decltype(out) *>(context);
        text += (text.empty() ? "" : " ") + std::to_string(key);
        for (int i : fields)
            text += std::string(":") + (texts[i] ? texts[i] : "-");
        return 0;
    };
    int status = sqlstore_each_device(store, nullptr, visit, &out);
    return status == 0 ? out.second : sqlstore_status_text(status);
}

std::string contents(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The machine's file system, but writes fail while failing_writes is set.
// One copy per methods table, as journals get methods without locking.
bool failing_writes;
sqlite3_vfs *real_vfs, failing_vfs;
std::map<const sqlite3_io_methods *, sqlite3_io_methods> failing_methods;
int (*real_write)(sqlite3_file *, const void *, int, sqlite3_int64);

int write_or_fail(sqlite3_file *file, const void *data, int size, sqlite3_int64 offset) {
    return failing_writes ? SQLITE_IOERR_WRITE : real_write(file, data, size, offset);
}

int open_failing(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *out) {
    int rc = real_vfs->xOpen(real_vfs, name, file, flags, out);
    if (rc == SQLITE_OK && file->pMethods != nullptr) {
        auto &methods = failing_methods.try_emplace(file->pMethods, *file->pMethods).first->second;
        real_write = file->pMethods->xWrite; // the same for every file
        methods.xWrite = write_or_fail;
        file->pMethods = &methods;
    }
    return rc;
}

// Positions 1 to 28 are the store's texts, matched, copied and updated as
// such; a key in an update is refused. A start inside the host's own
// transaction is refused, and the module's abort then leaves it alone.
TEST(Sqlstore, FieldsByPositionAndTheHostsTransaction) {
    Store store = open_store("", SQLSTORE_MEMORY);
    uintptr_t handle = sqlstore_handle(store.get());
    std::string texts[SQLSTORE_FIELDS];
    const char *fields[SQLSTORE_FIELDS] = {};
    for (int i = 1; i < SQLSTORE_FIELDS; i++)
        fields[i] = (texts[i] = "v" + std::to_string(i)).c_str();
    for (uintptr_t key : {device, device, device + 1}) {
        ASSERT_EQ(sqlstore_add_device(store.get(), key, fields), 0);
        fields[5] = "other";
    }
    ASSERT_EQ(tavri_transaction_start(handle), 0);
    remotedevice_record query{}, update{}, *first = nullptr;
    query.key = device;
    query.store_a[4] = const_cast<char *>("v5"); // field 5
    void *results = nullptr;
    int count = 0;
    ASSERT_EQ(tavri_remotedevice_get(handle, &query, &results, &first, &count), 0);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(first->key, device);
    for (int i = 1; i < SQLSTORE_FIELDS; i++) { // field i is the pointer at position i
        const char *got = nullptr;
        memcpy(&got, reinterpret_cast<const char *>(first) + i * sizeof got, sizeof got);
        EXPECT_STREQ(got, texts[i].c_str()) << "field " << i;
    }
    tavri_results_free(handle, results);
    update.store_b[0] = const_cast<char *>("new"); // field 23
    EXPECT_EQ(tavri_remotedevice_set(handle, device, &update), 0);
    update.key = device;
    EXPECT_EQ(tavri_remotedevice_set(handle, device, &update), SQLSTORE_ERR_FIELD);
    EXPECT_EQ(tavri_transaction_commit(handle), 0);
    EXPECT_EQ(rows(store.get(), {5, 22, 23}), "7:v5:v22:new 7:other:v22:new 8:other:v22:v23");

    sqlite3 *db = sqlstore_db(store.get());
    ASSERT_EQ(sqlite3_exec(db, "BEGIN; DELETE FROM remote_device WHERE key = 8", 0, 0, 0), 0);
    EXPECT_EQ(dcbx_pending_set(handle, device), SQLSTORE_ERR_NESTED);
    EXPECT_EQ(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(rows(store.get()), "7:v22 7:v22");
}

// A table's rows as values of their types: "id:v0,v1,...", "-" for null,
// "#n" for an integer; rows in store order, separated by spaces.
std::string table_rows(sqlstore *store, sqlstore_table table) {
    std::pair<sqlstore_table, std::string> out{table, ""};
    auto visit = [](void *context, int64_t id, const sqlstore_value *values) {
        auto &[table, text] = *static_cast<decltype(out) *>(context);
        text += (text.empty() ? "" : " ") + std::to_string(id) + ":";
        int count = table == SQLSTORE_CONFIG_RECORDS ? 5 : 3; // enough to tell
        for (int i = 0; i < count; i++) {
            const sqlstore_value &v = values[i];
            text += (i ? "," : "") + (v.type == SQLSTORE_NULL      ? std::string("-")
                                      : v.type == SQLSTORE_INTEGER ? "#" + std::to_string(v.integer)
                                                                   : std::string(v.text, v.size));
        }
        return 0;
    };
    int status = sqlstore_each_row(store, table, visit, &out);
    return status == 0 ? out.second : sqlstore_status_text(status);
}

// Rows of both tables keep each value as its type says, in store order; an
// update rewrites every value of its row, a removal takes the row alone, and
// a row that is absent is left alone by both.
TEST(Sqlstore, RowsKeepEachValueInStoreOrder) {
    Store store = open_store("", SQLSTORE_MEMORY);
    auto text = [](const char *t) { return sqlstore_value{SQLSTORE_TEXT, t, strlen(t), 0}; };
    const sqlstore_value null{SQLSTORE_NULL, nullptr, 0, 0}, port{SQLSTORE_INTEGER, nullptr, 0, -3};
    std::vector<sqlstore_value> group(SQLSTORE_RECORD_VALUES, null), subport = group;
    group[0] = text("portgroup");
    group[3] = text("/pg");
    subport[0] = text("subport");
    subport[2] = port;
    subport[4] = text("a\0b"); // a NUL is kept as one of its bytes
    subport[4].size = 3;
    int64_t id = 0;
    ASSERT_EQ(sqlstore_insert_row(store.get(), SQLSTORE_CONFIG_RECORDS, 0, group.data(), nullptr), 0);
    ASSERT_EQ(sqlstore_insert_row(store.get(), SQLSTORE_CONFIG_RECORDS, 0, subport.data(), &id), 0);
    EXPECT_EQ(id, 2);
    EXPECT_EQ(table_rows(store.get(), SQLSTORE_CONFIG_RECORDS),
              std::string("1:portgroup,-,-,/pg,- 2:subport,-,#-3,-,a\0b", 43));
    group[3] = text("/other");
    EXPECT_EQ(sqlstore_update_row(store.get(), SQLSTORE_CONFIG_RECORDS, 1, subport.data()), 0);
    EXPECT_EQ(sqlstore_update_row(store.get(), SQLSTORE_CONFIG_RECORDS, 9, group.data()), 0);
    EXPECT_EQ(sqlstore_delete_row(store.get(), SQLSTORE_CONFIG_RECORDS, 2), 0);
    EXPECT_EQ(sqlstore_delete_row(store.get(), SQLSTORE_CONFIG_RECORDS, 9), 0);
    EXPECT_EQ(table_rows(store.get(), SQLSTORE_CONFIG_RECORDS),
              std::string("1:subport,-,#-3,-,a\0b", 21));
    // A row put back where it stood comes before those added after it; a
    // place taken is refused.
    ASSERT_EQ(sqlstore_insert_row(store.get(), SQLSTORE_CONFIG_RECORDS, 5, group.data(), &id), 0);
    ASSERT_EQ(sqlstore_insert_row(store.get(), SQLSTORE_CONFIG_RECORDS, 3, group.data(), &id), 0);
    EXPECT_EQ(id, 3);
    EXPECT_NE(sqlstore_insert_row(store.get(), SQLSTORE_CONFIG_RECORDS, 5, group.data(), nullptr), 0);
    EXPECT_EQ(table_rows(store.get(), SQLSTORE_CONFIG_RECORDS),
              std::string("1:subport,-,#-3,-,a\0b 3:portgroup,-,-,/other,- 5:portgroup,-,-,/other,-", 71));

    std::vector<sqlstore_value> device(SQLSTORE_DEVICE_VALUES, null);
    device[0] = {SQLSTORE_INTEGER, nullptr, 0, 4294967295};
    device[2] = text("two");
    ASSERT_EQ(sqlstore_insert_row(store.get(), SQLSTORE_REMOTE_DEVICES, 0, device.data(), nullptr), 0);
    EXPECT_EQ(table_rows(store.get(), SQLSTORE_REMOTE_DEVICES), "1:#4294967295,-,two");
    EXPECT_EQ(rows(store.get(), {2}), "4294967295:two");
    // Every row of a record written counts, whoever writes it; a device's
    // does not, nor a write that finds no row.
    int64_t writes = 0;
    EXPECT_EQ(sqlstore_record_writes(store.get(), &writes), 0);
    EXPECT_EQ(writes, 6);
    const struct {
        sqlstore_table table;
        int value;
        const char *name;
    } names[] = {{SQLSTORE_CONFIG_RECORDS, 0, "tbl"},      {SQLSTORE_CONFIG_RECORDS, 2, "parent_port"},
                 {SQLSTORE_CONFIG_RECORDS, 22, "c19"},     {SQLSTORE_CONFIG_RECORDS, 23, ""},
                 {SQLSTORE_REMOTE_DEVICES, 0, "key"},      {SQLSTORE_REMOTE_DEVICES, 22, "dcbx_pending"},
                 {SQLSTORE_REMOTE_DEVICES, 28, "f28"}};
    for (const auto &n : names)
        EXPECT_STREQ(sqlstore_value_name(n.table, n.value), n.name);
}

// The host's own transaction, begun with tavri_transaction_start: the
// module's start inside it is refused, and the abort that follows leaves the
// host's earlier writes to its commit.
TEST(Sqlstore, RefusedNestedStartAndItsAbortLeaveTheOpenTransaction) {
    Folder folder;
    Store store = open_store(folder.store, SQLSTORE_READ_WRITE);
    uintptr_t handle = sqlstore_handle(store.get());
    remotedevice_record update{};
    update.dcbx_pending = "host";
    ASSERT_EQ(tavri_transaction_start(handle), 0);
    ASSERT_EQ(tavri_remotedevice_set(handle, device, &update), 0);
    EXPECT_EQ(dcbx_pending_set(handle, device), SQLSTORE_ERR_NESTED);
    EXPECT_EQ(tavri_transaction_commit(handle), 0);
    EXPECT_EQ(rows(store.get()), "7:host");
}

// A store file renamed over, or removed, under an open handle: the next
// start says so, and nothing reaches the old file or the new one.
TEST(Sqlstore, ReplacedOrRemovedFileRefusesTheNextStart) {
    for (bool removed : {false, true}) {
        SCOPED_TRACE(removed ? "removed" : "replaced");
        Folder folder, other;
        Store store = open_store(folder.store, SQLSTORE_READ_WRITE);
        const std::string replacement = contents(other.store);
        if (removed)
            std::filesystem::remove(folder.store);
        else
            std::filesystem::rename(other.store, folder.store);
        EXPECT_EQ(dcbx_pending_set(sqlstore_handle(store.get()), device), SQLSTORE_ERR_MOVED);
        EXPECT_EQ(rows(store.get()), "7:false");
        if (!removed) {
            EXPECT_EQ(contents(folder.store), replacement);
        }
        EXPECT_FALSE(std::filesystem::exists(folder.store + "-journal"));
    }
}

// Processes race to flip one device from "false" to "true", each through its
// own connection: in every round exactly one wins, and all the others find
// "true" and get EBUSY. A store that let another transaction in between a
// read and its write would let several win.
TEST(Sqlstore, ProcessesRacingTestAndSetHaveOneWinner) {
    constexpr int processes = 8, rounds = 50;
    Folder folder;
    int reports[2];
    ASSERT_EQ(pipe(reports), 0);
    // Round r starts when the parent closes go[r]: every racer's read returns at once.
    int go[rounds][2];
    for (auto &p : go)
        ASSERT_EQ(pipe(p), 0);
    std::vector<pid_t> racers;
    for (int i = 0; i < processes; i++) {
        racers.push_back(fork());
        ASSERT_GE(racers.back(), 0);
        if (racers.back() > 0) continue;
        for (auto &p : go)
            close(p[1]);
        sqlstore *store = sqlstore_open(folder.store.c_str(), SQLSTORE_READ_WRITE, nullptr, 0);
        char byte;
        for (int round = 0, status = 0; round < rounds && status != -2; round++) {
            status =
                read(go[round][0], &byte, 1) == 0 && store
                    ? dcbx_pending_test_and_set(sqlstore_handle(store), device, "false", "true")
                    : -1;
            status = write(reports[1], &status, sizeof status) == sizeof status ? status : -2;
        }
        sqlstore_close(store);
        _exit(0);
    }
    close(reports[1]);
    Store store = open_store(folder.store, SQLSTORE_READ_WRITE);
    for (int round = 0; round < rounds; round++) {
        SCOPED_TRACE(round);
        ASSERT_EQ(dcbx_pending_reset(sqlstore_handle(store.get()), device), 0);
        close(go[round][1]);
        std::map<int, int> statuses; // how many racers got each
        for (int i = 0, status; i < processes; i++)
            statuses[read(reports[0], &status, sizeof status) == sizeof status ? status : -1]++;
        EXPECT_EQ(statuses, (std::map<int, int>{{0, 1}, {EBUSY, processes - 1}}));
        EXPECT_EQ(rows(store.get()), "7:true");
    }
    for (pid_t pid : racers) {
        int status = -1;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
}

// A read takes no write lock: beside a writer's open transaction it begins
// at once and sees what was committed. It nests with no transaction.
TEST(Sqlstore, ReadsTakeNoWriteLockAndDoNotNest) {
    Folder folder;
    Store writer = open_store(folder.store, SQLSTORE_READ_WRITE);
    Store reader = open_store(folder.store, SQLSTORE_READ_WRITE);
    sqlstore_set_busy_timeout(reader.get(), 0);
    remotedevice_record update{};
    update.dcbx_pending = "pending";
    ASSERT_EQ(tavri_transaction_start(sqlstore_handle(writer.get())), 0);
    ASSERT_EQ(tavri_remotedevice_set(sqlstore_handle(writer.get()), device, &update), 0);
    ASSERT_EQ(sqlstore_read_begin(reader.get()), 0);
    EXPECT_EQ(rows(reader.get()), "7:false");
    EXPECT_EQ(sqlstore_read_begin(reader.get()), SQLSTORE_ERR_NESTED);
    EXPECT_EQ(tavri_transaction_start(sqlstore_handle(reader.get())), SQLSTORE_ERR_NESTED);
    tavri_transaction_abort(sqlstore_handle(reader.get()));
    EXPECT_EQ(sqlstore_read_end(reader.get()), 0);
    EXPECT_EQ(sqlstore_read_end(reader.get()), SQLSTORE_ERR_NO_TRANSACTION);
    EXPECT_EQ(tavri_transaction_commit(sqlstore_handle(writer.get())), 0);
    EXPECT_EQ(rows(reader.get()), "7:pending");
}

// Beside a process that commits without pause, others that open the store,
// write to it and read it each get their turn well within their wait: the
// committer cannot take the lock again before those queued behind it.
TEST(Sqlstore, WaitersGetTheirTurnBesideAWriterThatNeverPauses) {
    constexpr int waiters = 4, rounds = 10, wait_ms = 1000;
    Folder folder;
    int stop[2];
    ASSERT_EQ(pipe(stop), 0);
    pid_t committer = fork();
    ASSERT_GE(committer, 0);
    if (committer == 0) {
        close(stop[1]);
        fcntl(stop[0], F_SETFL, O_NONBLOCK);
        sqlstore *store = sqlstore_open(folder.store.c_str(), SQLSTORE_READ_WRITE, nullptr, 0);
        char byte;
        for (bool flag = false; store != nullptr && read(stop[0], &byte, 1) < 0; flag = !flag)
            flag ? dcbx_pending_reset(sqlstore_handle(store), device)
                 : dcbx_pending_set(sqlstore_handle(store), device);
        sqlstore_close(store);
        _exit(store != nullptr ? 0 : 1);
    }
    close(stop[0]);
    std::vector<pid_t> pids;
    for (int i = 0; i < waiters; i++) {
        pids.push_back(fork());
        ASSERT_GE(pids.back(), 0);
        if (pids.back() > 0) continue;
        int failures = 0;
        for (int round = 0; round < rounds; round++) {
            sqlstore *store = sqlstore_open_waiting(folder.store.c_str(), SQLSTORE_READ_WRITE, wait_ms,
                                                    nullptr, 0);
            failures += store == nullptr ||
                        dcbx_pending_test_and_set(sqlstore_handle(store), device, "x", "y") != EBUSY ||
                        sqlstore_read_begin(store) != 0 || sqlstore_read_end(store) != 0;
            sqlstore_close(store);
        }
        _exit(failures);
    }
    for (pid_t pid : pids) {
        int status = -1;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "rounds that timed out: " << WEXITSTATUS(status);
    }
    close(stop[1]);
    int status = -1;
    EXPECT_EQ(waitpid(committer, &status, 0), committer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// A writer killed between its write and the commit, with more of its changes
// already spilled into the file: the store comes back whole with the value
// committed before, and the next test-and-set needs no repair.
TEST(Sqlstore, WriterKilledInTransactionLeavesTheCommittedState) {
    Folder folder;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        sqlstore *store = sqlstore_open(folder.store.c_str(), SQLSTORE_READ_WRITE, nullptr, 0);
        uintptr_t handle = sqlstore_handle(store);
        remotedevice_record update{};
        update.dcbx_pending = "true";
        const std::string text(1000, 'x');
        const char *fields[SQLSTORE_FIELDS] = {nullptr, text.c_str()};
        // A small page cache spills the transaction's pages into the log early.
        sqlite3_exec(sqlstore_db(store), "PRAGMA cache_size = 8", nullptr, nullptr, nullptr);
        if (tavri_transaction_start(handle) == 0 &&
            tavri_remotedevice_set(handle, device, &update) == 0) {
            for (uintptr_t key = 100; key < 300; key++)
                sqlstore_add_device(store, key, fields);
            if (write(ready[1], "k", 1) == 1) pause();
        }
        _exit(1);
    }
    close(ready[1]);
    char byte;
    EXPECT_EQ(read(ready[0], &byte, 1), 1) << "the writer failed before the commit";
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_GT(std::filesystem::file_size(folder.store), 100000u)
        << "the uncommitted changes never reached the file";
    EXPECT_TRUE(std::filesystem::exists(folder.store + "-journal")) << "no journal to roll back";

    Store store = open_store(folder.store, SQLSTORE_READ_WRITE);
    auto not_ok = [](void *, int, char **row, char **) { return strcmp(row[0], "ok"); };
    EXPECT_EQ(sqlite3_exec(sqlstore_db(store.get()), "PRAGMA integrity_check", not_ok, 0, 0), 0);
    EXPECT_EQ(rows(store.get()), "7:false");
    EXPECT_EQ(dcbx_pending_test_and_set(sqlstore_handle(store.get()), device, "false", "true"), 0);
    EXPECT_EQ(rows(store.get()), "7:true");
}

// Whatever stops the store, the module's caller gets the store's status
// unchanged, the transaction is gone and nothing is written.
TEST(Sqlstore, StoreStatusesReachTheModulesCallerUnchanged) {
    real_vfs = sqlite3_vfs_find(nullptr);
    failing_vfs = *real_vfs;
    failing_vfs.zName = "failing";
    failing_vfs.xOpen = open_failing;
    ASSERT_EQ(sqlite3_vfs_register(&failing_vfs, 1), SQLITE_OK);
    Folder folder;
    const struct {
        const char *name;
        sqlstore_mode mode;
        bool locked_elsewhere, writes_fail;
        int status;
    } cases[] = {
        {"another connection holds the write lock", SQLSTORE_READ_WRITE, true, false, SQLITE_BUSY},
        {"writes fail", SQLSTORE_READ_WRITE, false, true, SQLITE_IOERR_WRITE},
        {"read-only store", SQLSTORE_READ_ONLY, false, false, SQLITE_READONLY},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Store store = open_store(folder.store, c.mode);
        Store other = open_store(folder.store, SQLSTORE_READ_WRITE);
        uintptr_t handle = sqlstore_handle(store.get());
        sqlstore_set_busy_timeout(store.get(), 20);
        EXPECT_EQ(c.locked_elsewhere ? tavri_transaction_start(sqlstore_handle(other.get())) : 0,
                  0);
        failing_writes = c.writes_fail;
        EXPECT_EQ(dcbx_pending_test_and_set(handle, device, "false", "true"),
                  SQLSTORE_STATUS_BASE + c.status);
        failing_writes = false;
        tavri_transaction_abort(sqlstore_handle(other.get()));
        EXPECT_EQ(tavri_transaction_start(handle), 0) << "the transaction was left open";
        tavri_transaction_abort(handle);
        EXPECT_EQ(rows(other.get()), "7:false");
    }
    sqlite3_vfs_unregister(&failing_vfs);
}

// Files that are not a store of this version, and creating over a file that
// is not empty, are refused with the reason; the file stays byte for byte.
TEST(Sqlstore, RefusedFilesAreLeftAsTheyWere) {
    Folder folder;
    const std::string text = folder.path + "/text", newer = folder.path + "/newer";
    std::ofstream(text) << "not a database\n";
    // A newer store in the rollback journal mode, which opening must not switch.
    sqlite3 *db = nullptr;
    EXPECT_EQ(sqlite3_open(newer.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "CREATE TABLE remote_device (a); CREATE TABLE config_record (a);"
                           "PRAGMA user_version = 7",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const char *foreign = "not a configuration store", *exists = "file exists and is not empty",
               *version = "store version 7, this program reads versions 1 to 5";
    const struct {
        const std::string &path;
        sqlstore_mode mode;
        const char *reason;
    } cases[] = {
        {text, SQLSTORE_READ_WRITE, foreign},    {text, SQLSTORE_READ_ONLY, foreign},
        {newer, SQLSTORE_READ_WRITE, version},   {newer, SQLSTORE_READ_ONLY, version},
        {folder.store, SQLSTORE_CREATE, exists}, {text, SQLSTORE_CREATE, exists},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path + " mode " + std::to_string(c.mode));
        const std::string before = contents(c.path);
        char error[128] = "";
        EXPECT_EQ(sqlstore_open(c.path.c_str(), c.mode, error, sizeof error), nullptr);
        EXPECT_STREQ(error, c.reason);
        EXPECT_EQ(contents(c.path), before);
    }
}

} // namespace

// The SQLite store behind sqlstore.h. Host code: it uses the C++ standard
// library inside, but no exception leaves a call made from C.
#include "sqlstore.h"

#include "tavri.h"
#include "call_log.h"
#include "storefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr int default_busy_timeout_ms = 5000;
constexpr int fields = SQLSTORE_FIELDS;

// The statements every handle keeps prepared: the tavri_ calls run often.
enum Statement { BEGIN, BEGIN_READ, COMMIT, ROLLBACK, GET, SET, ADD, VALUES, DATA_VERSION, STATEMENTS };

} // namespace

struct sqlstore {
    sqlite3 *db = nullptr;
    sqlite3_stmt *statements[STATEMENTS] = {};
    // A transaction begun by tavri_transaction_start, not yet committed or
    // aborted. SQLite may have rolled it back meanwhile (after an I/O error).
    bool open = false;
    // Starts refused as nested whose abort has not come yet: that abort
    // belongs to the refused start, not to the open transaction.
    int refused_starts = 0;
    // A read transaction of sqlstore_read_begin, not yet ended.
    bool reading = false;
    // Transactions of a read-only handle only read: they queue as readers.
    bool read_only = false;
    storefile::Waiter waiter{default_busy_timeout_ms};
    storefile::File file; // not opened for a store in memory
    // The row statements of sqlstore_each_row and the rest, by table and
    // kind, prepared on first use.
    sqlite3_stmt *rows[2][5] = {};
    // Queries a running host asks at every commit (the log's, the schema's
    // version), prepared on first use, by their text. One in use is busy: a
    // visitor that asks it again meanwhile gets a statement of its own.
    struct Query {
        sqlite3_stmt *statement = nullptr;
        bool busy = false;
    };
    std::unordered_map<std::string, Query> queries;
    bool logging = false;
    std::vector<LoggedCall> calls;
    // The count of config_record's writes as the open write transaction
    // began; -1 where the store kept none then.
    int64_t writes_at_begin = -1;
    // Created private, without the count's triggers: made as it is logged.
    bool uncounted = false;

    ~sqlstore() {
        if (open || reading) file.leave();
        for (sqlite3_stmt *statement : statements)
            sqlite3_finalize(statement);
        for (auto &[text, query] : queries)
            sqlite3_finalize(query.statement);
        for (auto &table : rows)
            for (sqlite3_stmt *statement : table)
                sqlite3_finalize(statement);
        sqlite3_close_v2(db);
    }
};

namespace {

// Field 22 has a name of its own; the store's other fields are f1 to f28.
std::string column(int field) {
    return field == 22 ? "dcbx_pending" : "f" + std::to_string(field);
}

// "key, f1, ..., f28": the record's fields as the statements list them.
std::string record_columns() {
    std::string out = "key";
    for (int i = 1; i < fields; i++)
        out += ", " + column(i);
    return out;
}

// The tables' names, and the SQL column of each value of their rows, in the
// order of sqlstore_row_value.
const char *const table_names[] = {"config_record", "remote_device"};

std::string value_column(sqlstore_table table, int value) {
    if (table == SQLSTORE_REMOTE_DEVICES) return value == 0 ? "key" : column(value);
    static const char *const first[] = {"tbl", "xnet", "parent_port"};
    return value < 3 ? first[value] : "c" + std::to_string(value - 3);
}

int values_of(sqlstore_table table) {
    return table == SQLSTORE_REMOTE_DEVICES ? SQLSTORE_DEVICE_VALUES : SQLSTORE_RECORD_VALUES;
}

// "tbl, xnet, ...": every value of a table's rows, as statements list them.
std::string value_columns(sqlstore_table table) {
    std::string out;
    for (int i = 0; i < values_of(table); i++)
        out += (i == 0 ? "" : ", ") + value_column(table, i);
    return out;
}

// The log of commits (version 2 on): one row a commit, written in the
// transaction of the records it changed. Version 3 adds its last two
// columns, as ALTER TABLE writes them into the table's text. Version 4 keeps
// the texts in a table of their own, so that a summary is a small row and
// listing the log reads few pages; a commit's row says whether its undoing
// is kept, and an index finds the commit that awaits confirmation.
const char log_table_v2[] =
    "CREATE TABLE commit_log (seq INTEGER PRIMARY KEY, time INTEGER NOT NULL, "
    "uid INTEGER NOT NULL, user TEXT NOT NULL, command TEXT NOT NULL, added INTEGER NOT NULL, "
    "changed INTEGER NOT NULL, removed INTEGER NOT NULL, changes TEXT, undo TEXT)";
const char log_columns_v3[] = "digest INTEGER, deadline INTEGER";
const char log_tables_v4[] =
    "CREATE TABLE commit_log (seq INTEGER PRIMARY KEY, time INTEGER NOT NULL, "
    "uid INTEGER NOT NULL, user TEXT NOT NULL, command TEXT NOT NULL, added INTEGER NOT NULL, "
    "changed INTEGER NOT NULL, removed INTEGER NOT NULL, undo_kept INTEGER NOT NULL, "
    "digest INTEGER, deadline INTEGER);\n"
    "CREATE TABLE commit_text (seq INTEGER PRIMARY KEY, changes TEXT, undo TEXT);\n"
    "CREATE INDEX commit_log_awaiting ON commit_log(seq) WHERE deadline IS NOT NULL";

// Version 5: every write of a record counted, by whichever program makes it.
const char count_tables[] =
    "CREATE TABLE record_writes (n INTEGER NOT NULL);\n"
    "INSERT INTO record_writes VALUES (0);\n"
    "CREATE TABLE commit_writes (seq INTEGER PRIMARY KEY, writes_before INTEGER, writes_after INTEGER NOT NULL)";
const char count_triggers[] =
    "CREATE TRIGGER config_record_added AFTER INSERT ON config_record BEGIN UPDATE record_writes SET n = n + 1; END;\n"
    "CREATE TRIGGER config_record_changed AFTER UPDATE ON config_record BEGIN UPDATE record_writes SET n = n + 1; END;\n"
    "CREATE TRIGGER config_record_removed AFTER DELETE ON config_record BEGIN UPDATE record_writes SET n = n + 1; END";
// A store being imported, its creator's alone, is made without the triggers:
// it counts the rows it holds once they are written, not one by one (which
// would double an import's time).
std::string log_table(int version, bool counted = true) {
    if (version >= 5)
        return std::string(log_tables_v4) + ";\n" + count_tables + (counted ? std::string(";\n") + count_triggers : "");
    if (version >= 4) return log_tables_v4;
    std::string table = log_table_v2;
    if (version >= 3) table.insert(table.size() - 1, std::string(", ") + log_columns_v3);
    return table;
}

// What brings a store of an earlier version to this one, in its open
// transaction: an older log's rows are copied into this version's tables
// (created afresh, so that their text is the one a new store has).
std::string migration(int version) {
    std::string sql;
    if (version >= 4) {
        sql = std::string(count_tables) + ";\n" + count_triggers + ";\n";
    } else {
        if (version >= 2) sql = "ALTER TABLE commit_log RENAME TO commit_log_old;\n";
        sql += log_table(SQLSTORE_SCHEMA_VERSION) + ";\n";
        if (version >= 2)
            sql += std::string("INSERT INTO commit_log SELECT seq, time, uid, user, command, added, "
                               "changed, removed, undo IS NOT NULL, ") +
                   (version >= 3 ? "digest, deadline" : "NULL, NULL") +
                   " FROM commit_log_old;\n"
                   "INSERT INTO commit_text SELECT seq, changes, undo FROM commit_log_old "
                   "WHERE changes IS NOT NULL OR undo IS NOT NULL;\n"
                   "DROP TABLE commit_log_old;\n";
    }
    return sql + "PRAGMA user_version = " + std::to_string(SQLSTORE_SCHEMA_VERSION);
}

// The schema of a store of that version, with the version itself.
std::string schema(int version = SQLSTORE_SCHEMA_VERSION, bool counted = true) {
    std::string devices =
        "CREATE TABLE remote_device (id INTEGER PRIMARY KEY, key INTEGER NOT NULL";
    for (int i = 1; i < fields; i++)
        devices += ", " + column(i) + " TEXT";
    std::string records = "CREATE TABLE config_record (id INTEGER PRIMARY KEY, tbl TEXT NOT NULL, "
                          "xnet TEXT, parent_port INTEGER";
    for (int i = 0; i < SQLSTORE_RECORD_COLUMNS; i++)
        records += ", c" + std::to_string(i) + " TEXT";
    return devices + ");\n" + "CREATE INDEX remote_device_by_key ON remote_device(key);\n" +
           records + ");\n" + (version >= 2 ? log_table(version, counted) + ";\n" : "") +
           "PRAGMA user_version = " + std::to_string(version) + ";\n";
}

// The texts of the prepared statements, in the order of Statement. Parameter
// 1 is the key, parameter i + 1 field i. A read-only handle's transactions
// take no write lock: nothing can write.
std::vector<std::string> statement_texts(bool read_only) {
    std::string get = "SELECT " + record_columns() + " FROM remote_device WHERE key = ?1";
    std::string set = "UPDATE remote_device SET ";
    std::string add = "INSERT INTO remote_device (" + record_columns() + ") VALUES (?1";
    // Only rows the update changes are written, so that a store's count of
    // changes says whether its content changed.
    std::string differs;
    for (int i = 1; i < fields; i++) {
        std::string p = "?" + std::to_string(i + 1);
        get += " AND (" + p + " IS NULL OR " + column(i) + " = " + p + ")";
        set += (i > 1 ? ", " : "") + column(i) + " = coalesce(" + p + ", " + column(i) + ")";
        differs += (i > 1 ? " OR " : "") + column(i) + " IS NOT coalesce(" + p + ", " + column(i) + ")";
        add += ", " + p;
    }
    return {read_only ? "BEGIN" : "BEGIN IMMEDIATE",
            "BEGIN",
            "COMMIT",
            "ROLLBACK",
            get + " ORDER BY id",
            set + " WHERE key = ?1 AND (" + differs + ")",
            add + ")",
            "SELECT dcbx_pending FROM remote_device WHERE key = ?1 ORDER BY id",
            "PRAGMA data_version"};
}

// The device key keeps its bits through SQLite's signed 64-bit integers.
sqlite3_int64 to_column(uintptr_t key) {
    return static_cast<sqlite3_int64>(static_cast<uint64_t>(key));
}
uintptr_t from_column(sqlite3_int64 key) {
    return static_cast<uintptr_t>(static_cast<uint64_t>(key));
}

const char *text_field(const remotedevice_record &record, int field) {
    if (field == 22) return record.dcbx_pending;
    return static_cast<const char *>(field < 22 ? record.store_a[field - 1]
                                                : record.store_b[field - 23]);
}

void set_text_field(remotedevice_record &record, int field, const char *text) {
    if (field == 22)
        record.dcbx_pending = text;
    else
        (field < 22 ? record.store_a[field - 1] : record.store_b[field - 23]) =
            const_cast<char *>(text);
}

int failure(sqlite3 *db) {
    return SQLSTORE_STATUS_BASE + sqlite3_extended_errcode(db);
}

// Steps a statement to its end and resets it, so no statement is left
// running when the transaction ends.
int run(sqlstore *store, sqlite3_stmt *statement) {
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    }
    int status = rc == SQLITE_DONE ? 0 : failure(store->db);
    sqlite3_reset(statement);
    return status;
}

// Binds the key to parameter 1 and each field's text (or null) to i + 1; the
// texts must outlive the statement's next step.
void bind_record(sqlite3_stmt *statement, uintptr_t key, const char *const texts[fields]) {
    sqlite3_bind_int64(statement, 1, to_column(key));
    for (int i = 1; i < fields; i++)
        sqlite3_bind_text(statement, i + 1, texts[i], -1, SQLITE_STATIC);
}

// The texts of a row of record_columns(): field i is column i.
void row_texts(sqlite3_stmt *statement, const char *texts[fields]) {
    texts[0] = nullptr;
    for (int i = 1; i < fields; i++)
        texts[i] = reinterpret_cast<const char *>(sqlite3_column_text(statement, i));
}

// Copies of the matching records. Each text is kept in one buffer, and the
// records point into it only once it is complete, as it may move while it grows.
struct ResultSet {
    std::string texts;
    std::vector<size_t> offsets; // per record and field 1 to 28; absent for null
    std::vector<remotedevice_record> records;
    static constexpr size_t absent = static_cast<size_t>(-1);

    void add(sqlite3_stmt *row) {
        const char *values[fields];
        row_texts(row, values);
        records.push_back({});
        records.back().key = from_column(sqlite3_column_int64(row, 0));
        for (int i = 1; i < fields; i++) {
            offsets.push_back(values[i] ? texts.size() : absent);
            if (values[i]) texts.append(values[i]).push_back('\0');
        }
    }

    void point_into_texts() {
        for (size_t r = 0; r < records.size(); r++)
            for (int i = 1; i < fields; i++) {
                size_t offset = offsets[r * (fields - 1) + i - 1];
                set_text_field(records[r], i, offset == absent ? nullptr : &texts[offset]);
            }
    }
};

sqlstore *from_handle(uintptr_t handle) {
    return reinterpret_cast<sqlstore *>(handle);
}

// SQLite rolls a transaction back by itself after some failures; the tavri_
// calls must then not go on in autocommit mode.
bool in_transaction(const sqlstore *store) {
    return store != nullptr && store->open && !sqlite3_get_autocommit(store->db);
}

// Runs a call's body, turning an allocation failure into a status.
template <typename Body> int guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return SQLSTORE_ERR_NO_MEMORY;
    }
}

// A single integer a query yields, or a status.
int query_int(sqlite3 *db, const char *sql, int &value) {
    sqlite3_stmt *statement = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    if (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW)
        value = sqlite3_column_int(statement, 0);
    sqlite3_finalize(statement);
    return rc == SQLITE_ROW ? 0 : rc;
}

const char not_a_store[] = "not a configuration store";

// Creates the schema in an empty database; refuses one that is not empty.
std::string create_schema(sqlite3 *db, bool counted = true) {
    int objects = 0;
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK ||
        query_int(db, "SELECT count(*) FROM sqlite_schema", objects) != 0)
        return sqlite3_errmsg(db);
    if (objects != 0) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return "file exists and is not empty";
    }
    if (sqlite3_exec(db, (schema(SQLSTORE_SCHEMA_VERSION, counted) + "COMMIT").c_str(), nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
        std::string reason = sqlite3_errmsg(db);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return reason;
    }
    return "";
}

// Reads only: a file that is not a store of this version stays untouched.
// Every row of a query, each field and row ended by a control character.
int rows_text(sqlite3 *db, const char *sql, std::string &out) {
    sqlite3_stmt *statement = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
        for (int i = 0; i < sqlite3_column_count(statement); i++) {
            const unsigned char *text = sqlite3_column_text(statement, i);
            out.append(text != nullptr ? reinterpret_cast<const char *>(text) : "").push_back('\x1f');
        }
        out.push_back('\x1e');
        rc = SQLITE_OK;
    }
    sqlite3_finalize(statement);
    return rc == SQLITE_DONE ? 0 : rc;
}

// Empty for a store of a version this program reads, else the reason.
std::string check_schema(sqlite3 *db) {
    int version = 0, tables = 0;
    int rc = query_int(db, "PRAGMA user_version", version);
    if (rc == 0)
        rc = query_int(db,
                       "SELECT count(*) FROM sqlite_schema WHERE type = 'table' "
                       "AND name IN ('remote_device', 'config_record')",
                       tables);
    if ((rc & 0xff) == SQLITE_NOTADB || (rc == 0 && tables == 0)) return not_a_store;
    if (rc != 0) return sqlite3_errmsg(db);
    if (version < SQLSTORE_OLDEST_VERSION || version > SQLSTORE_SCHEMA_VERSION)
        return "store version " + std::to_string(version) + ", this program reads versions " +
               std::to_string(SQLSTORE_OLDEST_VERSION) + " to " +
               std::to_string(SQLSTORE_SCHEMA_VERSION);
    if (tables != 2) return not_a_store;
    // Every object exactly as this program creates it: a trigger, a view or
    // a generated column of another's making would run inside our statements.
    sqlite3 *expected = nullptr;
    std::string ours, theirs;
    const char *objects = "SELECT type, name, tbl_name, sql FROM sqlite_schema ORDER BY type, name";
    if (sqlite3_open_v2(":memory:", &expected, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY,
                        nullptr) != SQLITE_OK ||
        sqlite3_exec(expected, schema(version).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK ||
        (rc = rows_text(expected, objects, ours)) != 0) {
        sqlite3_close(expected);
        return "cannot set up the schema to compare";
    }
    sqlite3_close(expected);
    if ((rc = rows_text(db, objects, theirs)) != 0) return sqlite3_errmsg(db);
    if (ours != theirs) return std::string(not_a_store) + " (its schema differs)";
    return "";
}

// An SQLite URI naming path, with query (parameters) appended.
std::string uri(const char *path, const char *query) {
    // "./" before a relative path: ":memory:" and other names SQLite
    // gives a meaning of its own are files here.
    std::string out = path[0] == '/' ? "file://" : "file:./";
    for (const char *c = path; *c != '\0'; c++) {
        if (*c == '%' || *c == '?' || *c == '#') {
            char escape[4];
            snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned char>(*c));
            out += escape;
        } else {
            out += *c;
        }
    }
    return out + (query[0] != '\0' ? "?" : "") + query;
}

// Opens a connection; the reason on failure, with *db closed and null.
std::string connect(sqlite3 **db, const std::string &name, int flags) {
    // A handle serves one thread at a time: its connection needs no mutex.
    int rc = sqlite3_open_v2(name.c_str(), db, flags | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    std::string reason = *db == nullptr ? sqlite3_errstr(rc) : rc != SQLITE_OK ? sqlite3_errmsg(*db) : "";
    if (!reason.empty()) {
        sqlite3_close_v2(*db);
        *db = nullptr;
        return reason;
    }
    sqlite3_extended_result_codes(*db, 1);
    // Functions in the schema could run with our rights; there are none in ours.
    sqlite3_db_config(*db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    return "";
}

// What a file is, found without writing to it or to anything beside it.
struct Identity {
    std::string reason;          // empty for a store of this version
    bool wal = false;            // in WAL mode, or a -wal beside it
    bool hot = false;            // a killed writer's journal beside it, to roll back
    bool journal_beside = false; // a journal, hot or not
    bool needs_recovery() const { return wal || hot; }
};

bool exists(const std::string &path) {
    struct stat file;
    return lstat(path.c_str(), &file) == 0;
}

// The schema of a file as a connection opened with flags finds it.
std::string schema_at(const std::string &name, int flags, storefile::Waiter &waiter, bool *hot) {
    sqlite3 *db = nullptr;
    std::string reason = connect(&db, name, flags);
    if (reason.empty()) {
        sqlite3_busy_handler(db, storefile::Waiter::busy, &waiter);
        reason = check_schema(db);
        // A journal that a killed writer left: reading would roll it back.
        if (hot != nullptr) *hot = sqlite3_extended_errcode(db) == SQLITE_READONLY_ROLLBACK;
    }
    sqlite3_close_v2(db);
    return reason;
}

Identity identify(const char *path, sqlstore *store) {
    Identity id;
    if (!(id.reason = store->file.open(path)).empty()) return id;
    unsigned char header[100];
    if (pread(store->file.descriptor(), header, sizeof header, 0) != sizeof header ||
        memcmp(header, "SQLite format 3", 16) != 0) {
        id.reason = not_a_store;
        return id;
    }
    const std::string journal = std::string(path) + "-journal";
    // A read-only connection writes nothing, but in WAL mode it would create
    // or write the -shm and -wal files beside the file.
    id.wal = header[18] == 2 || header[19] == 2 || exists(std::string(path) + "-wal");
    id.journal_beside = exists(journal);
    if (!id.wal) {
        store->waiter.start();
        if (store->file.enter(false, store->waiter)) {
            id.reason = schema_at(uri(path, "mode=ro"), SQLITE_OPEN_READONLY, store->waiter, &id.hot);
            store->file.leave();
        } else {
            id.reason = sqlite3_errstr(SQLITE_BUSY);
        }
        store->waiter.finish();
        if (!id.hot) return id;
    }
    // What the file holds once recovered decides, and recovering it would
    // write to it: a private copy of it and its journal or WAL is recovered
    // instead, and read.
    storefile::RecoveredCopy copy;
    if (!(id.reason = copy.make(path, store->file)).empty()) return id;
    id.reason = schema_at(uri(copy.path().c_str(), ""), SQLITE_OPEN_READWRITE, store->waiter, nullptr);
    return id;
}

// Whether the connection's file is still the one identified, at its path.
bool same_file(sqlite3 *db, const char *path, const storefile::File &file) {
    int moved = 1;
    struct stat now;
    return sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
           moved == 0 && stat(path, &now) == 0 && now.st_dev == file.device() &&
           now.st_ino == file.inode();
}

const char replaced[] = "the file was replaced while it was being opened";

// The store's journal mode: a rollback journal, so that a store no process
// writes is one file, which readers leave as they find it.
std::string set_journal(sqlite3 *db) {
    sqlite3_stmt *journal = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA journal_mode = DELETE", -1, &journal, nullptr);
    if (rc == SQLITE_OK && (rc = sqlite3_step(journal)) == SQLITE_ROW &&
        sqlite3_stricmp(reinterpret_cast<const char *>(sqlite3_column_text(journal, 0)), "delete") != 0)
        rc = SQLITE_BUSY;
    sqlite3_finalize(journal);
    if (rc != SQLITE_ROW)
        return std::string("cannot leave WAL mode while another process has the store open: ") +
               sqlite3_errstr(rc);
    if (sqlite3_exec(db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr) != SQLITE_OK)
        return sqlite3_errmsg(db);
    return "";
}

// Makes a store of ours whole: rolls back the journal a killed writer left
// (at the first read of a transaction that takes the write lock), leaves WAL
// mode, and removes a journal that no writer holds, which is then stale
// (left by a writer killed before its journal was complete). Empty on
// success, else the reason.
std::string recover(sqlstore *store, const char *path, bool wal) {
    sqlite3 *db = nullptr;
    std::string reason = connect(&db, uri(path, ""), SQLITE_OPEN_READWRITE);
    if (!reason.empty()) return reason;
    sqlite3_busy_handler(db, storefile::Waiter::busy, &store->waiter);
    store->waiter.start();
    if (!store->file.enter(true, store->waiter)) {
        store->waiter.finish();
        sqlite3_close_v2(db);
        return sqlite3_errstr(SQLITE_BUSY);
    }
    if (!same_file(db, path, store->file))
        reason = replaced;
    else if (wal && !(reason = set_journal(db)).empty()) {
    } else if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        reason = sqlite3_errmsg(db);
    } else {
        reason = check_schema(db);
        if (reason.empty() && unlink((std::string(path) + "-journal").c_str()) != 0 &&
            errno != ENOENT)
            reason = std::string("cannot remove the journal left beside it: ") + strerror(errno);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    store->waiter.finish();
    store->file.leave();
    sqlite3_close_v2(db);
    return reason;
}

// Opens store->db as mode asks; an empty result means success, else the reason.
std::string open_database(sqlstore *store, const char *path, sqlstore_mode mode) {
    std::string reason;
    const bool private_file = mode == SQLSTORE_CREATE_PRIVATE;
    if (mode == SQLSTORE_MEMORY) {
        if (!(reason = connect(&store->db, ":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY))
                 .empty() ||
            !(reason = create_schema(store->db)).empty())
            return reason;
    } else if (mode == SQLSTORE_CREATE || private_file) {
        struct stat file;
        if (stat(path, &file) == 0 && file.st_size > 0) return "file exists and is not empty";
        if (!(reason = connect(&store->db, uri(path, ""), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE))
                 .empty())
            return reason;
        // A file of its creator's alone until it is synced whole and moved
        // into place needs no journal and no syncs: a killed creator leaves
        // that file alone.
        if (private_file ? sqlite3_exec(store->db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF",
                                        nullptr, nullptr, nullptr) != SQLITE_OK &&
                               !(reason = sqlite3_errmsg(store->db)).empty()
                         : !(reason = set_journal(store->db)).empty())
            return reason;
        if (!(reason = create_schema(store->db, !private_file)).empty()) return reason;
        store->uncounted = private_file;
    } else {
        // The file is known for a store of ours before anything can write to it.
        Identity id = identify(path, store);
        if (!id.reason.empty()) return id.reason;
        const bool may_write = mode == SQLSTORE_READ_WRITE || mode == SQLSTORE_READ;
        if (id.needs_recovery() && !may_write)
            return "a killed writer's journal lies beside it (or it is in WAL mode), which "
                   "only a command that may write rolls back: run one without --read-only, on a "
                   "medium it can write (a copy of the file and its -journal, elsewhere, will do)";
        if (may_write && (id.needs_recovery() || id.journal_beside)) {
            reason = recover(store, path, id.wal);
            // A stale journal that cannot be removed harms no reader.
            if (!reason.empty() && id.needs_recovery())
                return "cannot recover from an interrupted write: " + reason +
                       " (a command that can write the file and its folder recovers it)";
        }
        bool read_only = mode != SQLSTORE_READ_WRITE;
        if (!(reason = connect(&store->db, uri(path, ""),
                               read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE))
                 .empty())
            return reason;
        if (!same_file(store->db, path, store->file)) return replaced;
        sqlite3_busy_handler(store->db, storefile::Waiter::busy, &store->waiter);
        if (!(reason = check_schema(store->db)).empty() ||
            (!read_only && !(reason = set_journal(store->db)).empty()))
            return reason;
    }
    sqlite3_busy_handler(store->db, storefile::Waiter::busy, &store->waiter);
    store->read_only = mode == SQLSTORE_READ_ONLY || mode == SQLSTORE_READ;
    std::vector<std::string> texts = statement_texts(store->read_only);
    for (int i = 0; i < STATEMENTS; i++) {
        if (sqlite3_prepare_v3(store->db, texts[i].c_str(), -1, SQLITE_PREPARE_PERSISTENT,
                               &store->statements[i], nullptr) != SQLITE_OK)
            return std::string(not_a_store) + ": " + sqlite3_errmsg(store->db);
    }
    return "";
}

// Whether the file the handle has open is no longer at its path (replaced,
// renamed or removed): writing on would write to a file nobody reads.
bool has_moved(sqlstore *store) {
    int moved = 0;
    return sqlite3_file_control(store->db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
           moved != 0;
}

std::optional<std::string> text(const char *value) {
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

// Keeps a call in the log while logging; returns its status. A log that
// cannot grow loses the line, never the call.
int log(sqlstore *store, LoggedCall call) noexcept {
    const int status = call.status;
    if (store != nullptr && store->logging) try {
            store->calls.push_back(std::move(call));
        } catch (const std::bad_alloc &) {
        }
    return status;
}
int log(sqlstore *store, const char *name, int status) noexcept {
    if (store == nullptr || !store->logging) return status;
    try {
        return log(store, LoggedCall{name, status, {}, {}});
    } catch (const std::bad_alloc &) {
        return status;
    }
}

// The store's version, as its file says; 0 where it cannot be read.
// A query of the handle's, reset for its next use when this goes; null
// when it could not be prepared.
class Asked {
  public:
    Asked(sqlstore *store, const std::string &text) {
        sqlstore::Query &query = store->queries[text];
        if (query.statement != nullptr && !query.busy) {
            statement_ = query.statement;
        } else if (sqlite3_prepare_v3(store->db, text.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement_,
                                      nullptr) != SQLITE_OK || query.statement != nullptr) {
            return; // not prepared, or a statement of its own
        }
        query.statement = statement_;
        query.busy = true;
        query_ = &query;
    }
    ~Asked() {
        if (query_ == nullptr) {
            sqlite3_finalize(statement_);
            return;
        }
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
        query_->busy = false;
    }
    Asked(const Asked &) = delete;
    Asked &operator=(const Asked &) = delete;
    sqlite3_stmt *get() const { return statement_; }

  private:
    sqlite3_stmt *statement_ = nullptr;
    sqlstore::Query *query_ = nullptr;
};

int version_of(sqlstore *store) {
    Asked version(store, "PRAGMA user_version");
    return version.get() != nullptr && sqlite3_step(version.get()) == SQLITE_ROW
               ? sqlite3_column_int(version.get(), 0)
               : 0;
}

// A store of an earlier version takes this version's log with the
// transaction that first writes to it (and keeps its old one if that is
// rolled back): inside the handle's open transaction.
int migrate(sqlstore *store) {
    const int version = version_of(store);
    if (version < SQLSTORE_SCHEMA_VERSION &&
        sqlite3_exec(store->db, migration(version).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        return failure(store->db);
    return 0;
}

enum RowStatement { EACH, ONE, INSERT, UPDATE, DELETE };

// A row statement of the handle, prepared on first use: the row's id is
// column 0 of what EACH yields, and the last parameter of UPDATE and DELETE.
int row_statement(sqlstore *store, sqlstore_table table, RowStatement kind, sqlite3_stmt *&out) {
    sqlite3_stmt *&statement = store->rows[table][kind];
    if (statement == nullptr) {
        const std::string name = table_names[table], columns = value_columns(table);
        std::string parameters, assignments;
        for (int i = 0; i < values_of(table); i++) {
            parameters += i == 0 ? "?" : ", ?";
            assignments += (i == 0 ? "" : ", ") + value_column(table, i) + " = ?";
        }
        const std::string texts[] = {
            "SELECT id, " + columns + " FROM " + name + " ORDER BY id",
            "SELECT id, " + columns + " FROM " + name + " WHERE id = ?",
            "INSERT INTO " + name + " (" + columns + ", id) VALUES (" + parameters + ", nullif(?, 0))",
            "UPDATE " + name + " SET " + assignments + " WHERE id = ?",
            "DELETE FROM " + name + " WHERE id = ?"};
        if (sqlite3_prepare_v3(store->db, texts[kind].c_str(), -1, SQLITE_PREPARE_PERSISTENT,
                               &statement, nullptr) != SQLITE_OK)
            return failure(store->db);
    }
    out = statement;
    return 0;
}

// Binds a row's values from parameter 1 on, and the id after them.
int write_row(sqlstore *store, sqlstore_table table, RowStatement kind, const sqlstore_value *values,
              int64_t id) {
    sqlite3_stmt *statement = nullptr;
    if (int status = row_statement(store, table, kind, statement)) return status;
    int count = values != nullptr ? values_of(table) : 0;
    for (int i = 0; i < count; i++) {
        const sqlstore_value &value = values[i];
        if (value.type == SQLSTORE_TEXT)
            sqlite3_bind_text(statement, i + 1, value.text, static_cast<int>(value.size), SQLITE_STATIC);
        else if (value.type == SQLSTORE_INTEGER)
            sqlite3_bind_int64(statement, i + 1, value.integer);
        else
            sqlite3_bind_null(statement, i + 1);
    }
    if (kind != EACH && kind != ONE) sqlite3_bind_int64(statement, count + 1, id);
    int status = run(store, statement);
    sqlite3_clear_bindings(statement);
    return status;
}

// The count of config_record's writes, or -1 where the store keeps none.
int record_writes(sqlstore *store, int64_t &writes) {
    writes = -1;
    if (version_of(store) < 5) return 0;
    Asked count(store, "SELECT n FROM record_writes");
    if (count.get() == nullptr || sqlite3_step(count.get()) != SQLITE_ROW) return failure(store->db);
    writes = sqlite3_column_int64(count.get(), 0);
    return 0;
}

// Begins a transaction once the handle's turn has come: a writer's (with the
// write lock, unless the handle only reads) or a reader's. A writer's knows
// how many writes of records came before it.
int begin(sqlstore *store, bool write) {
    write = write && !store->read_only;
    store->waiter.start();
    int status = SQLSTORE_STATUS_BASE + SQLITE_BUSY;
    if (store->file.enter(write, store->waiter)) {
        status = run(store, store->statements[write || store->read_only ? BEGIN : BEGIN_READ]);
        if (status == 0 && write && (status = record_writes(store, store->writes_at_begin)) != 0)
            run(store, store->statements[ROLLBACK]);
        if (status != 0) store->file.leave();
    }
    store->waiter.finish();
    return status;
}

// Ends a transaction: its statement's status, and the turn given up when it
// ran.
int end(sqlstore *store, Statement statement) {
    store->waiter.start();
    int status = run(store, store->statements[statement]);
    store->waiter.finish();
    if (sqlite3_get_autocommit(store->db)) store->file.leave();
    return status;
}

} // namespace

extern "C" {

int tavri_transaction_start(uintptr_t handle) {
    sqlstore *store = from_handle(handle);
    if (store == nullptr) return SQLSTORE_ERR_NO_TRANSACTION;
    int status;
    // Also a transaction the host opened itself: starting would join it.
    if (store->open || !sqlite3_get_autocommit(store->db)) {
        store->refused_starts++;
        status = SQLSTORE_ERR_NESTED;
    } else if (has_moved(store)) {
        status = SQLSTORE_ERR_MOVED;
    } else {
        status = begin(store, true);
        store->open = status == 0;
    }
    log(store, "tavri_transaction_start", status);
    return status;
}

int tavri_transaction_commit(uintptr_t handle) {
    sqlstore *store = from_handle(handle);
    if (!in_transaction(store)) return log(store, "tavri_transaction_commit", SQLSTORE_ERR_NO_TRANSACTION);
    int status = end(store, COMMIT);
    if (status == 0) {
        store->open = false;
        store->refused_starts = 0;
    }
    return log(store, "tavri_transaction_commit", status);
}

void tavri_transaction_abort(uintptr_t handle) {
    sqlstore *store = from_handle(handle);
    if (store == nullptr) return;
    log(store, "tavri_transaction_abort", 0);
    // The abort that follows a refused start leaves the open transaction alone.
    if (store->refused_starts > 0) {
        store->refused_starts--;
        return;
    }
    if (!store->open) return;
    if (!sqlite3_get_autocommit(store->db))
        end(store, ROLLBACK);
    else
        store->file.leave(); // SQLite rolled it back already
    store->open = false;
}

int tavri_remotedevice_get(uintptr_t handle, const remotedevice_record *query, void **out_results,
                           remotedevice_record **out_first, int *out_count) {
    *out_results = nullptr;
    *out_first = nullptr;
    *out_count = 0;
    sqlstore *store = from_handle(handle);
    LoggedCall call{"tavri_remotedevice_get", 0, {}, {}};
    call.status = guarded([=, &call] {
        if (!in_transaction(store)) return static_cast<int>(SQLSTORE_ERR_NO_TRANSACTION);
        sqlite3_stmt *get = store->statements[GET];
        const char *texts[fields];
        for (int i = 1; i < fields; i++)
            texts[i] = text_field(*query, i);
        bind_record(get, query->key, texts);

        // Reset on every way out, an allocation failure's too.
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> reset(get, sqlite3_reset);
        auto set = std::make_unique<ResultSet>();
        int rc;
        while ((rc = sqlite3_step(get)) == SQLITE_ROW)
            set->add(get);
        if (rc != SQLITE_DONE) return failure(store->db);
        set->point_into_texts();
        if (store->logging)
            for (const remotedevice_record &record : set->records)
                call.before.push_back(text(record.dcbx_pending));
        *out_first = set->records.empty() ? nullptr : set->records.data();
        *out_count = static_cast<int>(set->records.size());
        *out_results = set.release();
        return 0;
    });
    return log(store, std::move(call));
}

int tavri_remotedevice_set(uintptr_t handle, uintptr_t device_key,
                           const remotedevice_record *update) {
    sqlstore *store = from_handle(handle);
    LoggedCall call{"tavri_remotedevice_set", 0, {}, {}};
    call.status = guarded([=, &call] {
        if (store != nullptr && store->logging) call.written = text(update->dcbx_pending);
        if (!in_transaction(store)) return static_cast<int>(SQLSTORE_ERR_NO_TRANSACTION);
        // The device is named by device_key; a key in the update would rename it.
        if (update->key != 0) return static_cast<int>(SQLSTORE_ERR_FIELD);
        const char *texts[fields];
        bool writes = false;
        for (int i = 1; i < fields; i++) {
            texts[i] = text_field(*update, i);
            writes = writes || texts[i] != nullptr;
        }
        if (!writes) return 0;
        if (store->logging) {
            // The values the write replaces, read inside its transaction.
            sqlite3_stmt *values = store->statements[VALUES];
            sqlite3_bind_int64(values, 1, to_column(device_key));
            std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> reset(values, sqlite3_reset);
            int rc;
            while ((rc = sqlite3_step(values)) == SQLITE_ROW)
                call.before.push_back(
                    text(reinterpret_cast<const char *>(sqlite3_column_text(values, 0))));
            if (rc != SQLITE_DONE) return failure(store->db);
        }
        bind_record(store->statements[SET], device_key, texts);
        return run(store, store->statements[SET]);
    });
    return log(store, std::move(call));
}

void tavri_results_free(uintptr_t, void *results) {
    delete static_cast<ResultSet *>(results);
}

sqlstore *sqlstore_open(const char *path, sqlstore_mode mode, char *error, size_t error_size) {
    return sqlstore_open_waiting(path, mode, default_busy_timeout_ms, error, error_size);
}

sqlstore *sqlstore_open_waiting(const char *path, sqlstore_mode mode, int wait_ms, char *error,
                                size_t error_size) {
    std::string reason;
    try {
        auto store = std::make_unique<sqlstore>();
        store->waiter.set_timeout(wait_ms);
        reason = open_database(store.get(), path, mode);
        if (reason.empty()) {
            if (error_size > 0) error[0] = '\0';
            return store.release();
        }
    } catch (const std::bad_alloc &) {
        reason = "out of memory";
    }
    if (error_size > 0) snprintf(error, error_size, "%s", reason.c_str());
    return nullptr;
}

void sqlstore_close(sqlstore *store) {
    delete store;
}

uintptr_t sqlstore_handle(sqlstore *store) {
    return reinterpret_cast<uintptr_t>(store);
}

sqlite3 *sqlstore_db(sqlstore *store) {
    return store->db;
}

void sqlstore_log_calls(sqlstore *store, int on) {
    store->logging = on != 0;
    store->calls.clear();
}

int sqlstore_each_call(sqlstore *store, store_call_visitor visit, void *context) {
    return guarded([=] { return visit_calls(store->calls, visit, context); });
}

void sqlstore_set_busy_timeout(sqlstore *store, int milliseconds) {
    store->waiter.set_timeout(milliseconds);
}

int sqlstore_read_begin(sqlstore *store) {
    if (store->open || store->reading || !sqlite3_get_autocommit(store->db)) return SQLSTORE_ERR_NESTED;
    int status = begin(store, false);
    store->reading = status == 0;
    return status;
}

int sqlstore_read_end(sqlstore *store) {
    if (!store->reading) return SQLSTORE_ERR_NO_TRANSACTION;
    store->reading = false;
    int status = end(store, COMMIT);
    if (status != 0 && !sqlite3_get_autocommit(store->db)) end(store, ROLLBACK);
    return status;
}

const char *sqlstore_engine(void) {
    static const std::string engine = std::string("SQLite ") + sqlite3_libversion();
    return engine.c_str();
}

const char *sqlstore_status_text(int status) {
    switch (status) {
    case SQLSTORE_ERR_NO_TRANSACTION:
        return "no transaction is open on the store handle";
    case SQLSTORE_ERR_NESTED:
        return "a transaction is already open on the store handle";
    case SQLSTORE_ERR_FIELD:
        return "the update sets the device key";
    case SQLSTORE_ERR_NO_MEMORY:
        return "out of memory";
    case SQLSTORE_ERR_MOVED:
        return "the store file was replaced or removed since it was opened";
    }
    if (status == 0 || (status > SQLSTORE_STATUS_BASE && status <= SQLSTORE_STATUS_BASE + 0xffff))
        return sqlite3_errstr(status == 0 ? SQLITE_OK : status - SQLSTORE_STATUS_BASE);
    return "unknown status";
}

int sqlstore_add_device(sqlstore *store, uintptr_t key, const char *const texts[SQLSTORE_FIELDS]) {
    bind_record(store->statements[ADD], key, texts);
    return run(store, store->statements[ADD]);
}

int sqlstore_each_device(sqlstore *store, const uintptr_t *key, sqlstore_device_visitor visit,
                         void *context) {
    return guarded([=] {
        // Prepared afresh on each call, so that a visitor may walk again.
        std::string text = "SELECT " + record_columns() + " FROM remote_device" +
                           (key ? " WHERE key = ?1" : "") + " ORDER BY id";
        sqlite3_stmt *each = nullptr;
        if (sqlite3_prepare_v2(store->db, text.c_str(), -1, &each, nullptr) != SQLITE_OK)
            return failure(store->db);
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> finalize(each, sqlite3_finalize);
        if (key) sqlite3_bind_int64(each, 1, to_column(*key));
        int rc;
        while ((rc = sqlite3_step(each)) == SQLITE_ROW) {
            const char *texts[fields];
            row_texts(each, texts);
            if (int stop = visit(context, from_column(sqlite3_column_int64(each, 0)), texts))
                return stop;
        }
        return rc == SQLITE_DONE ? 0 : failure(store->db);
    });
}

uint64_t sqlstore_changes(sqlstore *store) {
    return static_cast<uint64_t>(sqlite3_total_changes64(store->db));
}

const char *sqlstore_table_name(sqlstore_table table) {
    return table_names[table];
}

const char *sqlstore_value_name(sqlstore_table table, int value) {
    static const std::vector<std::string> names[2] = {
        [] {
            std::vector<std::string> out;
            for (int i = 0; i < SQLSTORE_RECORD_VALUES; i++)
                out.push_back(value_column(SQLSTORE_CONFIG_RECORDS, i));
            return out;
        }(),
        [] {
            std::vector<std::string> out;
            for (int i = 0; i < SQLSTORE_DEVICE_VALUES; i++)
                out.push_back(value_column(SQLSTORE_REMOTE_DEVICES, i));
            return out;
        }()};
    return value >= 0 && value < values_of(table) ? names[table][value].c_str() : "";
}

namespace {

// Hands each row a statement yields, until it is done, to the visitor.
int visit_rows(sqlstore *store, sqlstore_table table, sqlite3_stmt *rows, sqlstore_row_visitor visit,
               void *context) {
    std::vector<sqlstore_value> values(static_cast<size_t>(values_of(table)));
    int rc;
    while ((rc = sqlite3_step(rows)) == SQLITE_ROW) {
        for (int i = 0; i < values_of(table); i++) {
            sqlstore_value &value = values[static_cast<size_t>(i)];
            int type = sqlite3_column_type(rows, i + 1);
            value.type = type == SQLITE_NULL      ? SQLSTORE_NULL
                         : type == SQLITE_TEXT    ? SQLSTORE_TEXT
                         : type == SQLITE_INTEGER ? SQLSTORE_INTEGER
                                                  : SQLSTORE_OTHER;
            value.integer = sqlite3_column_int64(rows, i + 1);
            // The text before its size, as SQLite asks.
            value.text =
                type == SQLITE_TEXT ? reinterpret_cast<const char *>(sqlite3_column_text(rows, i + 1)) : nullptr;
            value.size = value.text ? static_cast<size_t>(sqlite3_column_bytes(rows, i + 1)) : 0;
        }
        if (int stop = visit(context, sqlite3_column_int64(rows, 0), values.data())) return stop;
    }
    return rc == SQLITE_DONE ? 0 : failure(store->db);
}

} // namespace

int sqlstore_each_row(sqlstore *store, sqlstore_table table, sqlstore_row_visitor visit, void *context) {
    return guarded([=] {
        sqlite3_stmt *each = nullptr;
        if (int status = row_statement(store, table, EACH, each)) return status;
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> reset(each, sqlite3_reset);
        return visit_rows(store, table, each, visit, context);
    });
}

int sqlstore_each_row_of(sqlstore *store, sqlstore_table table, const int64_t *ids, size_t count,
                         sqlstore_row_visitor visit, void *context) {
    return guarded([=] {
        sqlite3_stmt *one = nullptr;
        if (int status = row_statement(store, table, ONE, one)) return status;
        for (size_t i = 0; i < count; i++) {
            std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> reset(one, sqlite3_reset);
            sqlite3_bind_int64(one, 1, ids[i]);
            if (int status = visit_rows(store, table, one, visit, context)) return status;
        }
        return 0;
    });
}

int sqlstore_data_version(sqlstore *store, int64_t *version) {
    return guarded([=] {
        // Asked at every change in the store's folder: prepared once.
        sqlite3_stmt *pragma = store->statements[DATA_VERSION];
        const bool row = sqlite3_step(pragma) == SQLITE_ROW;
        const int status = row ? 0 : failure(store->db);
        if (row) *version = sqlite3_column_int64(pragma, 0);
        sqlite3_reset(pragma);
        return status;
    });
}

namespace {

// The counts of config_record's writes as commit seq's transaction began
// and now, as it is logged.
int log_writes(sqlstore *store, int64_t seq) {
    Asked insert(store, "INSERT INTO commit_writes (seq, writes_before, writes_after) "
                        "VALUES (?1, nullif(?2, -1), (SELECT n FROM record_writes))");
    if (insert.get() == nullptr) return failure(store->db);
    sqlite3_bind_int64(insert.get(), 1, seq);
    sqlite3_bind_int64(insert.get(), 2, store->writes_at_begin);
    return sqlite3_step(insert.get()) == SQLITE_DONE ? 0 : failure(store->db);
}

} // namespace

int sqlstore_log_commit(sqlstore *store, const sqlstore_commit *commit, int import, int64_t *seq) {
    return guarded([=] {
        if (!in_transaction(store)) return static_cast<int>(SQLSTORE_ERR_NO_TRANSACTION);
        if (int status = migrate(store)) return status;
        if (store->uncounted) {
            const std::string count = std::string(count_triggers) +
                                      ";\nUPDATE record_writes SET n = (SELECT count(*) FROM config_record)";
            if (sqlite3_exec(store->db, count.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
                return failure(store->db);
            store->uncounted = false;
        }
        sqlite3_stmt *insert = nullptr;
        if (sqlite3_prepare_v2(store->db,
                               "INSERT INTO commit_log (seq, time, uid, user, command, added, changed, "
                               "removed, undo_kept, digest, deadline) VALUES (CASE WHEN ?1 THEN 0 "
                               "ELSE (SELECT coalesce(max(seq), 0) + 1 FROM commit_log) END, "
                               "?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, nullif(?11, 0)) RETURNING seq",
                               -1, &insert, nullptr) != SQLITE_OK)
            return failure(store->db);
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> finalize(insert, sqlite3_finalize);
        sqlite3_bind_int(insert, 1, import != 0);
        sqlite3_bind_int64(insert, 2, commit->time);
        sqlite3_bind_int64(insert, 3, commit->uid);
        sqlite3_bind_text(insert, 4, commit->user, -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 5, commit->command, -1, SQLITE_STATIC);
        sqlite3_bind_int64(insert, 6, commit->added);
        sqlite3_bind_int64(insert, 7, commit->changed);
        sqlite3_bind_int64(insert, 8, commit->removed);
        sqlite3_bind_int(insert, 9, commit->undo != nullptr);
        // SQLite keeps 64 bits signed: the digest's bits as they are.
        if (commit->has_digest != 0)
            sqlite3_bind_int64(insert, 10, static_cast<int64_t>(commit->digest));
        else
            sqlite3_bind_null(insert, 10);
        sqlite3_bind_int64(insert, 11, commit->deadline);
        if (sqlite3_step(insert) != SQLITE_ROW) return failure(store->db);
        const int64_t logged = sqlite3_column_int64(insert, 0);
        if (sqlite3_step(insert) != SQLITE_DONE) return failure(store->db);
        if (seq != nullptr) *seq = logged;
        if (int status = log_writes(store, logged)) return status;
        if (commit->changes == nullptr && commit->undo == nullptr) return 0;
        sqlite3_stmt *texts = nullptr;
        if (sqlite3_prepare_v2(store->db, "INSERT INTO commit_text (seq, changes, undo) VALUES (?1, ?2, ?3)",
                               -1, &texts, nullptr) != SQLITE_OK)
            return failure(store->db);
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> finalize_texts(texts, sqlite3_finalize);
        sqlite3_bind_int64(texts, 1, logged);
        sqlite3_bind_text(texts, 2, commit->changes, -1, SQLITE_STATIC);
        sqlite3_bind_text(texts, 3, commit->undo, -1, SQLITE_STATIC);
        return sqlite3_step(texts) == SQLITE_DONE ? 0 : failure(store->db);
    });
}

namespace {

// Visits the commits of the log that a condition on ?1 picks, in an order;
// where_order names the log's sequence number commit_log.seq, as the texts
// may be joined to it.
int each_commit(sqlstore *store, int64_t seq, bool summaries, const std::string &where_order,
                sqlstore_commit_visitor visit, void *context) {
    return guarded([=] {
        const int version = version_of(store);
        if (version < 2) return 0;
        // Before version 3 a commit has no digest nor deadline; before
        // version 4 its texts are in its own row.
        const char *texts = summaries    ? (version >= 4 ? "NULL, CASE WHEN undo_kept THEN '' END"
                                                         : "NULL, CASE WHEN undo IS NULL THEN NULL ELSE '' END")
                            : version >= 4 ? "commit_text.changes, commit_text.undo"
                                           : "changes, undo";
        const std::string text =
            std::string("SELECT commit_log.seq, time, uid, user, command, added, changed, removed, ") + texts +
            (version >= 3 ? ", digest, deadline" : ", NULL, NULL") +
            (version >= 5 ? ", writes_before, writes_after" : ", NULL, NULL") + " FROM commit_log " +
            (version >= 4 && !summaries ? "LEFT JOIN commit_text ON commit_text.seq = commit_log.seq " : "") +
            (version >= 5 ? "LEFT JOIN commit_writes ON commit_writes.seq = commit_log.seq " : "") + where_order;
        Asked query(store, text);
        sqlite3_stmt *each = query.get();
        if (each == nullptr) return failure(store->db);
        if (sqlite3_bind_parameter_count(each) > 0) sqlite3_bind_int64(each, 1, seq);
        int rc;
        while ((rc = sqlite3_step(each)) == SQLITE_ROW) {
            auto text = [&](int column) {
                return reinterpret_cast<const char *>(sqlite3_column_text(each, column));
            };
            auto integer = [&](int column) { return sqlite3_column_int64(each, column); };
            const sqlstore_commit commit{integer(0),
                                         integer(1),
                                         integer(2),
                                         text(3),
                                         text(4),
                                         integer(5),
                                         integer(6),
                                         integer(7),
                                         text(8),
                                         text(9),
                                         sqlite3_column_type(each, 10) != SQLITE_NULL,
                                         static_cast<uint64_t>(integer(10)),
                                         integer(11),
                                         sqlite3_column_type(each, 12) != SQLITE_NULL,
                                         sqlite3_column_type(each, 13) != SQLITE_NULL,
                                         integer(12),
                                         integer(13)};
            if (int stop = visit(context, &commit)) return stop;
        }
        return rc == SQLITE_DONE ? 0 : failure(store->db);
    });
}

} // namespace

// A condition of its own for one commit, so that SQLite finds it by its key
// rather than reading the whole log.
int sqlstore_each_commit(sqlstore *store, int64_t seq, int summaries, sqlstore_commit_visitor visit,
                         void *context) {
    return each_commit(store, seq, summaries != 0,
                       seq < 0 ? "ORDER BY commit_log.seq DESC" : "WHERE commit_log.seq = ?1", visit,
                       context);
}

int sqlstore_each_commit_since(sqlstore *store, int64_t seq, sqlstore_commit_visitor visit, void *context) {
    return each_commit(store, seq, false, "WHERE commit_log.seq > ?1 ORDER BY commit_log.seq", visit,
                       context);
}

int sqlstore_newest_commit(sqlstore *store, sqlstore_commit_visitor visit, void *context) {
    return each_commit(store, 0, true, "ORDER BY commit_log.seq DESC LIMIT 1", visit, context);
}

int sqlstore_awaiting_commit(sqlstore *store, sqlstore_commit_visitor visit, void *context) {
    // Only version 3 on keeps deadlines; from version 4 an index holds the
    // commits that have one.
    if (version_of(store) < 3) return 0;
    return each_commit(store, 0, true, "WHERE deadline <> 0 ORDER BY commit_log.seq DESC LIMIT 1", visit,
                       context);
}

namespace {

// Runs one statement of the log, with its two integer parameters, inside
// the handle's open transaction of a store with this version's log; the
// rows it changed go to *changed, unless that is null.
int change_log(sqlstore *store, const char *text, int64_t first, int64_t second, int64_t *changed) {
    return guarded([=] {
        if (!in_transaction(store)) return static_cast<int>(SQLSTORE_ERR_NO_TRANSACTION);
        if (int status = migrate(store)) return status;
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(store->db, text, -1, &statement, nullptr) != SQLITE_OK)
            return failure(store->db);
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> finalize(statement, sqlite3_finalize);
        sqlite3_bind_int64(statement, 1, first);
        if (sqlite3_bind_parameter_count(statement) > 1) sqlite3_bind_int64(statement, 2, second);
        if (sqlite3_step(statement) != SQLITE_DONE) return failure(store->db);
        if (changed != nullptr) *changed = sqlite3_changes64(store->db);
        return 0;
    });
}

} // namespace

int sqlstore_record_writes(sqlstore *store, int64_t *writes) {
    return guarded([=] { return record_writes(store, *writes); });
}

int sqlstore_set_deadline(sqlstore *store, int64_t seq, int64_t deadline) {
    return change_log(store, "UPDATE commit_log SET deadline = nullif(?2, 0) WHERE seq = ?1", seq,
                      deadline, nullptr);
}

int sqlstore_drop_texts(sqlstore *store, int64_t seq, int64_t *dropped) {
    int64_t deleted = 0;
    int status = change_log(store, "DELETE FROM commit_text WHERE seq < ?1", seq, 0, &deleted);
    if (status == 0)
        status = change_log(store, "UPDATE commit_log SET undo_kept = 0 WHERE seq < ?1 AND undo_kept <> 0",
                            seq, 0, nullptr);
    if (status == 0 && dropped != nullptr) *dropped = deleted;
    return status;
}

int sqlstore_insert_row(sqlstore *store, sqlstore_table table, int64_t id, const sqlstore_value *values,
                        int64_t *inserted) {
    int status = write_row(store, table, INSERT, values, id);
    if (status == 0 && inserted != nullptr) *inserted = sqlite3_last_insert_rowid(store->db);
    return status;
}

int sqlstore_update_row(sqlstore *store, sqlstore_table table, int64_t id, const sqlstore_value *values) {
    return write_row(store, table, UPDATE, values, id);
}

int sqlstore_delete_row(sqlstore *store, sqlstore_table table, int64_t id) {
    return write_row(store, table, DELETE, nullptr, id);
}

} // extern "C"

// The store of a build with SQLite: sqlstore, in memory for a dump's remote
// devices or in a store file that also holds the configuration records.
#include "store/store.h"

#include "sqlstore.h"
#include "input/text.h"
#include "tavri.h"

#include <charconv>
#include <cstdio>
#include <climits>
#include <unordered_map>
#include <optional>
#include <new>

struct StoreImpl {
    sqlstore *store = nullptr;
    std::string name; // for messages
    int wait_ms = 0;  // for a lock another process holds
    uint8_t records_source = 0, devices_source = 0;
    // Every statement of this connection, prepared on first use, by its text.
    std::unordered_map<std::string, sqlite3_stmt *> prepared;

    sqlite3 *db() const { return sqlstore_db(store); }
    [[noreturn]] void fail() const { fail(sqlite3_errmsg(db())); }
    // The store's name and the reason; for a lock held past the wait, whose
    // reason names no one, who holds it and what to do.
    [[noreturn]] void fail(const std::string &reason) const {
        if (reason != sqlite3_errstr(SQLITE_BUSY)) throw Failure(name + ": " + reason);
        char seconds[32];
        snprintf(seconds, sizeof seconds, "%g", wait_ms / 1000.0);
        throw Failure(name + ": locked by another process, which held it for longer than the " +
                      seconds + " seconds waited; try again, or wait longer with --wait SECONDS");
    }
    void check(int rc) const {
        if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) fail();
    }
};

namespace {

constexpr int record_columns = 20; // c0 to c19 of config_record

// A statement of the connection, prepared once; reset on every path, so
// that no statement is left running.
class Statement {
  public:
    Statement(StoreImpl &store, const std::string &sql) : store_(store) {
        sqlite3_stmt *&prepared = store.prepared[sql];
        if (prepared == nullptr)
            store.check(sqlite3_prepare_v3(store.db(), sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT,
                                           &prepared, nullptr));
        statement_ = prepared;
    }
    ~Statement() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // A text bound stays where it is until the statement has run: a
    // record's, or a constant.
    void bind(int index, const char *text) {
        store_.check(text != nullptr ? sqlite3_bind_text(statement_, index, text, -1, SQLITE_STATIC)
                                     : sqlite3_bind_null(statement_, index));
    }
    void bind(int index, std::string_view text) {
        store_.check(sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                                       SQLITE_STATIC));
    }
    void bind(int index, int64_t value) {
        store_.check(sqlite3_bind_int64(statement_, index, value));
    }
    // True while there is a row.
    bool step() {
        int rc = sqlite3_step(statement_);
        store_.check(rc);
        return rc == SQLITE_ROW;
    }
    const char *text(int column) const {
        return reinterpret_cast<const char *>(sqlite3_column_text(statement_, column));
    }
    int64_t integer(int column) const { return sqlite3_column_int64(statement_, column); }
    int type(int column) const { return sqlite3_column_type(statement_, column); }
    int bytes(int column) const { return sqlite3_column_bytes(statement_, column); }

  private:
    StoreImpl &store_;
    sqlite3_stmt *statement_ = nullptr;
};

std::string field_column(int field) {
    return field == REMOTE_DEVICE_DCBX_PENDING ? "dcbx_pending" : "f" + std::to_string(field);
}

std::string list(const char *prefix, int from, int to, std::string (*name)(int)) {
    std::string out;
    for (int i = from; i < to; i++)
        out += (out.empty() ? "" : ", ") + (name != nullptr ? name(i) : prefix + std::to_string(i));
    return out;
}

std::string placeholders(int count) {
    std::string out;
    for (int i = 0; i < count; i++)
        out += i == 0 ? "?" : ", ?";
    return out;
}

// A remote device's 29 fields as the store wants them: field 0 unused.
std::array<const char *, MAX_COLUMNS> device_fields(const Record &device) {
    auto columns = device.columns();
    std::array<const char *, MAX_COLUMNS> fields{};
    for (int n = 1; n < MAX_COLUMNS; n++)
        fields[n] = columns[n];
    return fields;
}

} // namespace

std::string Store::engine() {
    return std::string("SQLite ") + sqlite3_libversion();
}

Store::Store() : impl_(new StoreImpl) {
    char error[256];
    impl_->name = "<memory>";
    impl_->store = sqlstore_open(nullptr, SQLSTORE_MEMORY, error, sizeof error);
    if (impl_->store == nullptr) throw Failure(std::string("confmodel-host: ") + error);
}

Store::Store(const std::string &path, Open mode, int wait_ms) : impl_(new StoreImpl) {
    char error[512];
    impl_->name = escaped(path);
    impl_->wait_ms = wait_ms;
    // A store being created is a file of its creator's alone, synced whole
    // before it takes its name.
    impl_->store = sqlstore_open_waiting(path.c_str(),
                                         mode == Open::read         ? SQLSTORE_READ
                                         : mode == Open::read_only  ? SQLSTORE_READ_ONLY
                                         : mode == Open::read_write ? SQLSTORE_READ_WRITE
                                                                    : SQLSTORE_CREATE_PRIVATE,
                                         wait_ms, error, sizeof error);
    if (impl_->store == nullptr) impl_->fail(escaped(error));
    impl_->records_source = register_source(impl_->name + ":config_record");
    impl_->devices_source = register_source(impl_->name + ":remote_device");
}

Store::~Store() {
    for (auto &[sql, statement] : impl_->prepared)
        sqlite3_finalize(statement);
    sqlstore_close(impl_->store);
}

uintptr_t Store::handle() const {
    return sqlstore_handle(impl_->store);
}

std::string Store::status_text(int status) const {
    return sqlstore_status_text(status);
}

void Store::log_calls() {
    sqlstore_log_calls(impl_->store, 1);
}

std::vector<StoreCall> Store::calls() const {
    std::vector<StoreCall> out;
    if (sqlstore_each_call(impl_->store, keep_call, &out) != 0) throw std::bad_alloc();
    return out;
}

void Store::add(const Record &device) {
    auto fields = device_fields(device);
    int status = sqlstore_add_device(impl_->store, device_key(device), fields.data());
    if (status == SQLSTORE_ERR_NO_MEMORY) throw std::bad_alloc();
    if (status != 0) impl_->fail(sqlstore_status_text(status));
}

namespace {

// Writes a device's key and fields into the rows where `column` holds value.
void rewrite_device(StoreImpl &store, const char *column, int64_t value,
                    const Record &device) {
    Statement update(store, "UPDATE remote_device SET (key, " +
                                list(nullptr, 1, MAX_COLUMNS, field_column) + ") = (" +
                                placeholders(MAX_COLUMNS) + ") WHERE " + column + " = ?");
    update.bind(1, static_cast<int64_t>(device_key(device)));
    auto columns = device.columns();
    for (int n = 1; n < MAX_COLUMNS; n++)
        update.bind(1 + n, columns[n]);
    update.bind(MAX_COLUMNS + 1, value);
    update.step();
}

} // namespace

namespace {

// A row's fields as a dump's line would hold them, refused where no dump
// line could hold them: a value of the wrong type, a text with a NUL or that
// is no UTF-8, a row longer than a line may be.
class RowReader {
  public:
    RowReader(Statement &row, uint8_t source, size_t max_row)
        : row_(row), source_(source), max_row_(max_row) {}

    uint32_t line() {
        int64_t id = row_.integer(0);
        if (row_.type(0) != SQLITE_INTEGER || id < 1 || id > UINT32_MAX)
            throw Failure(source_name(source_) + ": a row's id is beyond what this program numbers");
        line_ = static_cast<uint32_t>(id);
        bytes_ = 0;
        return line_;
    }

    // The text of a TEXT or NULL column, null for NULL; SQLite's, until the
    // next row.
    std::optional<std::string_view> text(int column, const char *name) {
        int type = row_.type(column);
        if (type == SQLITE_NULL) return std::nullopt;
        if (type != SQLITE_TEXT) fail(std::string(name) + " is not a text");
        const char *text = row_.text(column); // before the length, as SQLite asks
        std::string_view value(text, static_cast<size_t>(row_.bytes(column)));
        if ((bytes_ += value.size()) > max_row_)
            fail("the row is longer than " + std::to_string(max_row_) +
                 " bytes (--max-line raises the limit)");
        if (value.find('\0') != std::string_view::npos) fail(std::string(name) + " holds a NUL character");
        if (!is_utf8(value)) fail(std::string(name) + " is no UTF-8 text: " + quote(value));
        return value;
    }

    // An INTEGER or NULL column within [min, max].
    std::optional<int64_t> integer(int column, const char *name, int64_t min, int64_t max) {
        if (row_.type(column) == SQLITE_NULL) return std::nullopt;
        int64_t value = row_.integer(column);
        if (row_.type(column) != SQLITE_INTEGER || value < min || value > max)
            fail(std::string(name) + " is not an integer from " + std::to_string(min) + " to " +
                 std::to_string(max));
        return value;
    }

    std::string where() const { return location(source_name(source_), line_); }
    [[noreturn]] void fail(const std::string &reason) const { throw Failure(where() + ": " + reason); }

  private:
    Statement &row_;
    uint8_t source_;
    size_t max_row_;
    uint32_t line_ = 0;
    size_t bytes_ = 0;
};

} // namespace

namespace {

// The fields of a row as a dump's line gives them; the texts are SQLite's,
// for as long as the row is.
class RowFields {
  public:
    void start(std::string_view table) {
        fields_.is_object = true;
        fields_.numbered_columns = true;
        fields_.members.clear();
        fields_.columns.clear();
        fields_.members.push_back({"table", Type::string, table, 0});
        fields_.members.push_back({"columns", Type::object, {}, 0});
    }
    void member(std::string_view key, std::string_view text) {
        fields_.members.push_back({key, Type::string, text, 0});
    }
    void member(std::string_view key, int64_t number) {
        fields_.members.push_back({key, Type::integer, {}, static_cast<uint64_t>(number)});
    }
    void column(int n, std::string_view text) {
        fields_.columns.push_back({column_name(n), Type::string, text, static_cast<uint64_t>(n)});
    }
    const JsonFields &fields() const { return fields_; }

  private:
    using Type = JsonMember::Type;
    JsonFields fields_;
};

} // namespace

Dump Store::read(size_t max_row) {
    // One transaction for both tables, unless the caller's is open; a read
    // takes no write lock.
    const bool own = sqlite3_get_autocommit(impl_->db()) != 0;
    if (own) {
        if (int status = sqlstore_read_begin(impl_->store))
            impl_->fail(sqlstore_status_text(status));
    }
    Dump dump{impl_->name, impl_->records_source, {}, {}};
    static const std::vector<std::string> record_names = [] {
        std::vector<std::string> names;
        for (int n = 0; n < record_columns; n++)
            names.push_back("c" + std::to_string(n));
        return names;
    }();
    static const std::vector<std::string> device_names = [] {
        std::vector<std::string> names(MAX_COLUMNS);
        for (int n = 1; n < MAX_COLUMNS; n++)
            names[n] = field_column(n);
        return names;
    }();
    // Each row is checked as a dump's line is: whatever put it in the store,
    // the module gets nothing it could not have got from a dump.
    Statement records(*impl_, "SELECT id, tbl, xnet, parent_port, " +
                                  list("c", 0, record_columns, nullptr) +
                                  " FROM config_record ORDER BY id");
    RowReader record(records, impl_->records_source, max_row);
    RowFields row;
    while (records.step()) {
        uint32_t line = record.line();
        std::optional<std::string_view> table = record.text(1, "tbl");
        if (!table || *table == "remote_device")
            record.fail("tbl is " + (table ? quote(*table) : std::string("NULL")) +
                        ": a configuration record's table (remote devices have theirs)");
        row.start(*table);
        if (auto xnet = record.text(2, "xnet")) row.member("xnet", *xnet);
        if (auto port = record.integer(3, "parent_port", INT32_MIN, INT32_MAX))
            row.member("parent_port", *port);
        for (int n = 0; n < record_columns; n++)
            if (auto text = record.text(4 + n, record_names[n].c_str())) row.column(n, *text);
        dump.records.push_back(read_record(row.fields(), dump.texts, impl_->records_source, line));
    }
    Statement devices(*impl_, "SELECT id, key, " + list(nullptr, 1, MAX_COLUMNS, field_column) +
                                  " FROM remote_device ORDER BY id");
    RowReader device(devices, impl_->devices_source, max_row);
    char key_text[24];
    while (devices.step()) {
        uint32_t line = device.line();
        auto key = device.integer(1, "key", 0, UINT32_MAX);
        if (!key) device.fail("key is NULL");
        row.start("remote_device");
        row.column(0, std::string_view(key_text, static_cast<size_t>(
                                                     std::to_chars(key_text, key_text + sizeof key_text, *key).ptr - key_text)));
        for (int n = 1; n < MAX_COLUMNS; n++)
            if (auto text = device.text(1 + n, device_names[n].c_str())) row.column(n, *text);
        dump.records.push_back(read_record(row.fields(), dump.texts, impl_->devices_source, line));
    }
    if (own) {
        if (int status = sqlstore_read_end(impl_->store))
            impl_->fail(sqlstore_status_text(status));
    }
    check_dump(dump);
    return dump;
}

namespace {

// Binds a configuration record's table, xnet, parent port and columns from
// parameter 1 on.
void bind_record(Statement &statement, const Record &record) {
    statement.bind(1, table_info(record.table).name);
    if (is_xnetgroup(record.table))
        statement.bind(2, record.xnet());
    else
        statement.bind(2, static_cast<const char *>(nullptr));
    if (record.parent_port)
        statement.bind(3, static_cast<int64_t>(*record.parent_port));
    else
        statement.bind(3, static_cast<const char *>(nullptr));
    auto columns = record.columns();
    for (int n = 0; n < record_columns; n++)
        statement.bind(4 + n, columns[n]);
}

const std::string record_fields = "tbl, xnet, parent_port, " + list("c", 0, record_columns, nullptr);
const std::string insert_record = "INSERT INTO config_record (" + record_fields + ") VALUES (" +
                                  placeholders(3 + record_columns) + ")";
const std::string update_record = "UPDATE config_record SET (" + record_fields + ") = (" +
                                  placeholders(3 + record_columns) + ") WHERE id = ?";

} // namespace

void Store::insert(const Record &record) {
    if (record.table == Table::remote_device) return add(record);
    Statement insert(*impl_, insert_record);
    bind_record(insert, record);
    insert.step();
}

void Store::update(const Record &row, const Record &record) {
    if (record.table == Table::remote_device)
        return rewrite_device(*impl_, "id", row.line, record);
    Statement update(*impl_, update_record);
    bind_record(update, record);
    update.bind(4 + record_columns, static_cast<int64_t>(row.line));
    update.step();
}

void Store::erase(const Record &row) {
    Statement erase(*impl_, std::string("DELETE FROM ") +
                                (row.table == Table::remote_device ? "remote_device" : "config_record") +
                                " WHERE id = ?");
    erase.bind(1, static_cast<int64_t>(row.line));
    erase.step();
}

// The host's transactions are the store client's, so that the client's
// rules (a nested start refused, a replaced file noticed) hold for them too.
void Store::begin() {
    if (int status = tavri_transaction_start(handle()))
        impl_->fail(sqlstore_status_text(status));
}

void Store::commit() {
    if (int status = tavri_transaction_commit(handle()))
        impl_->fail(sqlstore_status_text(status));
}

void Store::rollback() {
    tavri_transaction_abort(handle());
}

uint64_t Store::changes() const {
    return static_cast<uint64_t>(sqlite3_total_changes64(impl_->db()));
}

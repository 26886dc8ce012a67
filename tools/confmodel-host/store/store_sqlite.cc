// The store of a build with SQLite: sqlstore, in memory for a dump's remote
// devices or in a store file that also holds the configuration records. The
// file's format is sqlstore's; this reads and writes its rows.
#include "store/store.h"

#include "sqlstore.h"
#include "input/text.h"
#include "tavri.h"

#include <charconv>
#include <cstdio>
#include <exception>
#include <climits>
#include <optional>
#include <new>

struct StoreImpl {
    sqlstore *store = nullptr;
    std::string name; // for messages
    int wait_ms = 0;  // for a lock another process holds
    uint8_t records_source = 0, devices_source = 0;

    // The store's name and the reason; for a lock held past the wait, whose
    // reason names no one, who holds it and what to do.
    [[noreturn]] void fail(const std::string &reason) const {
        if (reason != sqlstore_status_text(SQLSTORE_STATUS_BASE + SQLITE_BUSY))
            throw Failure(name + ": " + reason);
        char seconds[32];
        snprintf(seconds, sizeof seconds, "%g", wait_ms / 1000.0);
        throw StoreLocked(name + ": locked by another process, which held it for longer than the " +
                      seconds + " seconds waited; try again, or wait longer with --wait SECONDS");
    }
    // Throws on a failed status: an allocation failure as such.
    void check(int status) const {
        if (status == SQLSTORE_ERR_NO_MEMORY) throw std::bad_alloc();
        if (status != 0) fail(sqlstore_status_text(status));
    }
};

namespace {

sqlstore_value null_value() {
    return {SQLSTORE_NULL, nullptr, 0, 0};
}
sqlstore_value text_value(const char *text) {
    return text != nullptr ? sqlstore_value{SQLSTORE_TEXT, text, strlen(text), 0} : null_value();
}
sqlstore_value text_value(std::string_view text) {
    return {SQLSTORE_TEXT, text.data(), text.size(), 0};
}
sqlstore_value integer_value(int64_t value) {
    return {SQLSTORE_INTEGER, nullptr, 0, value};
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
    return sqlstore_engine();
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
    impl_->records_source =
        register_source(impl_->name + ":" + sqlstore_table_name(SQLSTORE_CONFIG_RECORDS));
    impl_->devices_source =
        register_source(impl_->name + ":" + sqlstore_table_name(SQLSTORE_REMOTE_DEVICES));
}

Store::~Store() {
    sqlstore_close(impl_->store);
}

uintptr_t Store::handle() const {
    return sqlstore_handle(impl_->store);
}

std::string Store::status_text(int status) const {
    return sqlstore_status_text(status);
}

bool Store::locked(int status) const {
    return status == SQLSTORE_STATUS_BASE + SQLITE_BUSY;
}

void Store::log_calls() {
    sqlstore_log_calls(impl_->store, 1);
}

std::vector<LoggedCall> Store::calls() const {
    std::vector<LoggedCall> out;
    if (sqlstore_each_call(impl_->store, keep_call, &out) != 0) throw std::bad_alloc();
    return out;
}

void Store::add(const Record &device) {
    auto fields = device_fields(device);
    impl_->check(sqlstore_add_device(impl_->store, device_key(device), fields.data()));
}

namespace {

// A row's values as a dump's line would hold them, refused where no dump
// line could hold them: a value of the wrong type, a text with a NUL or that
// is no UTF-8, a row longer than a line may be.
class RowReader {
  public:
    RowReader(sqlstore_table table, uint8_t source, size_t max_row)
        : table_(table), source_(source), max_row_(max_row) {}

    void start(int64_t id, const sqlstore_value *values) {
        if (id < 1 || id > UINT32_MAX)
            throw Failure(source_name(source_) + ": a row's id is beyond what this program numbers");
        line_ = static_cast<uint32_t>(id);
        values_ = values;
        bytes_ = 0;
    }
    uint32_t line() const { return line_; }

    // The text of a TEXT or NULL value, null for NULL; the store's, until
    // the next row.
    std::optional<std::string_view> text(int value) {
        const sqlstore_value &v = values_[value];
        if (v.type == SQLSTORE_NULL) return std::nullopt;
        if (v.type != SQLSTORE_TEXT) fail(name(value) + " is not a text");
        std::string_view text(v.text, v.size);
        if ((bytes_ += text.size()) > max_row_)
            fail("the row is longer than " + std::to_string(max_row_) +
                 " bytes (--max-line raises the limit)");
        if (text.find('\0') != std::string_view::npos) fail(name(value) + " holds a NUL character");
        if (!is_utf8(text)) fail(name(value) + " is no UTF-8 text: " + quote(text));
        return text;
    }

    // An INTEGER or NULL value within [min, max].
    std::optional<int64_t> integer(int value, int64_t min, int64_t max) {
        const sqlstore_value &v = values_[value];
        if (v.type == SQLSTORE_NULL) return std::nullopt;
        if (v.type != SQLSTORE_INTEGER || v.integer < min || v.integer > max)
            fail(name(value) + " is not an integer from " + std::to_string(min) + " to " +
                 std::to_string(max));
        return v.integer;
    }

    [[noreturn]] void fail(const std::string &reason) const {
        throw Failure(location(source_name(source_), line_) + ": " + reason);
    }

  private:
    std::string name(int value) const { return sqlstore_value_name(table_, value); }

    sqlstore_table table_;
    uint8_t source_;
    size_t max_row_;
    const sqlstore_value *values_ = nullptr;
    uint32_t line_ = 0;
    size_t bytes_ = 0;
};

// The fields of a row as a dump's line gives them; the texts are the
// store's, for as long as the row is.
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

// What a walk of the rows reads into. A refusal ends the walk and is
// thrown again once the store's call has returned: no exception crosses it.
struct RowWalk {
    Dump &dump;
    uint8_t source;
    RowReader row;
    RowFields fields;
    char key_text[24];
    std::exception_ptr refused;
};

// Calls read for one row, keeping what it throws for later.
template <void (*read)(RowWalk &, int64_t, const sqlstore_value *)>
int visit_row(void *context, int64_t id, const sqlstore_value *values) noexcept {
    RowWalk &walk = *static_cast<RowWalk *>(context);
    try {
        read(walk, id, values);
        return 0;
    } catch (...) {
        walk.refused = std::current_exception();
        return 1;
    }
}

// The values of a configuration record's row: its table, xnet, parent port,
// then columns 0 to 19.
constexpr int table_value = 0, xnet_value = 1, port_value = 2, first_column_value = 3;

void read_record_row(RowWalk &r, int64_t id, const sqlstore_value *values) {
    r.row.start(id, values);
    std::optional<std::string_view> table = r.row.text(table_value);
    if (!table || *table == "remote_device")
        r.row.fail(std::string(sqlstore_value_name(SQLSTORE_CONFIG_RECORDS, table_value)) + " is " +
                   (table ? quote(*table) : std::string("NULL")) +
                   ": a configuration record's table (remote devices have theirs)");
    r.fields.start(*table);
    if (auto xnet = r.row.text(xnet_value)) r.fields.member("xnet", *xnet);
    if (auto port = r.row.integer(port_value, INT32_MIN, INT32_MAX)) r.fields.member("parent_port", *port);
    for (int n = 0; n < SQLSTORE_RECORD_COLUMNS; n++)
        if (auto text = r.row.text(first_column_value + n)) r.fields.column(n, *text);
    r.dump.records.push_back(read_record(r.fields.fields(), r.dump.texts, r.source, r.row.line()));
}

void read_device_row(RowWalk &r, int64_t id, const sqlstore_value *values) {
    r.row.start(id, values);
    auto key = r.row.integer(0, 0, UINT32_MAX);
    if (!key) r.row.fail("key is NULL");
    r.fields.start("remote_device");
    char *end = std::to_chars(r.key_text, r.key_text + sizeof r.key_text, *key).ptr;
    r.fields.column(0, std::string_view(r.key_text, static_cast<size_t>(end - r.key_text)));
    for (int n = 1; n < MAX_COLUMNS; n++)
        if (auto text = r.row.text(n)) r.fields.column(n, *text);
    r.dump.records.push_back(read_record(r.fields.fields(), r.dump.texts, r.source, r.row.line()));
}

} // namespace

Dump Store::read(size_t max_row) {
    Dump dump = read_rows(nullptr, nullptr, max_row);
    check_dump(dump);
    return dump;
}

Dump Store::read_rows(const std::vector<uint32_t> *records, const std::vector<uint32_t> *devices,
                      size_t max_row) {
    // One transaction for both tables, unless the caller's is open; a read
    // takes no write lock.
    const bool own = !in_transaction_;
    if (own) impl_->check(sqlstore_read_begin(impl_->store));
    Dump dump{impl_->name, impl_->records_source, {}, {}};
    // Each row is checked as a dump's line is: whatever put it in the store,
    // the module gets nothing it could not have got from a dump.
    auto walk = [&](sqlstore_table table, const std::vector<uint32_t> *rows, uint8_t source,
                    sqlstore_row_visitor visit) {
        RowWalk walk{dump, source, RowReader(table, source, max_row), {}, {}, nullptr};
        int status;
        if (rows == nullptr) {
            status = sqlstore_each_row(impl_->store, table, visit, &walk);
        } else {
            const std::vector<int64_t> ids(rows->begin(), rows->end());
            status = sqlstore_each_row_of(impl_->store, table, ids.data(), ids.size(), visit, &walk);
        }
        if (walk.refused) std::rethrow_exception(walk.refused);
        impl_->check(status);
    };
    try {
        walk(SQLSTORE_CONFIG_RECORDS, records, impl_->records_source, visit_row<read_record_row>);
        walk(SQLSTORE_REMOTE_DEVICES, devices, impl_->devices_source, visit_row<read_device_row>);
    } catch (...) {
        if (own) sqlstore_read_end(impl_->store);
        throw;
    }
    if (own) impl_->check(sqlstore_read_end(impl_->store));
    return dump;
}

void Store::begin_read() {
    impl_->check(sqlstore_read_begin(impl_->store));
    in_transaction_ = true;
}

void Store::end_read() {
    in_transaction_ = false;
    impl_->check(sqlstore_read_end(impl_->store));
}

int64_t Store::data_version() const {
    int64_t version = 0;
    impl_->check(sqlstore_data_version(impl_->store, &version));
    return version;
}

std::optional<int64_t> Store::record_writes() const {
    int64_t writes = -1;
    impl_->check(sqlstore_record_writes(impl_->store, &writes));
    return writes >= 0 ? std::optional<int64_t>(writes) : std::nullopt;
}

namespace {

// A record's row values: a configuration record's table, xnet, parent port
// and columns, or a remote device's key and fields.
std::vector<sqlstore_value> row_values(const Record &record) {
    auto columns = record.columns();
    std::vector<sqlstore_value> values;
    if (record.table == Table::remote_device) {
        values.push_back(integer_value(static_cast<int64_t>(device_key(record))));
        for (int n = 1; n < MAX_COLUMNS; n++)
            values.push_back(text_value(columns[n]));
        return values;
    }
    values.push_back(text_value(table_info(record.table).name));
    values.push_back(is_xnetgroup(record.table) ? text_value(record.xnet()) : null_value());
    values.push_back(record.parent_port ? integer_value(*record.parent_port) : null_value());
    for (int n = 0; n < SQLSTORE_RECORD_COLUMNS; n++)
        values.push_back(text_value(columns[n]));
    return values;
}

sqlstore_table table_of(const Record &record) {
    return record.table == Table::remote_device ? SQLSTORE_REMOTE_DEVICES : SQLSTORE_CONFIG_RECORDS;
}

} // namespace

uint32_t Store::insert(const Record &record, uint32_t row) {
    int64_t inserted = 0;
    impl_->check(
        sqlstore_insert_row(impl_->store, table_of(record), row, row_values(record).data(), &inserted));
    if (inserted < 1 || inserted > UINT32_MAX)
        throw Failure(impl_->name + ": a new row's id is beyond what this program numbers");
    return static_cast<uint32_t>(inserted);
}

uint8_t Store::source(Table table) const {
    return table == Table::remote_device ? impl_->devices_source : impl_->records_source;
}

void Store::update(const Record &row, const Record &record) {
    impl_->check(sqlstore_update_row(impl_->store, table_of(record), row.line, row_values(record).data()));
}

void Store::erase(const Record &row) {
    impl_->check(sqlstore_delete_row(impl_->store, table_of(row), row.line));
}

// The host's transactions are the store client's, so that the client's
// rules (a nested start refused, a replaced file noticed) hold for them too.
void Store::begin() {
    impl_->check(tavri_transaction_start(handle()));
    in_transaction_ = true;
}

void Store::commit() {
    impl_->check(tavri_transaction_commit(handle()));
    in_transaction_ = false;
}

void Store::rollback() {
    tavri_transaction_abort(handle());
    in_transaction_ = false;
}

int64_t Store::log_commit(const Commit &commit, bool import) {
    const sqlstore_commit entry{commit.seq,
                                commit.time,
                                commit.uid,
                                commit.user.c_str(),
                                commit.command.c_str(),
                                commit.added,
                                commit.changed,
                                commit.removed,
                                commit.changes ? commit.changes->c_str() : nullptr,
                                commit.undo ? commit.undo->c_str() : nullptr,
                                commit.digest.has_value(),
                                commit.digest.value_or(0),
                                commit.deadline,
                                0,
                                0,
                                0,
                                0}; // the store counts the writes itself
    int64_t seq = 0;
    impl_->check(sqlstore_log_commit(impl_->store, &entry, import ? 1 : 0, &seq));
    return seq;
}

namespace {

int keep_commit(void *context, const sqlstore_commit *entry) noexcept {
    auto text = [](const char *t) { return t != nullptr ? std::optional<std::string>(t) : std::nullopt; };
    try {
        static_cast<std::vector<Commit> *>(context)->push_back(
            {entry->seq, entry->time, entry->uid, entry->user ? entry->user : "",
             entry->command ? entry->command : "", entry->added, entry->changed, entry->removed,
             text(entry->changes), text(entry->undo),
             entry->has_digest != 0 ? std::optional<uint64_t>(entry->digest) : std::nullopt,
             entry->deadline,
             entry->has_writes_before != 0 ? std::optional<int64_t>(entry->writes_before) : std::nullopt,
             entry->has_writes_after != 0 ? std::optional<int64_t>(entry->writes_after) : std::nullopt});
        return 0;
    } catch (const std::bad_alloc &) {
        return SQLSTORE_ERR_NO_MEMORY;
    }
}

} // namespace

std::vector<Commit> Store::commits(int64_t seq, bool summaries) const {
    std::vector<Commit> out;
    impl_->check(sqlstore_each_commit(impl_->store, seq, summaries ? 1 : 0, keep_commit, &out));
    return out;
}

std::vector<Commit> Store::commits_since(int64_t seq) const {
    std::vector<Commit> out;
    impl_->check(sqlstore_each_commit_since(impl_->store, seq, keep_commit, &out));
    return out;
}

std::optional<Commit> Store::newest_commit() const {
    std::vector<Commit> out;
    impl_->check(sqlstore_newest_commit(impl_->store, keep_commit, &out));
    return out.empty() ? std::nullopt : std::optional<Commit>(std::move(out.front()));
}

std::optional<Commit> Store::awaiting_commit() const {
    std::vector<Commit> out;
    impl_->check(sqlstore_awaiting_commit(impl_->store, keep_commit, &out));
    return out.empty() ? std::nullopt : std::optional<Commit>(std::move(out.front()));
}

void Store::set_deadline(int64_t seq, int64_t deadline) {
    impl_->check(sqlstore_set_deadline(impl_->store, seq, deadline));
}

int64_t Store::drop_change_sets(int64_t seq) {
    int64_t dropped = 0;
    impl_->check(sqlstore_drop_texts(impl_->store, seq, &dropped));
    return dropped;
}

uint64_t Store::changes() const {
    return sqlstore_changes(impl_->store);
}

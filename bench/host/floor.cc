// The floors of confmodel-host's benchmark: reading every line of a dump and
// parsing it, then dropping what was parsed, with nothing else done; and what
// the store itself costs to take a dump's rows and to hand them back.
//
//   confmodel_host_floor simdjson|nlohmann FILE
//   confmodel_host_floor store-write FILE STORE
//   confmodel_host_floor store-read STORE
//   confmodel_host_floor store-commit|store-commit-logged STORE
//
// simdjson parses each line into its reusable document; nlohmann builds each
// line's tree and tears it down, as a reader built on trees must.
// store-write parses each line with simdjson and binds its texts, unchecked,
// into the one prepared insert of its table, in one transaction of a new
// store without journal or syncs, as an import writes. store-read steps
// through every row and writes its texts to standard output, tab-separated.
// store-commit rewrites a column of the store's first ten remote devices in
// one transaction, as a ten-record commit writes them; store-commit-logged
// also logs the commit as the program does, reading the newest commit and
// writing an entry whose change set and undoing are ten lines each: the two
// differ by the log's own cost.
// Prints the number of lines or rows; exits 1 on a line that is no JSON or a
// store that fails.
#include "sqlstore.h"
#include "tavri.h"

#include <nlohmann/json.hpp>
#include <simdjson.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Calls parse(line) for every line of the file, read in large chunks.
template <typename Parse> long each_line(const char *path, Parse parse) {
    int fd = open(path, O_RDONLY);
    if (fd < 0) return -1;
    std::vector<char> buffer(1 << 20);
    std::string line;
    size_t start = 0, end = 0;
    long lines = 0;
    for (;;) {
        const char *feed = static_cast<const char *>(memchr(buffer.data() + start, '\n', end - start));
        if (feed == nullptr) {
            memmove(buffer.data(), buffer.data() + start, end - start);
            end -= start;
            start = 0;
            if (buffer.size() - end < 65536) buffer.resize(buffer.size() * 2);
            ssize_t got = read(fd, buffer.data() + end, buffer.size() - end);
            if (got <= 0) break;
            end += static_cast<size_t>(got);
            continue;
        }
        size_t length = static_cast<size_t>(feed - (buffer.data() + start));
        line.reserve(length + simdjson::SIMDJSON_PADDING);
        line.assign(buffer.data() + start, length);
        start += length + 1;
        if (!parse(line)) return -1;
        lines++;
    }
    close(fd);
    return lines;
}

// An insert of every column but the row id, positional, for each table.
sqlite3_stmt *insert_into(sqlite3 *db, const char *table) {
    sqlite3_stmt *statement = nullptr;
    std::string sql = std::string("SELECT * FROM ") + table;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return nullptr;
    sql = std::string("INSERT INTO ") + table + " VALUES (NULL";
    for (int n = 1; n < sqlite3_column_count(statement); n++)
        sql += ", ?";
    sqlite3_finalize(statement);
    if (sqlite3_prepare_v2(db, (sql + ")").c_str(), -1, &statement, nullptr) != SQLITE_OK) return nullptr;
    return statement;
}

long store_write(const char *dump, const char *path) {
    char error[256];
    sqlstore *store = sqlstore_open(path, SQLSTORE_CREATE, error, sizeof error);
    if (store == nullptr) return -1;
    sqlite3 *db = sqlstore_db(store);
    sqlite3_exec(db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN", nullptr, nullptr, nullptr);
    // Records: table, xnet, parent port, then column n at n + 4. Devices:
    // the key, then field n at n + 1.
    sqlite3_stmt *records = insert_into(db, "config_record"), *devices = insert_into(db, "remote_device");
    simdjson::dom::parser parser;
    long lines = each_line(dump, [&](const std::string &line) {
        simdjson::dom::object root;
        std::string_view table;
        if (parser.parse(line.data(), line.size(), false).get(root) != simdjson::SUCCESS ||
            root["table"].get(table) != simdjson::SUCCESS)
            return false;
        const bool device = table == "remote_device";
        sqlite3_stmt *insert = device ? devices : records;
        if (!device) {
            sqlite3_bind_text(insert, 1, table.data(), static_cast<int>(table.size()), SQLITE_STATIC);
            std::string_view xnet;
            if (root["xnet"].get(xnet) == simdjson::SUCCESS)
                sqlite3_bind_text(insert, 2, xnet.data(), static_cast<int>(xnet.size()), SQLITE_STATIC);
            int64_t parent;
            if (root["parent_port"].get(parent) == simdjson::SUCCESS) sqlite3_bind_int64(insert, 3, parent);
        }
        for (auto [key, value] : root["columns"].get_object()) {
            int column = std::atoi(std::string(key).c_str());
            std::string_view text = value.get_string().value_unsafe();
            if (device && column == 0)
                sqlite3_bind_int64(insert, 1, std::atoll(std::string(text).c_str()));
            else
                sqlite3_bind_text(insert, device ? column + 1 : column + 4, text.data(),
                                  static_cast<int>(text.size()), SQLITE_STATIC);
        }
        const bool done = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
        sqlite3_clear_bindings(insert);
        return done;
    });
    sqlite3_finalize(records);
    sqlite3_finalize(devices);
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) lines = -1;
    sqlstore_close(store);
    return lines;
}

long store_read(const char *path) {
    char error[256];
    sqlstore *store = sqlstore_open(path, SQLSTORE_READ_ONLY, error, sizeof error);
    if (store == nullptr) return -1;
    std::string out;
    long rows = 0;
    for (const char *sql : {"SELECT * FROM config_record", "SELECT * FROM remote_device"}) {
        sqlite3_stmt *select = nullptr;
        if (sqlite3_prepare_v2(sqlstore_db(store), sql, -1, &select, nullptr) != SQLITE_OK) return -1;
        while (sqlite3_step(select) == SQLITE_ROW) {
            for (int n = 0; n < sqlite3_column_count(select); n++) {
                const unsigned char *text = sqlite3_column_text(select, n);
                if (n > 0) out += '\t';
                if (text != nullptr) out.append(reinterpret_cast<const char *>(text),
                                                static_cast<size_t>(sqlite3_column_bytes(select, n)));
            }
            out += '\n';
            if (out.size() >= 65536) {
                fwrite(out.data(), 1, out.size(), stdout);
                out.clear();
            }
            rows++;
        }
        sqlite3_finalize(select);
    }
    fwrite(out.data(), 1, out.size(), stdout);
    sqlstore_close(store);
    return rows;
}

long store_commit(const char *path, bool logged) {
    char error[256];
    sqlstore *store = sqlstore_open(path, SQLSTORE_READ_WRITE, error, sizeof error);
    if (store == nullptr) return -1;
    sqlite3 *db = sqlstore_db(store);
    sqlite3_stmt *update = nullptr;
    long rows = -1;
    if (tavri_transaction_start(sqlstore_handle(store)) == 0 &&
        sqlite3_prepare_v2(db,
                           "UPDATE remote_device SET f5 = coalesce(f5, '') || 'x' WHERE id IN "
                           "(SELECT id FROM remote_device ORDER BY id LIMIT 10)",
                           -1, &update, nullptr) == SQLITE_OK &&
        sqlite3_step(update) == SQLITE_DONE)
        rows = sqlite3_changes(db);
    sqlite3_finalize(update);
    if (rows >= 0 && logged) {
        std::string lines;
        for (int i = 0; i < 10; i++)
            lines += "{\"op\":\"change\",\"table\":\"remote_device\",\"row\":" + std::to_string(i + 1) +
                     ",\"columns\":{\"0\":\"" + std::to_string(100000 + i) +
                     "\",\"3\":\"chassis-000000\",\"5\":\"changed\",\"22\":\"false\"}}\n";
        // The newest commit's digest stands for the one the rows would give.
        sqlstore_commit entry{0, 0, 0, "floor", "confmodel_host_floor store-commit-logged", 0, 10, 0,
                              lines.c_str(), lines.c_str(), 1, 0, 0, 0, 0, 0, 0};
        auto keep_digest = [](void *context, const sqlstore_commit *newest) {
            static_cast<sqlstore_commit *>(context)->digest = newest->digest;
            return 0;
        };
        int64_t seq = 0;
        if (sqlstore_newest_commit(store, keep_digest, &entry) != 0 ||
            sqlstore_log_commit(store, &entry, 0, &seq) != 0)
            rows = -1;
    }
    if (rows < 0 || tavri_transaction_commit(sqlstore_handle(store)) != 0) rows = -1;
    sqlstore_close(store);
    return rows;
}

} // namespace

int main(int argc, char **argv) {
    const bool store = argc > 1 && strncmp(argv[1], "store-", 6) == 0;
    if (argc != (store && strcmp(argv[1], "store-write") == 0 ? 4 : 3)) {
        fprintf(stderr, "usage: confmodel_host_floor simdjson|nlohmann FILE\n"
                        "       confmodel_host_floor store-write FILE STORE\n"
                        "       confmodel_host_floor store-read STORE\n"
                        "       confmodel_host_floor store-commit|store-commit-logged STORE\n");
        return 2;
    }
    long lines;
    if (strcmp(argv[1], "store-write") == 0) {
        lines = store_write(argv[2], argv[3]);
    } else if (strcmp(argv[1], "store-read") == 0) {
        lines = store_read(argv[2]);
    } else if (strncmp(argv[1], "store-commit", 12) == 0) {
        lines = store_commit(argv[2], strcmp(argv[1], "store-commit-logged") == 0);
    } else if (strcmp(argv[1], "simdjson") == 0) {
        simdjson::dom::parser parser;
        lines = each_line(argv[2], [&](const std::string &line) {
            simdjson::dom::element root;
            return parser.parse(line.data(), line.size(), false).get(root) == simdjson::SUCCESS;
        });
    } else {
        lines = each_line(argv[2], [](const std::string &line) {
            return !nlohmann::json::parse(line, nullptr, false).is_discarded();
        });
    }
    if (lines < 0) return 1;
    printf("%ld lines\n", lines);
    return 0;
}

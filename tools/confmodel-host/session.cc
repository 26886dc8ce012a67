#include "session.h"

#include <sys/stat.h>
#include <unistd.h>

#include "input/text.h"
#include "store/history.h"

#include <algorithm>
#include <ctime>
#include <iostream>
#include <new>
#include <optional>
#include <utility>

std::unique_ptr<LineReader> Session::lines(const std::string &path) const {
    if (path.empty()) throw Failure("\"\": an empty path names no file");
    if (path == "-" && std::exchange(stdin_read_, true))
        throw Failure("<stdin>: read once already; give the other input as a file");
    auto reader = std::make_unique<LineReader>(path, settings_.limits);
    struct stat file;
    if ((path == "-" ? fstat(0, &file) : stat(path.c_str(), &file)) == 0)
        inputs_.emplace_back(file.st_dev, file.st_ino);
    return reader;
}

bool Session::is_input(const std::string &path) const {
    struct stat file;
    return stat(path.c_str(), &file) == 0 &&
           std::find(inputs_.begin(), inputs_.end(), std::make_pair(file.st_dev, file.st_ino)) !=
               inputs_.end();
}

// A dump read whole, or nothing when the file at path is a store file.
std::optional<Dump> Session::read_if_dump(const std::string &path) const {
    std::unique_ptr<LineReader> in = lines(path);
    if (!is_store_file(in->peek(16))) return read_dump(*in);
    if (path == "-")
        throw Failure("<stdin>: a store file is read from its path, not from standard input");
    return std::nullopt;
}

Source Session::open(const std::string &path, bool write) const {
    Source source;
    if (std::optional<Dump> dump = read_if_dump(path)) {
        source.dump = std::move(*dump);
        source.store = std::make_unique<Store>();
        seed(*source.store, records_of(source.dump));
        return source;
    }
    source.store = std::make_unique<Store>(path, store_mode(write), settings_.wait_ms);
    source.dump = source.store->read(settings_.limits.max_line);
    source.from_store_file = true;
    note_awaiting(*source.store, path);
    return source;
}

Dump Session::read(const std::string &path, bool *store_file) const {
    std::optional<Dump> dump = read_if_dump(path);
    if (store_file != nullptr) *store_file = !dump;
    if (dump) return std::move(*dump);
    Store store(path, store_mode(false), settings_.wait_ms);
    Dump read = store.read(settings_.limits.max_line);
    note_awaiting(store, path);
    return read;
}

void Session::note_awaiting(const Store &store, const std::string &path) const {
    if (std::exchange(noted_awaiting_, true)) return;
    std::optional<Commit> awaiting = awaiting_confirmation(store);
    if (!awaiting) return;
    const std::string seq = std::to_string(awaiting->seq), deadline = utc_text(awaiting->deadline);
    std::cerr << "confmodel-host: " << escaped(path) << ": commit " << seq
              << (awaiting->deadline > static_cast<int64_t>(time(nullptr))
                      ? " awaits confirmation until " + deadline + " (confmodel-host confirm " +
                            escaped(path) + "), and is rolled back then"
                      : " was not confirmed by its deadline, " + deadline +
                            ": the next command that writes the store rolls it back")
              << "\n";
}

void Session::need_log(const std::string &path) const {
    if (path == "-" || (access(path.c_str(), F_OK) == 0 && !is_store_path(path)))
        throw Failure(escaped(path) + ": not a store file; a dump keeps no log");
}

void Session::settle(const std::string &path) {
    if (settings_.read_only || path == "-" || !is_store_path(path)) return;
    Store store(path, Store::Open::read_write, settings_.wait_ms);
    std::optional<std::string> done =
        roll_back_overdue(store, settings_.limits.max_line, "before: " + settings_.command);
    if (!done) return;
    const std::string what = escaped(path) + ": " + *done;
    std::cerr << "confmodel-host: " << what << "\n";
    store_changed(what);
}

Store::Open Session::store_mode(bool write) const {
    if (settings_.read_only) return Store::Open::read_only;
    return write ? Store::Open::read_write : Store::Open::read;
}

const Module &Session::module() {
    if (module_.handle == nullptr) {
        std::string error = load_module(settings_.library.c_str(), module_);
        if (!error.empty()) throw Failure("confmodel-host: cannot load the module: " + error);
    }
    return module_;
}

void seed(Store &store, const RecordList &records) {
    store.begin();
    for (const Record *record : records) {
        if (record->table != Table::remote_device) continue;
        try {
            store.add(*record);
        } catch (const std::bad_alloc &) {
            throw Failure(where(*record) + ": out of memory");
        }
    }
    store.commit();
}

bool Session::commit_rows(const Dump &read, const Committing &commit, const StepSink &step) {
    const std::string &path = read.name;
    Store file(path, Store::Open::read_write, settings_.wait_ms);
    file.begin();
    try {
        Dump now = file.read(settings_.limits.max_line);
        if (!same_rows(now, read))
            throw Failure(escaped(path) + ": changed since it was read; nothing was committed");
        Commit logged = Commit::now(settings_.command);
        logged.changes = commit.changes;
        const std::vector<RowWrite> writes = commit.writes(file, now);
        if (commit.confirm > 0) logged.deadline = confirmable(file, path, logged.time + commit.confirm);
        const int64_t seq = write_logged(file, now, writes, logged);
        if (seq < 0) {
            file.rollback();
            step({path, commit.nothing});
            return false;
        }
        file.commit();
        const size_t rows = writes.size();
        std::string committed = std::to_string(rows) + " row change" + (rows == 1 ? "" : "s");
        step({path, "commit " + committed + " in one transaction, logged as commit " +
                        std::to_string(seq) + awaiting_text(logged.deadline)});
        store_changed(escaped(path) + ": " + committed + " committed");
        return true;
    } catch (...) {
        file.rollback();
        throw;
    }
}

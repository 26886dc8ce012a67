// What every command shares: the limits and the module to load, reading a
// configuration (a dump or a store file, told apart by their content), and
// the store its remote devices live in.
#ifndef CONFMODEL_HOST_SESSION_H
#define CONFMODEL_HOST_SESSION_H

#include "exit_status.h"
#include "input/dump.h"
#include "running/hosts.h"
#include "running/model.h"
#include "running/module.h"
#include "store/history.h"
#include "store/store.h"

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct Settings {
    std::string library = default_library();
    Limits limits;
    bool read_only = false; // store files are never written
    int wait_ms = Store::default_wait_ms; // for a store's lock
    std::string command;                  // the command line, as a store's log keeps it
    bool quiet = false;                   // no progress on standard error
};

// A configuration and the store of its remote devices: the store file it
// came from, or an in-memory store holding a dump's remote devices.
struct Source {
    Dump dump;
    std::unique_ptr<Store> store;
    bool from_store_file = false;
};

class Session {
  public:
    explicit Session(const Settings &settings) : settings_(settings) {}
    ~Session() { unload_module(module_); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // The configuration at path ("-" for standard input), read and checked
    // whole, so that a bad record stops the run before the module sees
    // anything. A store file is opened for reading unless `write` is given
    // (and --read-only is not).
    Source open(const std::string &path, bool write = false) const;
    // The configuration alone, without a store for its remote devices.
    // Whether it was a store file goes to *store_file, when given.
    Dump read(const std::string &path, bool *store_file = nullptr) const;
    // The lines of a file, or of standard input ("-"), which one run reads
    // once at most.
    std::unique_ptr<LineReader> lines(const std::string &path) const;
    // Whether path is a file this run read, whatever path named it.
    bool is_input(const std::string &path) const;
    // The module, loaded on first use. Throws Failure when it cannot load.
    const Module &module();
    const Settings &settings() const { return settings_; }
    // A store file was changed, as `what` says ("device.db: 3 row changes
    // committed"): from now on no failure may pass for "nothing happened".
    void store_changed(const std::string &what) { changed_ = what; }
    const std::string &changed() const { return changed_; }

    // How a store file is opened: for writing, or reading; never written
    // at all under --read-only.
    Store::Open store_mode(bool write) const;

    // Refuses a path that names no store file: a dump keeps no log.
    void need_log(const std::string &path) const;

    // Before a command writes the store file at path: a commit whose
    // deadline for confirmation passed is rolled back first, as a logged
    // commit, and said so on standard error.
    void settle(const std::string &path);

    // A commit to the store file a configuration was read from: its change
    // set, as the log keeps it, the seconds it awaits confirmation (0: none),
    // the step said when every row holds what it is to hold already, and
    // the rows it writes, worked out inside its transaction on the store as
    // read again there (the records must outlive the commit).
    struct Committing {
        std::string changes;
        int64_t confirm = 0;
        const char *nothing;
        std::function<std::vector<RowWrite>(Store &, const Dump &)> writes;
    };
    // Commits it in one transaction of the host's own, logged, refused when
    // the store changed since `read`, and notes the store changed. Returns
    // false when it found nothing to write, and committed nothing.
    bool commit_rows(const Dump &read, const Committing &commit, const StepSink &step);

  private:
    std::optional<Dump> read_if_dump(const std::string &path) const;
    // Says on standard error, once a run, that a commit of the store awaits
    // confirmation, or is overdue.
    void note_awaiting(const Store &store, const std::string &path) const;

    Settings settings_;
    Module module_;
    mutable bool stdin_read_ = false;
    mutable std::vector<std::pair<dev_t, ino_t>> inputs_; // files read, by device and inode
    mutable bool noted_awaiting_ = false;
    std::string changed_;
};

// The remote devices among records, into a store, in one transaction.
void seed(Store &store, const RecordList &records);

#endif

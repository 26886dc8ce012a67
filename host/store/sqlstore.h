/*
 * sqlstore: the configuration store in an SQLite database file, answering the
 * tavri_ client calls of tavri.h. A host links it instead of memstore (both
 * define the tavri_ calls) and passes sqlstore_handle(store) as the module's
 * store handle.
 *
 *  1. A store handle is one SQLite connection with at most one transaction.
 *     Use a handle from one thread at a time; each thread or process opens
 *     its own. Processes share a store through its file.
 *  2. tavri_transaction_start begins a transaction that takes the store's
 *     write lock at once (BEGIN IMMEDIATE), so the read, comparison and write
 *     of two processes' test-and-sets never interleave. While another
 *     connection holds the lock, it waits up to the busy timeout (5 seconds
 *     unless set) and then fails with the busy status. Every lock of every
 *     connection, the ones that identify and recover a file included, is
 *     waited for the same way, in a queue before SQLite's locks: a writer
 *     waits for the transaction in progress and for those queued before it,
 *     never for one that keeps committing (storefile.h). A start while a
 *     transaction is open on the handle, the host's own included, is refused
 *     with SQLSTORE_ERR_NESTED and leaves that transaction alone: so does the
 *     tavri_transaction_abort that follows the refused start, as the module's
 *     does. A start on a handle whose file was replaced, renamed or removed
 *     since it was opened is refused with SQLSTORE_ERR_MOVED: nothing is
 *     written to a file no other process would read.
 *     On a read-only store the start takes no write lock: nothing can write.
 *  3. tavri_remotedevice_get and tavri_remotedevice_set work only inside a
 *     transaction begun by tavri_transaction_start, and only while SQLite has
 *     not rolled it back; otherwise SQLSTORE_ERR_NO_TRANSACTION.
 *     sqlstore_read_begin begins a transaction that only reads: it takes no
 *     write lock, and its end takes none.
 *  4. Records: every pointer field of remotedevice_record but the key is a
 *     text (const char *) here; field i (1 to 28) is column f<i> of the
 *     remote_device table, and field 22 (dcbx_pending) is column dcbx_pending.
 *     A query matches the records with its key whose columns equal each of
 *     its non-null fields as text. A result set holds copies of every match,
 *     all 29 fields, in store order, and stays readable until
 *     tavri_results_free (also after the transaction, or the store, is gone).
 *     An update writes each of its non-null fields into every record with the
 *     device key; its key must be 0 (SQLSTORE_ERR_FIELD). An all-null update,
 *     or one matching no record, writes nothing and succeeds; a record that
 *     already holds every field of the update is not written, so SQLite's
 *     count of changes is the count of records changed.
 *  5. tavri_transaction_commit: on failure the transaction stays open for
 *     tavri_transaction_abort, which rolls back what SQLite has not already
 *     rolled back; no record is ever half written. Abort without a
 *     transaction begun by tavri_transaction_start does nothing.
 *  6. The file keeps a rollback journal with synchronous=FULL: a committed
 *     transaction survives a crash of the process or of the machine, and a
 *     store that no process writes is one file, complete, that reading
 *     leaves as it was and a read-only medium serves. A writer killed inside
 *     a transaction leaves its journal, which the next open that may write
 *     (SQLSTORE_READ_WRITE, SQLSTORE_READ) rolls back and removes first,
 *     with a journal no writer holds (one killed before it was complete).
 *     SQLSTORE_READ_ONLY refuses a file that needs this, saying so.
 *  7. A file is opened only once it is known for a store of this version,
 *     found without writing to it or beside it: through a connection that
 *     cannot write, or, where a journal must be rolled back or a WAL taken
 *     in first, in a private copy of the file and what lies beside it (in
 *     $TMPDIR, else /tmp), recovered there. A file that is not one is left
 *     as it was, byte for byte, whatever lies beside it.
 */
#ifndef CONFMODEL_HOST_STORE_SQLSTORE_H
#define CONFMODEL_HOST_STORE_SQLSTORE_H

#include <stddef.h>
#include <stdint.h>

#include <sqlite3.h>

#include "storelog.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct sqlstore sqlstore;

/* The schema this program writes, and the oldest it reads; a store records
 * it as its PRAGMA user_version. Version 2 added the log of commits, version
 * 3 its digests and deadlines, version 4 a table of their own for its texts:
 * a store of an earlier version is read as it is, and takes this version's
 * log with the first write to its log (13). */
enum { SQLSTORE_SCHEMA_VERSION = 5, SQLSTORE_OLDEST_VERSION = 1 };

/* The fields of a remote-device record, the key (field 0) included. */
enum { SQLSTORE_FIELDS = 29 };

typedef enum sqlstore_mode {
    SQLSTORE_READ_WRITE, /* an existing store file */
    SQLSTORE_READ_ONLY,  /* an existing store file, never written: every write
                            fails with SQLSTORE_STATUS_BASE + SQLITE_READONLY,
                            and one that needs recovery is refused */
    SQLSTORE_CREATE,     /* a new store file; refuses a path that exists and is
                            not empty */
    SQLSTORE_MEMORY,     /* a private in-memory store; path is ignored */
    SQLSTORE_READ,       /* as SQLSTORE_READ_ONLY, but the interrupted write of
                            a killed writer is rolled back first, as a writer's
                            open would */
    SQLSTORE_CREATE_PRIVATE /* as SQLSTORE_CREATE, for a file no other process
                            uses until its creator has synced it whole and
                            moved it into place: written without a journal
                            or syncs, so a killed creator leaves that file
                            alone; it counts the records written (15) as its
                            first commit is logged, all at once */
} sqlstore_mode;

/* Statuses of the tavri_ calls and of the functions below: 0 on success,
 * SQLSTORE_STATUS_BASE + SQLite's extended result code (100001 to 165535),
 * or one of the store's own (200001 to 200005). Neither range meets an errno
 * value, such as the ENOMEM, EBUSY and EINVAL the module returns itself. */
enum {
    SQLSTORE_STATUS_BASE = 100000,
    SQLSTORE_ERR_NO_TRANSACTION = 200001, /* no transaction of tavri_transaction_start open */
    SQLSTORE_ERR_NESTED = 200002,         /* a transaction is already open on the handle */
    SQLSTORE_ERR_FIELD = 200003,          /* an update sets the key */
    SQLSTORE_ERR_NO_MEMORY = 200004,      /* the store's own allocation failed */
    SQLSTORE_ERR_MOVED = 200005           /* the file was replaced or removed since it was opened */
};

/* Opens or creates a store. Null on failure, with a one-line reason in error
 * (truncated to error_size; error may be null when error_size is 0): "not a
 * configuration store", "store version 7, this program reads version 1", or
 * SQLite's message. A file that is not a store of this version is left as it
 * was, its journal mode included. */
sqlstore *sqlstore_open(const char *path, sqlstore_mode mode, char *error, size_t error_size);
/* The same, waiting up to wait_ms for each lock, from the open on. */
sqlstore *sqlstore_open_waiting(const char *path, sqlstore_mode mode, int wait_ms, char *error,
                                size_t error_size);
/* Rolls back an open transaction and closes the connection; null is harmless. */
void sqlstore_close(sqlstore *store);

/* The tavri_ calls' store handle. */
uintptr_t sqlstore_handle(sqlstore *store);
/* The connection, for the host's own statements (and its own transactions,
 * which the add and each functions below join). */
sqlite3 *sqlstore_db(sqlstore *store);
/* How long a start waits for another connection's write lock; 0 fails at once. */
void sqlstore_set_busy_timeout(sqlstore *store, int milliseconds);

/* A transaction that only reads (2): the host's statements in between see one
 * state of the store. Begin refuses with SQLSTORE_ERR_NESTED while any
 * transaction is open on the handle; end without one is
 * SQLSTORE_ERR_NO_TRANSACTION. */
int sqlstore_read_begin(sqlstore *store);
int sqlstore_read_end(sqlstore *store);

/* Starts (on non-zero) or stops logging the tavri_ calls made on the handle,
 * emptying the log either way; a new handle logs nothing. */
void sqlstore_log_calls(sqlstore *store, int on);
/* Visits the logged calls in order; returns 0, SQLSTORE_ERR_NO_MEMORY, or
 * the visitor's non-zero return. */
int sqlstore_each_call(sqlstore *store, store_call_visitor visit, void *context);

/* The database engine the store runs on, with its version: "SQLite 3.40.1". */
const char *sqlstore_engine(void);

/* A text for any status above, or for 0; "unknown status" for others. */
const char *sqlstore_status_text(int status);

/* Adds a remote-device record at the end of the store order, in one
 * statement (inside the connection's open transaction, if any). fields[i] is
 * the text of field i (1 to 28), null when absent; fields[0] is ignored. */
int sqlstore_add_device(sqlstore *store, uintptr_t key, const char *const fields[SQLSTORE_FIELDS]);

/* Called once per record: fields[i] is the text of field i (1 to 28) or null,
 * fields[0] is null. The texts last until the visitor returns. Non-zero stops
 * the walk. */
typedef int (*sqlstore_device_visitor)(void *context, uintptr_t key,
                                       const char *const fields[SQLSTORE_FIELDS]);
/* Visits the remote-device records in store order: all of them when key is
 * null, else those with *key. One statement, so one consistent view. Returns
 * 0, a status, or the visitor's non-zero return. */
int sqlstore_each_device(sqlstore *store, const uintptr_t *key, sqlstore_device_visitor visit,
                         void *context);

/* How many rows the handle's statements have changed since it was opened,
 * the tavri_ calls' included, whether committed or not. */
uint64_t sqlstore_changes(sqlstore *store);

/*
 * The rows of a store file's two tables, for a host that keeps a whole
 * configuration in the store: its records and its remote devices, each in
 * store order (the order rows were added).
 *  8. A row is an array of values, in this order:
 *     configuration records: 0 the record's table ("tbl"), 1 its xnet
 *     ("xnet", an xnetgroup's), 2 its parent port ("parent_port", an integer),
 *     3 + n its column n ("c0" to "c19");
 *     remote devices: 0 the key ("key", an integer), i field i (1 to 28).
 *  9. Reading hands over each value as the file holds it, of whatever type,
 *     for the host to check: a file another program wrote may hold anything.
 *     Writing stores each value as its type says: null, a text or an integer.
 * 10. Writes go into the connection's open transaction, if any.
 */
typedef enum sqlstore_table { SQLSTORE_CONFIG_RECORDS, SQLSTORE_REMOTE_DEVICES } sqlstore_table;
enum {
    SQLSTORE_RECORD_COLUMNS = 20,
    SQLSTORE_RECORD_VALUES = 3 + SQLSTORE_RECORD_COLUMNS,
    SQLSTORE_DEVICE_VALUES = SQLSTORE_FIELDS
};
typedef enum sqlstore_type { SQLSTORE_NULL, SQLSTORE_TEXT, SQLSTORE_INTEGER, SQLSTORE_OTHER } sqlstore_type;
typedef struct sqlstore_value {
    sqlstore_type type;
    const char *text; /* a text's bytes, size of them, not ended by a NUL of its own */
    size_t size;
    int64_t integer;
} sqlstore_value;

/* The table's name in the file: "config_record", "remote_device". */
const char *sqlstore_table_name(sqlstore_table table);
/* The column a value of a table's rows is kept in, for messages: "tbl",
 * "c5", "key", "dcbx_pending"; "" for no such value. */
const char *sqlstore_value_name(sqlstore_table table, int value);

/* Called once per row, with its id (its place in store order) and its
 * values, which last until the visitor returns. Non-zero stops the walk. */
typedef int (*sqlstore_row_visitor)(void *context, int64_t id, const sqlstore_value *values);
/* Visits a table's rows in store order. Returns 0, a status, or the
 * visitor's non-zero return. Not to be called from inside a visitor. */
int sqlstore_each_row(sqlstore *store, sqlstore_table table, sqlstore_row_visitor visit, void *context);
/* Visits the rows with those ids, in the order given, within one
 * transaction if the handle has one open (sqlstore_read_begin); an id no row
 * has is passed over. */
int sqlstore_each_row_of(sqlstore *store, sqlstore_table table, const int64_t *ids, size_t count,
                         sqlstore_row_visitor visit, void *context);
/* Adds a row with that id, which must be free; with id 0, at the end of the
 * store order. The row's id goes to *inserted, unless that is null. */
int sqlstore_insert_row(sqlstore *store, sqlstore_table table, int64_t id, const sqlstore_value *values,
                        int64_t *inserted);
/* Rewrites every value of the row with that id; one that is absent is left alone. */
int sqlstore_update_row(sqlstore *store, sqlstore_table table, int64_t id, const sqlstore_value *values);
/* Removes the row with that id; one that is absent is left alone. */
int sqlstore_delete_row(sqlstore *store, sqlstore_table table, int64_t id);

/*
 * The log of commits (version 2 on): what each write of the records changed,
 * kept in the transaction that changed them, so that a commit is in the log
 * exactly when its records are in the store.
 * 11. A commit's sequence number is 0 for the import that made the store,
 *     else one past the newest logged; a store of version 1 starts its log
 *     at 1, and its log says nothing of what came before.
 * 12. The texts are the host's: the change set as it was committed, and one
 *     that undoes it; either may be null where the log keeps no more.
 * 13. From version 3, a commit also keeps the host's digest of the
 *     configuration it left (has_digest 0 where it was logged without one),
 *     and the deadline by which it must be confirmed (0: none awaited). A
 *     store of an earlier version takes these with its first write to the
 *     log (a commit logged, a deadline set, texts dropped), in that write's
 *     transaction; its older commits have neither.
 * 14. From version 4, the texts are kept apart from the rest of a commit
 *     (table commit_text, one row per commit that keeps either), so that
 *     the summaries, the newest commit and the one awaiting confirmation
 *     are read without reading any text, each found by an index rather
 *     than by reading the whole log. The first write to the log of an
 *     earlier version moves its texts there.
 * 15. From version 5, the store counts every row written to config_record,
 *     by any program (triggers of its schema, table record_writes), and a
 *     commit keeps the count as its transaction began and as it was logged
 *     (table commit_writes): a count that moved between two commits, or
 *     since the newest, tells of records written without the log. A store
 *     of an earlier version starts counting with its first write to the
 *     log; that commit keeps no count as it began.
 */
typedef struct sqlstore_commit {
    int64_t seq;
    int64_t time; /* seconds since 1970 */
    int64_t uid;
    const char *user;
    const char *command;
    int64_t added, changed, removed; /* records */
    const char *changes;
    const char *undo;
    int has_digest;
    uint64_t digest;
    int64_t deadline; /* seconds since 1970; 0 for none */
    int has_writes_before, has_writes_after;
    int64_t writes_before, writes_after; /* the count of config_record's writes */
} sqlstore_commit;

/* Logs a commit inside the handle's open transaction (the host's own): the
 * first in a store of an earlier version brings the log to this version.
 * commit->seq is ignored unless import is non-zero (then 0: the store's
 * first). The sequence number logged goes to *seq. */
int sqlstore_log_commit(sqlstore *store, const sqlstore_commit *commit, int import, int64_t *seq);
/* Called once per commit, with texts that last until it returns; non-zero
 * stops the walk. */
typedef int (*sqlstore_commit_visitor)(void *context, const sqlstore_commit *commit);
/* Visits the logged commits, newest first: all of them when seq is
 * negative, else the one with that number (none when it is not logged).
 * With summaries non-zero, the walk reads neither text: changes is null,
 * and undo is "" where the log keeps it. A store of version 1 has none. */
int sqlstore_each_commit(sqlstore *store, int64_t seq, int summaries, sqlstore_commit_visitor visit,
                         void *context);
/* Visits the commits logged after seq, oldest first, their texts included. */
int sqlstore_each_commit_since(sqlstore *store, int64_t seq, sqlstore_commit_visitor visit, void *context);
/* Visits, as a summary, the newest commit; or the newest with a deadline, the
 * one awaiting confirmation. None when there is no such commit. */
int sqlstore_newest_commit(sqlstore *store, sqlstore_commit_visitor visit, void *context);
int sqlstore_awaiting_commit(sqlstore *store, sqlstore_commit_visitor visit, void *context);
/* A number that changes whenever another connection commits to the file
 * (SQLite's data version): what a follower of the store reads first. */
int sqlstore_data_version(sqlstore *store, int64_t *version);
/* The count of rows ever written to config_record (15), or -1 for a store
 * of a version that keeps none. */
int sqlstore_record_writes(sqlstore *store, int64_t *writes);
/* Sets the deadline of commit seq (0: none awaited), inside the handle's open
 * transaction. */
int sqlstore_set_deadline(sqlstore *store, int64_t seq, int64_t deadline);
/* Drops the texts of every commit older than seq (the summaries stay), inside
 * the handle's open transaction; *dropped counts the commits that lost any.
 * From version 4 their rows of commit_text are deleted. */
int sqlstore_drop_texts(sqlstore *store, int64_t seq, int64_t *dropped);

#ifdef __cplusplus
}
#endif

#endif /* CONFMODEL_HOST_STORE_SQLSTORE_H */

/*
 * memstore: an in-memory configuration store that answers the tavri_ client
 * calls of tavri.h, for hosts that run without the device's store: the tests
 * and the host simulator.
 *
 * What it keeps: remote-device records, each a key and a dcbx_pending value
 * (a string, or absent). Several records may share a key. A record the module
 * passes in may use only those two fields; any other non-null field is
 * refused with MEMSTORE_ERR_FIELD.
 *
 *  - The store handle of the tavri_ calls is memstore_handle(store).
 *  - Transactions: one open at a time per store, owned by the thread that
 *    started it. A second tavri_transaction_start waits until the open one is
 *    committed or aborted, so everything between start and commit is atomic;
 *    waiting starts are served in the order they arrived.
 *    Changes are visible outside the transaction only once committed; abort
 *    discards them. A failed commit leaves the transaction open for abort.
 *    Abort from a thread that owns no transaction does nothing.
 *  - tavri_remotedevice_get and tavri_remotedevice_set work only inside the
 *    calling thread's transaction. A query matches the records with its key
 *    and, when its dcbx_pending is not null, that value. A set writes a
 *    non-null dcbx_pending into every record with the key; none matching is
 *    not an error.
 *  - A result set holds copies of the matching records and stays readable,
 *    whatever happens to the store, until tavri_results_free; freeing null is
 *    harmless. memstore_destroy releases any left over.
 *  - For tests: any call can be made to fail with a chosen status, and every
 *    tavri_ call is logged: its name, status and the DCBX-pending values it
 *    handed over or replaced.
 */
#ifndef CONFMODEL_HOST_STORE_MEMSTORE_H
#define CONFMODEL_HOST_STORE_MEMSTORE_H

#include <stddef.h>
#include <stdint.h>

#include "storelog.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The store's own statuses, apart from any errno value. */
enum {
    MEMSTORE_ERR_HANDLE = 1001,         /* store handle 0 */
    MEMSTORE_ERR_NO_TRANSACTION = 1002, /* the calling thread has no open transaction */
    MEMSTORE_ERR_NESTED = 1003,         /* the calling thread already has one open */
    MEMSTORE_ERR_FIELD = 1004,          /* a record sets a field the store does not keep */
    MEMSTORE_ERR_NO_MEMORY = 1005
};

/* What memstore_read_dcbx_pending found. */
enum {
    MEMSTORE_NO_RECORD = -1,
    MEMSTORE_ABSENT = 0, /* the record's dcbx_pending is null */
    MEMSTORE_PRESENT = 1
};

/* The tavri_ calls that return a status, for memstore_fail_call. */
typedef enum memstore_call {
    MEMSTORE_CALL_TRANSACTION_START,
    MEMSTORE_CALL_TRANSACTION_COMMIT,
    MEMSTORE_CALL_REMOTEDEVICE_GET,
    MEMSTORE_CALL_REMOTEDEVICE_SET,
    MEMSTORE_CALL_KINDS
} memstore_call;

typedef struct memstore memstore;

/* Null when out of memory. */
memstore *memstore_create(void);
/* No transaction may be open. Releases the result sets not yet freed. */
void memstore_destroy(memstore *store);
uintptr_t memstore_handle(memstore *store);

/* Adds a committed record; dcbx_pending may be null (absent). Waits while
 * another thread's transaction is open. 0, MEMSTORE_ERR_NESTED or
 * MEMSTORE_ERR_NO_MEMORY. */
int memstore_add_device(memstore *store, uintptr_t key, const char *dcbx_pending);
/* Committed records with key. */
size_t memstore_device_count(memstore *store, uintptr_t key);
/* Copies the committed dcbx_pending of the index-th record with key (in the
 * order added) into buffer, truncated to size - 1 characters and terminated;
 * buffer may be null when size is 0. Returns MEMSTORE_PRESENT,
 * MEMSTORE_ABSENT (buffer holds "") or MEMSTORE_NO_RECORD. */
int memstore_read_dcbx_pending(memstore *store, uintptr_t key, size_t index, char *buffer,
                               size_t size);
/* Result sets handed out and not yet freed. */
size_t memstore_live_results(memstore *store);

/* The nth call of that kind from now (1 = the next) returns status instead of
 * doing its work; a get then hands back no result set. nth 0 disarms. */
void memstore_fail_call(memstore *store, memstore_call call, int nth, int status);

/* The tavri_ calls made on the store, in order: their names, such as
 * "tavri_transaction_start". Null past the end. */
size_t memstore_call_count(memstore *store);
const char *memstore_call_name(memstore *store, size_t index);
void memstore_clear_calls(memstore *store);
/* Visits the logged calls in order, with their statuses and DCBX-pending
 * values (storelog.h); returns 0, MEMSTORE_ERR_NO_MEMORY, or the visitor's
 * non-zero return. The visitor must not call the store. */
int memstore_each_call(memstore *store, store_call_visitor visit, void *context);

#ifdef __cplusplus
}
#endif

#endif /* CONFMODEL_HOST_STORE_MEMSTORE_H */

/* The configuration-store client the host supplies: transactions and the
 * remote-device table. Every call takes the store handle first. */
#ifndef CONFMODEL_HOST_TAVRI_H
#define CONFMODEL_HOST_TAVRI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One remote-device record as the store exchanges it: 29 pointer-sized fields,
 * of which the module uses two. Records the module builds are all null but
 * for those. */
typedef struct remotedevice_record {
    uintptr_t key;              /* in a query: the device to match */
    void *store_a[21];          /* the store's */
    const char *dcbx_pending;   /* "true" / "false", or absent */
    void *store_b[6];           /* the store's */
} remotedevice_record;

#if defined(__cplusplus)
static_assert(sizeof(remotedevice_record) == 29 * sizeof(void *), "remotedevice_record is 29 pointers");
static_assert(offsetof(remotedevice_record, dcbx_pending) == 22 * sizeof(void *),
              "dcbx_pending is field 22");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(remotedevice_record) == 29 * sizeof(void *), "remotedevice_record is 29 pointers");
_Static_assert(offsetof(remotedevice_record, dcbx_pending) == 22 * sizeof(void *),
               "dcbx_pending is field 22");
#else
typedef char tavri_record_size_check[sizeof(remotedevice_record) == 29 * sizeof(void *) ? 1 : -1];
typedef char tavri_dcbx_offset_check[offsetof(remotedevice_record, dcbx_pending) == 22 * sizeof(void *) ? 1 : -1];
#endif

/* 0 when a transaction is open on the store. */
int tavri_transaction_start(uintptr_t store);
/* 0 when the transaction's changes are committed. */
int tavri_transaction_commit(uintptr_t store);
/* Discards the open transaction's changes. */
void tavri_transaction_abort(uintptr_t store);
/* Finds the records matching query (by key). On 0, *out_results is a result set
 * to release with tavri_results_free, *out_first the first match (readable until
 * then) and *out_count the number of matches. */
int tavri_remotedevice_get(uintptr_t store, const remotedevice_record *query,
                           void **out_results, remotedevice_record **out_first,
                           int *out_count);
/* Writes the non-null fields of update into the device's record(s). */
int tavri_remotedevice_set(uintptr_t store, uintptr_t device_key,
                           const remotedevice_record *update);
/* Releases a result set; null is harmless. */
void tavri_results_free(uintptr_t store, void *results);

#ifdef __cplusplus
}
#endif

#endif /* CONFMODEL_HOST_TAVRI_H */

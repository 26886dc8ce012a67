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

/* The store is built against this layout: 29 pointers, 116 bytes on the
 * 32-bit device, the key first and dcbx_pending at position 22. */
#if defined(__cplusplus) && __cplusplus >= 201103L
#define TAVRI_ASSERT(cond, name) static_assert(cond, #name)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define TAVRI_ASSERT(cond, name) _Static_assert(cond, #name)
#else
#define TAVRI_ASSERT(cond, name) typedef char tavri_assert_##name[(cond) ? 1 : -1]
#endif
TAVRI_ASSERT(sizeof(remotedevice_record) == 29 * sizeof(void *), remotedevice_record_is_29_pointers);
TAVRI_ASSERT(offsetof(remotedevice_record, key) == 0, remotedevice_key_is_field_0);
TAVRI_ASSERT(offsetof(remotedevice_record, dcbx_pending) == 22 * sizeof(void *),
             remotedevice_dcbx_pending_is_field_22);
#if UINTPTR_MAX == 0xffffffff
TAVRI_ASSERT(sizeof(remotedevice_record) == 116, remotedevice_record_is_116_bytes);
TAVRI_ASSERT(offsetof(remotedevice_record, dcbx_pending) == 88, remotedevice_dcbx_pending_at_88);
#endif
#undef TAVRI_ASSERT

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

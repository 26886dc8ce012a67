/*
 * The log a store keeps of the tavri_ calls made on it, for a host that shows
 * what the module read and wrote inside its own transaction: taken during the
 * calls, it needs no read of its own before or after, which another process
 * could change in between.
 */
#ifndef CONFMODEL_HOST_STORE_STORELOG_H
#define CONFMODEL_HOST_STORE_STORELOG_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct store_call {
    const char *name; /* "tavri_remotedevice_get", ... */
    int status;       /* what the call returned; 0 for those that return nothing */
    /* The DCBX-pending values (null where absent) of the records a get handed
     * over, or that a set wrote to, before the write; count of them. */
    size_t count;
    const char *const *before;
    const char *written; /* a set's DCBX-pending value; null when it writes none */
} store_call;

/* Called once per logged call, in order, with texts that last until it
 * returns; non-zero stops the walk. */
typedef int (*store_call_visitor)(void *context, const store_call *call);

#ifdef __cplusplus
}
#endif

#endif /* CONFMODEL_HOST_STORE_STORELOG_H */

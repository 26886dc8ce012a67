/* A host written in C: only the module's header and the store's. Returns the
 * number of checks that failed. */
#include "confmodel.h"
#include "memstore.h"

#include <errno.h>
#include <string.h>

int memstore_c_host(void);

int memstore_c_host(void) {
    memstore *store = memstore_create();
    uintptr_t handle;
    char value[8];
    int failures = 0;

    if (store == NULL)
        return 1;
    handle = memstore_handle(store);
    failures += memstore_add_device(store, 42, "false") != 0;
    failures += dcbx_pending_test_and_set(handle, 42, "true", "false") != EBUSY;
    failures += dcbx_pending_test_and_set(handle, 43, "false", "true") != EINVAL;
    failures += dcbx_pending_set(handle, 42) != 0;
    failures += memstore_read_dcbx_pending(store, 42, 0, value, sizeof value) != MEMSTORE_PRESENT;
    failures += strcmp(value, "true") != 0;
    failures += memstore_live_results(store) != 0;
    memstore_destroy(store);
    return failures;
}

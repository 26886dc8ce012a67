#include "confmodel.h"
#include "tavri.h"

#include <errno.h>
#include <string.h>

/* The read, the comparison and the write share one store transaction, so the
 * store's isolation makes the test-and-set atomic; the module locks nothing. */
int dcbx_pending_test_and_set(uintptr_t store_handle, uintptr_t device_key, const char *expected,
                              const char *new_value) {
    void *results = nullptr;
    remotedevice_record *device = nullptr;
    remotedevice_record query = {};
    remotedevice_record update = {};
    int count = 0;

    int status = tavri_transaction_start(store_handle);
    if (status != 0)
        goto abort;

    if (expected != nullptr) {
        query.key = device_key;
        status = tavri_remotedevice_get(store_handle, &query, &results, &device, &count);
        if (status != 0)
            goto abort;
        /* A store that reports one match must also hand it over; without it
         * there is no device to compare. */
        if (count != 1 || device == nullptr) {
            status = EINVAL;
            goto abort;
        }
        /* An absent value equals no expected string. */
        if (device->dcbx_pending == nullptr || strcmp(expected, device->dcbx_pending) != 0) {
            status = EBUSY;
            goto abort;
        }
    }

    update.dcbx_pending = new_value;
    status = tavri_remotedevice_set(store_handle, device_key, &update);
    if (status != 0)
        goto abort;
    status = tavri_transaction_commit(store_handle);
    if (status != 0)
        goto abort;
    tavri_results_free(store_handle, results);
    return 0;

abort:
    /* results is null unless a query produced it; a failed start lands here too. */
    tavri_results_free(store_handle, results);
    tavri_transaction_abort(store_handle);
    return status;
}

int dcbx_pending_set(uintptr_t store_handle, uintptr_t device_key) {
    return dcbx_pending_test_and_set(store_handle, device_key, nullptr, "true");
}

int dcbx_pending_reset(uintptr_t store_handle, uintptr_t device_key) {
    return dcbx_pending_test_and_set(store_handle, device_key, nullptr, "false");
}

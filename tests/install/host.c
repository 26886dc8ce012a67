/* A host built from the installed files alone: the headers and the library
 * that pkg-config names. It supplies the services the library takes from its
 * host, with a store that accepts every write. */
#include <confmodel.h>
#include <hosk.h>
#include <tavri.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

char *hosk_strdup(const char *text) {
    char *copy = malloc(strlen(text) + 1);
    return copy != NULL ? strcpy(copy, text) : NULL;
}

int tavri_transaction_start(uintptr_t store) { return store == 0; }
int tavri_transaction_commit(uintptr_t store) { return store == 0; }
void tavri_transaction_abort(uintptr_t store) { (void)store; }
int tavri_remotedevice_get(uintptr_t store, const remotedevice_record *query, void **out_results,
                           remotedevice_record **out_first, int *out_count) {
    (void)store, (void)query, (void)out_results, (void)out_first, (void)out_count;
    return 1;
}
int tavri_remotedevice_set(uintptr_t store, uintptr_t device_key,
                           const remotedevice_record *update) {
    (void)device_key;
    return store == 0 || strcmp(update->dcbx_pending, "true") != 0;
}
void tavri_results_free(uintptr_t store, void *results) { (void)store, (void)results; }

int main(void) {
    char *columns[18] = {0};
    subport_data subport;
    int parent;

    columns[0] = "/ports/port3/subports/1";
    columns[9] = "enabled";
    memset(&subport, 0, sizeof subport);
    parent = get_parent_port_number(columns[0]);
    if (parent != 2 || parse_subport_data(parent, columns, &subport) != 0 || !subport.enabled ||
        strcmp(subport.pathname, columns[0]) != 0 || dcbx_pending_set(1, 7) != 0) {
        fprintf(stderr, "the installed library failed a subport or the host's store\n");
        return 1;
    }
    free_subport_data(&subport);
    return 0;
}

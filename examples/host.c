/* A minimal host: it supplies what the module takes from its host, builds a
 * model from three records, answers a port lookup, and takes the model apart.
 * Linked:  cc host.c $(pkg-config --cflags --libs confmodel)
 *          (and -Wl,-rpath,$(pkg-config --variable=libdir confmodel) where
 *          that is not a folder the dynamic linker searches)
 * Loaded:  cc -DLOAD_MODULE host.c $(pkg-config --cflags confmodel) -rdynamic -ldl
 *          ./a.out $(pkg-config --variable=module confmodel) */
#include <confmodel.h>
#include <confmodel_lists.h>
#include <hosk.h>
#include <tavri.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef LOAD_MODULE
#include <dlfcn.h>
static void *module;
typedef void (*function)(void);
static function find(const char *name) { /* ISO C converts no void * to a function pointer */
    void *found = dlsym(module, name);
    function f;
    memcpy(&f, &found, sizeof f);
    return f;
}
#define CALL(name) (*(__typeof__(&name))find(#name))
#define DATA(name) (*(__typeof__(&name))dlsym(module, #name))
#else
#define CALL(name) name
#define DATA(name) name
#endif

/* The module names all of these, so every host defines them, DCBX or not.
 * This one keeps no remote devices: its store refuses every call. */
char *hosk_strdup(const char *text) {
    char *copy = malloc(strlen(text) + 1);
    return copy != NULL ? strcpy(copy, text) : NULL;
}
int tavri_transaction_start(uintptr_t store) { return (void)store, 1; }
int tavri_transaction_commit(uintptr_t store) { return (void)store, 1; }
void tavri_transaction_abort(uintptr_t store) { (void)store; }
int tavri_remotedevice_get(uintptr_t store, const remotedevice_record *query, void **results,
                           remotedevice_record **first, int *count) {
    return (void)store, (void)query, (void)results, (void)first, (void)count, 1;
}
int tavri_remotedevice_set(uintptr_t store, uintptr_t key, const remotedevice_record *update) {
    return (void)store, (void)key, (void)update, 1;
}
void tavri_results_free(uintptr_t store, void *results) { (void)store, (void)results; }

int main(int argc, char **argv) {
    /* Records: column strings, null where absent (docs/records.md). */
    char *group_record[20] = {"/portgroups/uplink", NULL, NULL, "1", NULL, "0", "0", "0x3", "100",
                              "0", "0", "0", "0", "0", "0", "0", "0"};
    char *xnet_record[12] = {"/xnets/prod", NULL, NULL, NULL, NULL, "100", NULL, "enabled"};
    char *member_record[8] = {"/xnets/prod/xnetgroups/uplink", NULL, NULL, NULL, NULL,
                              "external", "/portgroups/uplink"};
    portgroup_entry *group, *found;
    xnet_entry *xnet;
    xnetgroup_entry *member;
    int duplicate;

#ifdef LOAD_MODULE
    if (argc != 2 || (module = dlopen(argv[1], RTLD_NOW)) == NULL)
        return fprintf(stderr, "%s\n", argc != 2 ? "usage: host MODULE" : dlerror()), 2;
#endif
    (void)argc, (void)argv;
    /* 1. The host owns the list heads and puts them into the empty state. */
    confmodel_list_init(&DATA(portgroups));
    confmodel_list_init(&DATA(xnets));

    /* 2. Port groups, 3. xnets, 4. xnetgroups (they bind to port groups by
     * name), 5. the native VLAN, once the port groups exist. */
    if (CALL(create_new_portgroup)(group_record, &group) != 0 ||
        CALL(create_new_xnet)(xnet_record, &xnet, &duplicate) != 0 ||
        CALL(create_new_xnetgroup)(member_record, xnet, &member) != 0)
        return 1;
    CALL(test_and_set_native_vlan)(xnet, group->number);

    /* Lookups: first match in creation order, or NULL. The module counts
     * ports from 0, pathnames from 1: /ports/port1 is port 0. */
    found = CALL(find_ext_portgroup_for_port)(0);
    printf("/ports/port1: %s; %s %s\n", found != NULL ? found->pathname : "none", xnet->pathname,
           xnet->is_native_vlan ? "native" : "not native");

    /* Releasing is the host's: unlink, then free, an xnet's xnetgroups first
     * (lowering the count of the group each one bound). */
    confmodel_list_unlink(&xnet->xnetgroups, member);
    member->portgroup->xnetgroup_count--;
    CALL(free_xnetgroup_entry)(member);
    confmodel_list_unlink(&DATA(xnets), xnet);
    CALL(free_xnet_entry)(xnet);
    confmodel_list_unlink(&DATA(portgroups), group);
    CALL(free_portgroup_entry)(group);
    return 0;
}

/* A host written in C: includes only the public header, supplies the string
 * duplicator itself, and builds a port group through the library. */
#include "confmodel.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

char *hosk_strdup(const char *text);

char *hosk_strdup(const char *text) {
    size_t size = strlen(text) + 1;
    char *copy = malloc(size);
    if (copy != NULL)
        memcpy(copy, text, size);
    return copy;
}

int main(void) {
    char *columns[20] = {0};
    portgroup_entry *entry = NULL;
    int status;

    columns[0] = "/portgroups/c";
    columns[3] = "7";
    columns[7] = "0x10";
    portgroups.first = NULL;
    portgroups.tail_link = &portgroups.first;

    status = create_new_portgroup(columns, &entry);
    if (status != 0 || entry == NULL || find_ext_portgroup_for_port(4) != entry ||
        find_portgrp_by_name("/portgroups/c") != entry || strcmp(entry->pathname, "/portgroups/c") != 0) {
        fprintf(stderr, "C host could not build a port group (status %d)\n", status);
        return 1;
    }
    portgroups.first = NULL;
    portgroups.tail_link = &portgroups.first;
    free_portgroup_entry(entry);
    return 0;
}

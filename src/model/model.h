/* Declarations shared inside the network model. */
#ifndef CONFMODEL_MODEL_MODEL_H
#define CONFMODEL_MODEL_MODEL_H

#include "confmodel.h"

#include <stdlib.h>
#include <string.h>

/* Entries come from malloc, zero-filled, so host-owned members start at zero. */
template <typename Entry> Entry *alloc_entry() {
    Entry *entry = static_cast<Entry *>(malloc(sizeof(Entry)));
    if (entry != nullptr)
        memset(entry, 0, sizeof *entry);
    return entry;
}

/* The creators' last step: list the entry, or hand back the one already
 * listed with its int_vid (releasing the new one). Always 0. */
int insert_xnet_entry(xnet_entry **out_entry, xnet_entry *entry, int *out_duplicate);

#endif /* CONFMODEL_MODEL_MODEL_H */

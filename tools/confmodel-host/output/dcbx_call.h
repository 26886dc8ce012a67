// A DCBX call through the module on a store, and how it reads: the value
// the module's transaction read, the status, and the value it left.
#ifndef CONFMODEL_HOST_OUTPUT_DCBX_CALL_H
#define CONFMODEL_HOST_OUTPUT_DCBX_CALL_H

#include "output/report.h"
#include "running/module.h"
#include "store/store.h"

#include <cstdint>
#include <ostream>
#include <string>

struct DcbxCall {
    std::string action; // set, reset or test-and-set
    uintptr_t key = 0;
    std::string expected, new_value;
};

// Makes the call on the store and writes what it did. `kept_store` says
// whether the store keeps what is written (a store file), or is a dump's.
// Returns the exit status: 0 when the store changed, 1 when the module
// answered otherwise or nothing changed, 2 for a failure of the store.
struct DcbxDone {
    int exit;
    bool changed;
    bool locked; // another process held the store's lock: nothing was written
};
DcbxDone call_dcbx(std::ostream &out, View view, const Module &module, Store &store, bool kept_store,
                   const DcbxCall &call);

#endif

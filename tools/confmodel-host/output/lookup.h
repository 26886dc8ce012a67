// The lookups a host answers over the module's lists, and how an answer
// reads: as `show` prints it, or as a JSON document.
#ifndef CONFMODEL_HOST_OUTPUT_LOOKUP_H
#define CONFMODEL_HOST_OUTPUT_LOOKUP_H

#include "output/report.h"
#include "running/module.h"

#include <cstdint>
#include <ostream>
#include <string>

struct Query {
    enum Kind { none, port, vlan, portgroup, xnetgroup, xnet } kind = none;
    int64_t number = 0;
    std::string text, separator; // a pathname, and an xnetgroup's separator
};

// Writes the entry the query finds (null in JSON, "not found" as text).
// Returns 0, or 1 when there is none.
int answer_lookup(std::ostream &out, View view, const Module &module, const Query &query);

#endif

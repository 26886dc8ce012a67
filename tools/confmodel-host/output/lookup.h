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

// What a query finds: one entry of the kind it asks for, or none.
struct Found {
    const portgroup_entry *portgroup = nullptr; // port, portgroup
    const xnet_entry *xnet = nullptr;           // vlan, xnet
    const xnetgroup_entry *xnetgroup = nullptr; // xnetgroup
    bool found() const { return portgroup != nullptr || xnet != nullptr || xnetgroup != nullptr; }
};
Found find_entry(const Module &module, const Query &query);

// Writes the entry the query finds (null in JSON, "not found" as text).
// Returns 0, or 1 when there is none.
int answer_lookup(std::ostream &out, View view, const Module &module, const Query &query);

// The answer's JSON document on one line, as View::json_line writes it
// from a tree, appended without one: {"format":2,"found":...}.
void append_found_document(std::string &out, const Found &found);

#endif

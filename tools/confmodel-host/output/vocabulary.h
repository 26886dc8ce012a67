// The words every --json document shares, whatever the command: its format
// version, a place as a file and a line, a severity, a finding's code, and a
// status as a number with its name beside it. docs/json.md documents them.
#ifndef CONFMODEL_HOST_OUTPUT_VOCABULARY_H
#define CONFMODEL_HOST_OUTPUT_VOCABULARY_H

#include "output/document.h"

#include <string>

// Raised whenever a document changes in a way a reader of the last one
// would misread.
constexpr int json_format = 2;

// "file:line" as {"file": ..., "line": N}; a place without a line (a store
// file's path, for a commit) gives its file alone.
ojson place_json(const std::string &where);

// A syslog priority ("err", "warning", ...) or a note as a severity: "error",
// "warning" or "note".
const char *severity(const std::string &priority);

// The stable code of what a line the module logged, or a note of the host,
// says: "portgroup-duplicate-number" for "duplicated portgroup entry found!".
const char *finding_code(const std::string &text);

// A finding: where, its severity, its code and its text.
ojson finding_json(const std::string &where, const char *severity, const char *code,
                   const std::string &text);

// A status as a number, with its name beside it.
ojson status_json(int status, const std::string &name);

#endif

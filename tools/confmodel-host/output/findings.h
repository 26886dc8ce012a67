// What the host itself finds in a configuration, beyond the module's own
// reports: what the module accepts without a word but a user would not want
// (two entries that lookups cannot tell apart, a key every DCBX call on it
// refuses) and values the module converts lossily or ambiguously. The host
// reports; the records reach the module unchanged and the module decides.
#ifndef CONFMODEL_HOST_OUTPUT_FINDINGS_H
#define CONFMODEL_HOST_OUTPUT_FINDINGS_H

#include "running/model.h"

#include <iosfwd>
#include <string>
#include <vector>

struct HostFinding {
    std::string where; // "file:line"
    bool error;        // else a warning
    const char *code;  // stable, for tools: "portgroup-same-pathname"
    std::string text;
};

struct FindingCounts {
    int errors = 0;
    int warnings = 0;
    std::vector<HostFinding> found; // in line order
};

// The host's findings, in line order; each also written to out, unless that
// is null, as finding_line shows it. The model must be built from the dump.
FindingCounts report_findings(const Dump &dump, const HostModel &model, std::ostream *out);

// "file:line: host error: ..." or "host warning", with its line feed.
std::string finding_line(const HostFinding &finding);

#endif

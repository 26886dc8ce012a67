// What the host itself finds in a configuration, beyond the module's own
// reports: what the module accepts without a word but a user would not want
// (two entries that lookups cannot tell apart, a key every DCBX call on it
// refuses) and values the module converts lossily or ambiguously. The host
// reports; the records reach the module unchanged and the module decides.
#ifndef CONFMODEL_HOST_OUTPUT_FINDINGS_H
#define CONFMODEL_HOST_OUTPUT_FINDINGS_H

#include "running/model.h"

struct FindingCounts {
    int errors = 0;
    int warnings = 0;
};

// Writes each finding to standard error as "file:line: host error: ..." or
// "host warning", in line order, and counts them. The model must be built
// from the dump.
FindingCounts report_findings(const Dump &dump, const HostModel &model);

#endif

// Port records and remote devices compared by their records, each pair that
// differs described as the module decodes it: they come by the million, and
// a snapshot keeps only the module's lists.
#ifndef CONFMODEL_HOST_OUTPUT_RECORD_COMPARISON_H
#define CONFMODEL_HOST_OUTPUT_RECORD_COMPARISON_H

#include "input/changes.h"
#include "input/index.h"
#include "output/comparison.h"
#include "running/module.h"

// Adds to a comparison the port records and remote devices that differ
// between two lists of records: each paired with the record of its identity
// that stands in the same place among those of the identity, and a pair that
// differs described as the module decodes each side. Records of other kinds
// are passed over.
void compare_records(Comparison &c, const Module &module, const RecordList &before,
                     const RecordList &after);
// The same, with the pairing of the records (pair_records) made already.
void compare_records(Comparison &c, const Module &module, const RecordList &before,
                     const RecordList &after, const Pairing &pairing);
// The same between a configuration and the result of a plan on it, from the
// records the plan touched alone.
void compare_changed_records(Comparison &c, const Module &module,
                             const RecordList &before, const Plan &plan);
// The same between a running model's port records and remote devices and a
// configuration's: nothing when it holds the very same records, whatever
// their order.
void compare_running_records(Comparison &c, const Module &module,
                             const RecordList &running,
                             const RecordList &configuration);

#endif

// The records of two configurations paired by identity, for configurations
// of a million records.
#ifndef CONFMODEL_HOST_INPUT_INDEX_H
#define CONFMODEL_HOST_INPUT_INDEX_H

#include "input/records.h"

#include <cstdint>
#include <vector>

// How the records of two configurations pair up: the k-th record of an
// identity in one with the k-th record of that identity in the other. One
// index, over the records before; the records after are looked up in order.
struct Pairing {
    static constexpr uint32_t none = UINT32_MAX;
    // Per record after: its partner before (or none), which of its identity
    // it is (1 for the first), how many records its identity has before and
    // after, and its identity's first record before (or none).
    LargeVector<uint32_t> partner, nth, olds, news, group;
    // Per record before: which of its identity it is, how many records its
    // identity has before, and whether it has a partner after.
    LargeVector<uint32_t> old_nth, old_olds;
    std::vector<bool> paired;
};
Pairing pair_records(const RecordList &before,
                     const RecordList &after);

#endif

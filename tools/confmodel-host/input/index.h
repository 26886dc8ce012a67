// The records of a configuration by identity, for pairing two
// configurations of a million records: one table of positions, open
// addressing, and a chain through the positions that share an identity.
#ifndef CONFMODEL_HOST_INPUT_INDEX_H
#define CONFMODEL_HOST_INPUT_INDEX_H

#include "input/records.h"

#include <cstdint>
#include <vector>

class IdentityIndex {
  public:
    static constexpr uint32_t none = UINT32_MAX;

    // The records must outlive the index.
    explicit IdentityIndex(const RecordList &records);

    // The first position of a record with this identity, or none; the next
    // one after a position, or none.
    uint32_t first(const RecordKey &key) const;
    uint32_t next(uint32_t position) const { return next_[position]; }
    // Whether a position holds the first record of its identity.
    bool is_first(uint32_t position) const { return first_[position]; }
    // How many records there are from a position on, along its identity.
    uint32_t count_from(uint32_t position) const;
    // The positions of the records with this identity, in order.
    std::vector<size_t> positions(const RecordKey &key) const;

  private:
    const RecordList &records_;
    LargeVector<uint32_t> slots_;  // a first position + 1, or 0
    LargeVector<uint32_t> hashes_; // of the slot's identity, to pass over others quickly
    LargeVector<uint32_t> next_;
    std::vector<bool> first_;
    size_t mask_;
};

// How the records of two configurations pair up: the k-th record of an
// identity in one with the k-th record of that identity in the other. One
// index, over the records before; the records after are looked up in order.
struct Pairing {
    static constexpr uint32_t none = IdentityIndex::none;
    // Per record after: its partner before (or none), which of its identity
    // it is (1 for the first), how many records its identity has before and
    // after, and its identity's first record before (or none).
    LargeVector<uint32_t> partner, nth, olds, news, group;
    // Per record before: which of its identity it is, how many records its
    // identity has before and after, and whether it has a partner after.
    LargeVector<uint32_t> old_nth, old_olds, old_news;
    std::vector<bool> paired;
};
Pairing pair_records(const RecordList &before,
                     const RecordList &after);

#endif

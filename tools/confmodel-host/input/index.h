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
    explicit IdentityIndex(const std::vector<const Record *> &records);

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
    const std::vector<const Record *> &records_;
    std::vector<uint32_t> slots_;  // a first position + 1, or 0
    std::vector<uint32_t> hashes_; // of the slot's identity, to pass over others quickly
    std::vector<uint32_t> next_;
    std::vector<bool> first_;
    size_t mask_;
};

#endif

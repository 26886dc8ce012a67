#include "input/index.h"

#include <stdexcept>

IdentityIndex::IdentityIndex(const std::vector<const Record *> &records)
    : records_(records), next_(records.size(), none), first_(records.size()) {
    if (records.size() >= none) throw std::length_error("too many records");
    size_t size = 16;
    while (size < 2 * records.size())
        size *= 2;
    slots_.assign(size, 0);
    hashes_.assign(size, 0);
    mask_ = size - 1;
    // Each identity's last position so far, kept at its first.
    std::vector<uint32_t> last(records.size(), none);
    RecordKeyHash hash;
    for (uint32_t i = 0; i < records.size(); i++) {
        RecordKey key = identity(*records[i]);
        size_t h = hash(key);
        for (size_t slot = h & mask_;; slot = (slot + 1) & mask_) {
            uint32_t at = slots_[slot];
            if (at == 0) {
                slots_[slot] = i + 1;
                hashes_[slot] = static_cast<uint32_t>(h);
                first_[i] = true;
                last[i] = i;
                break;
            }
            if (hashes_[slot] == static_cast<uint32_t>(h) && identity(*records[at - 1]) == key) {
                next_[last[at - 1]] = i;
                last[at - 1] = i;
                break;
            }
        }
    }
}

uint32_t IdentityIndex::first(const RecordKey &key) const {
    size_t h = RecordKeyHash()(key);
    for (size_t slot = h & mask_;; slot = (slot + 1) & mask_) {
        uint32_t at = slots_[slot];
        if (at == 0) return none;
        if (hashes_[slot] == static_cast<uint32_t>(h) && identity(*records_[at - 1]) == key)
            return at - 1;
    }
}

uint32_t IdentityIndex::count_from(uint32_t position) const {
    uint32_t n = 0;
    for (uint32_t at = position; at != none; at = next_[at])
        n++;
    return n;
}

std::vector<size_t> IdentityIndex::positions(const RecordKey &key) const {
    std::vector<size_t> out;
    for (uint32_t at = first(key); at != none; at = next_[at])
        out.push_back(at);
    return out;
}

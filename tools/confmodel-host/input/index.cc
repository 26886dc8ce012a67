#include "input/index.h"

#include <stdexcept>
#include <unordered_map>

namespace {

// The records of a configuration by identity: one table of positions, open
// addressing, and a chain through the positions that share an identity.
class IdentityIndex {
  public:
    static constexpr uint32_t none = Pairing::none;

    // The records must outlive the index.
    explicit IdentityIndex(const RecordList &records);

    // The first position of a record with this identity, or none; the next
    // one after a position, or none.
    uint32_t first(const RecordKey &key) const;
    uint32_t next(uint32_t position) const { return next_[position]; }
    // Whether a position holds the first record of its identity.
    bool is_first(uint32_t position) const { return first_[position]; }

  private:
    const RecordList &records_;
    LargeVector<uint32_t> slots_;  // a first position + 1, or 0
    LargeVector<uint32_t> hashes_; // of the slot's identity, to pass over others quickly
    LargeVector<uint32_t> next_;
    std::vector<bool> first_;
    size_t mask_;
};

IdentityIndex::IdentityIndex(const RecordList &records)
    : records_(records), next_(records.size(), none), first_(records.size()) {
    if (records.size() >= none) throw std::length_error("too many records");
    size_t size = 16;
    while (size < 2 * records.size())
        size *= 2;
    slots_.assign(size, 0);
    hashes_.assign(size, 0);
    mask_ = size - 1;
    // Each identity's last position so far, kept at its first.
    LargeVector<uint32_t> last(records.size(), none);
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

} // namespace

Pairing pair_records(const RecordList &before,
                     const RecordList &after) {
    constexpr uint32_t none = Pairing::none;
    const IdentityIndex old_at(before);
    Pairing p;
    p.old_nth.assign(before.size(), 1);
    p.paired.assign(before.size(), false);
    // Per identity before, kept at its first record: how many it has, how
    // many after, and the next one to pair.
    LargeVector<uint32_t> old_count(before.size()), new_count(before.size()), cursor(before.size());
    for (uint32_t i = 0; i < before.size(); i++) {
        if (!old_at.is_first(i)) continue;
        uint32_t k = 0;
        for (uint32_t at = i; at != none; at = old_at.next(at))
            p.old_nth[at] = ++k;
        old_count[i] = k;
        cursor[i] = i;
    }
    // Identities only after, which are few in a change.
    std::unordered_map<RecordKey, uint32_t, RecordKeyHash> only_after;
    p.partner.assign(after.size(), none);
    p.nth.assign(after.size(), 1);
    p.group.assign(after.size(), none);
    for (uint32_t i = 0; i < after.size(); i++) {
        RecordKey key = identity(*after[i]);
        uint32_t o = old_at.first(key);
        p.group[i] = o;
        if (o == none) {
            p.nth[i] = ++only_after[key];
            continue;
        }
        p.nth[i] = ++new_count[o];
        if (cursor[o] != none) {
            p.partner[i] = cursor[o];
            p.paired[cursor[o]] = true;
            cursor[o] = old_at.next(cursor[o]);
        }
    }
    p.olds.resize(after.size());
    p.news.resize(after.size());
    for (uint32_t i = 0; i < after.size(); i++) {
        uint32_t o = p.group[i];
        p.olds[i] = o == none ? 0 : old_count[o];
        p.news[i] = o == none ? only_after.at(identity(*after[i])) : new_count[o];
    }
    p.old_olds.resize(before.size());
    p.old_news.resize(before.size());
    for (uint32_t i = 0; i < before.size(); i++)
        if (old_at.is_first(i))
            for (uint32_t at = i; at != none; at = old_at.next(at)) {
                p.old_olds[at] = old_count[i];
                p.old_news[at] = new_count[i];
            }
    return p;
}

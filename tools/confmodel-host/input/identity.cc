#include "input/identity.h"

#include <functional>

uintptr_t device_key(const Record &device) {
    return static_cast<uintptr_t>(*canonical_number(device.column(REMOTE_DEVICE_KEY), UINT32_MAX));
}

namespace {

// The kind part of an identity: the first table of a kind names it.
Table identity_kind(Table table) {
    return table == Table::fc_xnet        ? Table::xnet
           : table == Table::fc_xnetgroup ? Table::xnetgroup
                                          : table;
}

} // namespace

RecordKey identity(const Record &record) {
    return {identity_kind(record.table), record.has(0), record.column_text(0), record.xnet()};
}

size_t RecordKeyHash::operator()(const RecordKey &key) const {
    std::hash<std::string_view> hash;
    uint64_t h = hash(key.name) ^ hash(key.xnet) * 0x9e3779b97f4a7c15u ^
                 (static_cast<uint64_t>(key.kind) * 2 + key.named) * 0xc2b2ae3d27d4eb4fu;
    // Every bit of the result depends on every part: tables take the low bits.
    h ^= h >> 31;
    h *= 0xbf58476d1ce4e5b9u;
    h ^= h >> 29;
    return static_cast<size_t>(h);
}

Table record_kind(const Record &record) {
    return identity_kind(record.table);
}

Phrase describe_phrase(const Record &record) {
    const char *name = record.column(0);
    const Table kind = record_kind(record);
    switch (kind) {
    case Table::remote_device:
        return std::string("remote device ") + name;
    case Table::xnetgroup:
        return "xnetgroup " + Phrase::name(name) + " under " + Phrase::name(record.xnet());
    default:
        return std::string(table_info(kind).name) + " " +
               (name != nullptr ? Phrase::name(name) : Phrase("without a pathname"));
    }
}

std::string describe(const Record &record) {
    return describe_phrase(record).text();
}


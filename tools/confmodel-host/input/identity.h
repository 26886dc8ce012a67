// Which record a record is, whatever its other columns hold: what pairs
// records of two configurations, what a change names, and what people read.
#ifndef CONFMODEL_HOST_INPUT_IDENTITY_H
#define CONFMODEL_HOST_INPUT_IDENTITY_H

#include "input/phrase.h"
#include "input/record.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A remote device's key, checked by the reader: a decimal number of 32 bits.
uintptr_t device_key(const Record &device);

// A record's identity: its kind and column 0, and for an xnetgroup also its
// xnet. Ethernet and FC xnets share one kind, as do the two xnetgroups,
// since lookups by name find either: a change can turn one into the other.
// Two records share an identity exactly when these parts are equal, whatever
// bytes their names hold; an absent column 0 differs from every text. The
// views point into the record's texts.
struct RecordKey {
    Table kind;
    bool named; // column 0 is present
    std::string_view name, xnet;
    bool operator==(const RecordKey &other) const {
        return kind == other.kind && named == other.named && name == other.name &&
               xnet == other.xnet;
    }
};
struct RecordKeyHash {
    size_t operator()(const RecordKey &key) const;
};
RecordKey identity(const Record &record);
// The kind of record an identity names: Table::xnet for either xnet,
// Table::xnetgroup for either xnetgroup, else the record's own table.
Table record_kind(const Record &record);
// The identity for people: `xnet "/xnets/prod"`, `remote device 1001`; and
// the same with its names kept apart, for steps and JSON.
std::string describe(const Record &record);
Phrase describe_phrase(const Record &record);

#endif

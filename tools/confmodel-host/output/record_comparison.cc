#include "output/record_comparison.h"

#include "output/report_json.h"

#include <algorithm>
#include <functional>

namespace {

// The section a record's entry stands in, or SECTIONS for a record of the
// module's lists.
Section section_of(const Record &record) {
    switch (record.table) {
    case Table::subport: return SUBPORTS;
    case Table::port_protect: return PORT_PROTECTS;
    case Table::subport_protect: return SUBPORT_PROTECTS;
    case Table::remote_device: return REMOTE_DEVICES;
    default: return SECTIONS;
    }
}

// A record's entry for people: its pathname (or a device's key), and from
// the second record of an identity on, which one it is.
std::string record_label(const Record &record, uint32_t nth) {
    const char *name = record.column(0);
    std::string text = record.table == Table::remote_device ? std::string("device ") + name
                       : name == nullptr                    ? std::string("without a pathname")
                       : *name == '\0'                      ? std::string("with an empty pathname")
                                                            : std::string(name);
    return nth > 1 ? text + " (" + ordinal(static_cast<int>(nth)) + ")" : text;
}

ojson describe_record(const Module &module, const Record &record) {
    if (record.table == Table::remote_device) return describe_remote_device(record);
    return describe_port_record(DecodedPortRecord(module, record));
}

} // namespace

void compare_records(Comparison &c, const Module &module, const RecordList &before,
                     const RecordList &after) {
    // The same records in the same order differ in nothing: the usual case
    // for the part of a configuration a change leaves alone.
    if (before.size() == after.size() && std::equal(before.begin(), before.end(), after.begin()))
        return;
    compare_records(c, module, before, after, pair_records(before, after));
}

void compare_records(Comparison &c, const Module &module, const RecordList &before,
                     const RecordList &after, const Pairing &p) {
    // One pass over each side finds the records only before, and those
    // after that are added or differ from their partner, by section.
    std::vector<uint32_t> gone[SECTIONS], differing[SECTIONS];
    for (uint32_t i = 0; i < before.size(); i++)
        if (Section s = section_of(*before[i]); s != SECTIONS && !p.paired[i]) gone[s].push_back(i);
    for (uint32_t i = 0; i < after.size(); i++)
        if (Section s = section_of(*after[i]); s != SECTIONS)
            if (p.partner[i] == Pairing::none || !before[p.partner[i]]->same_as(*after[i]))
                differing[s].push_back(i);
    // Section by section: the records only before, in their order, then
    // those after.
    for (int section = SUBPORTS; section < SECTIONS; section++) {
        Section s = static_cast<Section>(section);
        for (uint32_t i : gone[s])
            c.entries.push_back({s, '-', record_label(*before[i], p.old_nth[i]), {}});
        for (uint32_t i : differing[s]) {
            if (p.partner[i] == Pairing::none)
                c.entries.push_back({s, '+', record_label(*after[i], p.nth[i]), {}});
            else if (auto fields = field_changes(describe_record(module, *before[p.partner[i]]),
                                                 describe_record(module, *after[i]));
                     !fields.empty())
                c.entries.push_back({s, '~', record_label(*after[i], p.nth[i]), std::move(fields)});
        }
    }
}

void compare_changed_records(Comparison &c, const Module &module,
                             const RecordList &before, const Plan &plan) {
    // Every other record is the same on both sides: the records the plan
    // touched, each in its configuration's order, compare as the whole would.
    RecordList old_records, new_records;
    for (const Record *record : before)
        if (plan.touched_before(record)) old_records.push_back(record);
    for (const Record *record : plan.result)
        if (plan.touched_after(record)) new_records.push_back(record);
    compare_records(c, module, old_records, new_records);
}

namespace {

// Whether two lists hold the very same records, in any order. (A walk of
// both side by side, where only the records out of step waited in a table,
// saved apply at 1M records 4 % of its instructions and 5 to 7 % of its CPU:
// too little to keep, 2026-12-07.)
bool same_records(const RecordList &mine, const RecordList &theirs) {
    if (mine.size() != theirs.size()) return false;
    RecordList sorted_mine = mine, sorted_theirs = theirs;
    std::sort(sorted_mine.begin(), sorted_mine.end(), std::less<const Record *>());
    std::sort(sorted_theirs.begin(), sorted_theirs.end(), std::less<const Record *>());
    return sorted_mine == sorted_theirs;
}

} // namespace

void compare_running_records(Comparison &c, const Module &module,
                             const RecordList &running,
                             const RecordList &configuration) {
    // The configuration's records section by section, each in its order: as
    // a running model keeps them.
    size_t start[SECTIONS + 1] = {};
    for (const Record *record : configuration)
        if (Section s = section_of(*record); s != SECTIONS) start[s + 1]++;
    for (int section = SUBPORTS; section < SECTIONS; section++)
        start[section + 1] += start[section];
    RecordList theirs(start[SECTIONS]);
    for (const Record *record : configuration)
        if (Section s = section_of(*record); s != SECTIONS) theirs[start[s]++] = record;
    if (!same_records(running, theirs)) compare_records(c, module, running, configuration);
}


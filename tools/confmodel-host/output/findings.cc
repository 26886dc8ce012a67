#include "output/findings.h"

#include "confmodel_lists.h"
#include "output/report.h"
#include "input/text.h"
#include "running/labels.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <unordered_map>

namespace {

struct Finding {
    const Record *record;
    bool error;
    const char *code;
    std::string text;
};

bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// What the module makes of a column it cannot hold exactly, or nothing when
// the value fits. The module takes its conversions from this process's C
// library, so calling the same functions here gives its very result.
std::optional<std::string> lossy(Numeric kind, const char *text) {
    // Too few characters to write a value the conversion cannot keep.
    static const size_t fits[] = {9, 16, 8, 8}; // by Numeric
    if (strnlen(text, 17) <= fits[static_cast<int>(kind)]) return std::nullopt;
    const char *p = text;
    while (is_space(*p))
        p++;
    errno = 0;
    switch (kind) {
    case Numeric::decimal: {
        long long value = strtoll(p, nullptr, 10);
        if (errno != ERANGE && value >= INT32_MIN && value <= INT32_MAX) return std::nullopt;
        return "is beyond 32 bits: the module reads it as " + std::to_string(atoi(text));
    }
    case Numeric::hex64:
        strtoull(p, nullptr, 16);
        if (errno != ERANGE) return std::nullopt;
        return "is beyond 64 bits: the module reads it as 0xffffffffffffffff";
    case Numeric::hex32:
    case Numeric::number32: {
        if (*p == '-' || *p == '+') p++;
        unsigned long long magnitude = strtoull(p, nullptr, kind == Numeric::hex32 ? 16 : 0);
        if (errno != ERANGE && magnitude <= UINT32_MAX) return std::nullopt;
        return "is beyond 32 bits: the module reads it as 0xffffffff";
    }
    }
    return std::nullopt;
}

class Findings {
  public:
    void add(const Record &record, bool error, const char *code, std::string text) {
        found_.push_back({&record, error, code, std::move(text)});
    }

    // In the order of the records' sources and lines.
    FindingCounts write(std::ostream *out) {
        std::stable_sort(found_.begin(), found_.end(), [](const Finding &a, const Finding &b) {
            return std::make_pair(a.record->source, a.record->line) <
                   std::make_pair(b.record->source, b.record->line);
        });
        FindingCounts counts;
        for (const Finding &f : found_) {
            (f.error ? counts.errors : counts.warnings)++;
            counts.found.push_back({where(*f.record), f.error, f.code, f.text});
            if (out != nullptr) *out << finding_line(counts.found.back());
        }
        return counts;
    }

  private:
    std::vector<Finding> found_;
};

// Listed entries that share a pathname: lookups by name find only the first.
template <typename Entry, typename Describe>
void same_pathnames(Findings &findings, const HostModel &model, const list_head *list,
                    const char *code, Describe describe) {
    std::unordered_map<std::string_view, const Entry *> first;
    CONFMODEL_LIST_FOREACH(const Entry, entry, list) {
        auto [at, added] = first.emplace(entry->pathname, entry);
        if (!added)
            findings.add(model.origin(entry), true, code,
                         describe(*entry, *at->second, where(model.origin(at->second))));
    }
}

} // namespace

std::string finding_line(const HostFinding &finding) {
    return finding.where + (finding.error ? ": host error: " : ": host warning: ") + finding.text + "\n";
}

FindingCounts report_findings(const Dump &dump, const HostModel &model, std::ostream *out) {
    Findings findings;
    const Module &m = model.module();

    same_pathnames<portgroup_entry>(
        findings, model, m.portgroups, "portgroup-same-pathname",
        [](const portgroup_entry &g, const portgroup_entry &first, const std::string &line) {
            std::string other = "#" + std::to_string(first.number);
            return portgroup_label(g).text() + " has the pathname of " + other + " (" + line +
                   "): lookups by name, and xnetgroups naming it, find " + other;
        });
    same_pathnames<xnet_entry>(
        findings, model, m.xnets, "xnet-same-pathname",
        [](const xnet_entry &x, const xnet_entry &first, const std::string &line) {
            return xnet_label(x).text() + " has the pathname of the xnet with VLAN " + std::to_string(first.int_vid) +
                   " (" + line + "): lookups by name find that one";
        });
    CONFMODEL_LIST_FOREACH(const xnet_entry, xnet, m.xnets) {
        same_pathnames<xnetgroup_entry>(
            findings, model, &xnet->xnetgroups, "xnetgroup-same-pathname",
            [](const xnetgroup_entry &g, const xnetgroup_entry &, const std::string &line) {
                return "xnetgroup " + quote(g.pathname) + " is filed twice under xnet " +
                       quote(g.xnet->pathname) + " (also " + line +
                       "): lookups by name find the first";
            });
    }

    // Remote devices by key, each with its place, sorted: records that share
    // a key stand together, the first of them first.
    LargeVector<std::pair<uint64_t, const Record *>> devices;
    devices.reserve(dump.records.size());
    for (const Record &record : dump.records) {
        const TableInfo &table = table_info(record.table);
        if (table.numeric.empty() && record.table != Table::remote_device) continue;
        auto columns = record.columns();
        for (const auto &[column, kind] : table.numeric) {
            const char *text = columns[column];
            if (text == nullptr) continue;
            if (auto reason = lossy(kind, text))
                findings.add(record, false, "column-lossy",
                             "column " + std::to_string(column) + " of the " + table.name +
                                 ", " + quote(text) + ", " + *reason);
            else if (is_xnet(record.table) && column == 5 && atoi(text) == -1)
                findings.add(record, false, "xnet-vlan-reads-as-none",
                             "VLAN id " + quote(text) + " reads as -1, which is also the VLAN "
                             "id of an xnet without one: the two count as duplicates");
        }
        if (record.table == Table::remote_device) devices.emplace_back(device_key(record), &record);
    }
    // Records stand in memory in their order: the pairs sort by key, then place.
    std::sort(devices.begin(), devices.end());
    for (size_t i = 1, first = 0; i < devices.size(); i++) {
        if (devices[i].first != devices[first].first) {
            first = i;
            continue;
        }
        const Record &record = *devices[i].second;
        findings.add(record, true, "remote-device-duplicate-key",
                     "remote device " + std::string(record.column(REMOTE_DEVICE_KEY)) +
                         " has another record (" + where(*devices[first].second) +
                         "): every DCBX test-and-set on this key answers EINVAL");
    }
    return findings.write(out);
}

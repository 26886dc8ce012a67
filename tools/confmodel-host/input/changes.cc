#include "input/changes.h"

#include "input/index.h"
#include "input/record_json.h"
#include "input/text.h"

#include <algorithm>
#include <array>
#include <ostream>
#include <sstream>
#include <unordered_set>

namespace {

const char *const op_names[] = {"add", "remove", "change"};

// Why diff writes no change set for records of one identity, and what to do.
const char cannot_name[] =
    "a change names a record by its identity alone (its kind and pathname), so no change set "
    "can say which of several records of one identity it means; give each record a pathname "
    "of its own, or take the new configuration whole (import it into a new store) instead of "
    "a change set";

// Where the records stand: the first few, and how many more.
std::string lines_of(const RecordList &records, const std::vector<size_t> &at) {
    std::string lines;
    for (size_t n = 0; n < at.size() && n < 3; n++)
        lines += (lines.empty() ? "" : ", ") + where(*records[at[n]]);
    if (at.size() > 3) lines += " and " + std::to_string(at.size() - 3) + " more";
    return lines;
}

} // namespace

namespace {

// The changes of the lines next() gives, each with its "row" where rows
// are asked for.
template <class NextLine>
ChangeSet read_change_lines(const std::string &name, NextLine next, bool rows) {
    ChangeSet set{name, {}, {}};
    uint8_t source = register_source(name);
    LineRecords records;
    std::string_view line;
    uint32_t number = 0;
    while (next(line, number)) {
        if (is_blank_or_comment(std::string(line))) continue;
        std::string at = location(set.name, number);
        try {
            const JsonFields &fields = records.read(line, source, number);
            const JsonMember *op = fields.find("op");
            if (op == nullptr || op->type != JsonMember::Type::string)
                throw Failure(at + ": a change is an object with an \"op\": add, remove or change");
            auto name = std::find(std::begin(op_names), std::end(op_names), op->text);
            if (name == std::end(op_names))
                throw Failure(at + ": unknown op " + quote(op->text) + " (known: add, remove, change)");
            Op kind = static_cast<Op>(name - std::begin(op_names));
            uint32_t row = 0;
            if (rows) {
                const JsonMember *at_row = fields.find("row");
                if (at_row == nullptr || at_row->type == JsonMember::Type::other ||
                    at_row->type == JsonMember::Type::string ||
                    at_row->type == JsonMember::Type::object || at_row->number < 1 ||
                    at_row->number > UINT32_MAX)
                    throw Failure(at + ": a logged change names its \"row\", from 1 to " +
                                  std::to_string(UINT32_MAX));
                row = static_cast<uint32_t>(at_row->number);
            }
            set.changes.push_back(
                {kind,
                 rows ? records.record(set.texts, {"op", "row"},
                                       kind == Op::remove ? Reading::identity : Reading::record)
                      : records.record(set.texts, {"op"},
                                       kind == Op::remove ? Reading::identity : Reading::record),
                 row});
        } catch (const std::bad_alloc &) {
            throw Failure(at + ": out of memory");
        }
    }
    return set;
}

} // namespace

ChangeSet read_changes(LineReader &in) {
    std::string line;
    return read_change_lines(
        in.name(),
        [&](std::string_view &out, uint32_t &number) {
            if (!in.next(line)) return false;
            out = line;
            number = in.line_number();
            return true;
        },
        false);
}

ChangeSet read_logged_changes(const std::string &name, const std::string &text) {
    // Room behind the last line for the parser's wide reads.
    const std::string lines = text + std::string(JsonReader::padding, ' ');
    size_t start = 0;
    return read_change_lines(
        name,
        [&](std::string_view &out, uint32_t &number) {
            if (start >= text.size()) return false;
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            out = std::string_view(lines).substr(start, end - start);
            start = end + 1;
            number++;
            return true;
        },
        true);
}

const char *op_name(Op op) {
    return op_names[static_cast<int>(op)];
}

std::string change_line(const Change &change, bool row) {
    std::string line;
    append_record_line(line, change.record, op_name(change.op),
                       change.op == Op::remove ? Reading::identity : Reading::record);
    // After the op, which holds no comma.
    if (row) line.insert(line.find(',') + 1, "\"row\":" + std::to_string(change.row) + ",");
    return line;
}

void write_changes(std::ostream &out, const ChangeSet &changes, bool rows) {
    for (const Change &change : changes.changes)
        out << change_line(change, rows);
}

std::string changes_text(const ChangeSet &changes, bool rows) {
    std::ostringstream out;
    write_changes(out, changes, rows);
    return out.str();
}

void Plan::file_touched() {
    by_before.clear();
    by_after.clear();
    by_before.reserve(touched.size());
    by_after.reserve(touched.size());
    for (const auto &[id, t] : touched) {
        if (t.before != nullptr) by_before.emplace(t.before, &t);
        if (t.after != nullptr) by_after.emplace(t.after, &t);
    }
}

namespace {

const Plan::Touched *touched_in(const std::unordered_map<const Record *, const Plan::Touched *> &by,
                                const Record *record) {
    auto at = by.find(record);
    return at == by.end() ? nullptr : at->second;
}

} // namespace

const Plan::Touched *Plan::touched_before(const Record *record) const {
    return touched_in(by_before, record);
}

const Plan::Touched *Plan::touched_after(const Record *record) const {
    return touched_in(by_after, record);
}

Plan plan_changes(const RecordList &base, const ChangeSet &changes) {
    Plan plan;
    RecordList &order = plan.result;
    order = base;
    // Where the identities the changes name stand: one pass over the base.
    // (A bit per identity hash, turning most records away before the map
    // was asked, saved apply at 1M records 0.5 % of its instructions and
    // 3 % of its CPU: too little to keep, 2026-12-07.)
    std::unordered_map<RecordKey, std::vector<size_t>, RecordKeyHash> at;
    for (const Change &change : changes.changes)
        at.try_emplace(identity(change.record));
    for (size_t i = 0; i < order.size(); i++)
        if (auto found = at.find(identity(*order[i])); found != at.end()) found->second.push_back(i);

    for (const Change &change : changes.changes) {
        const Record &record = change.record;
        const RecordKey id = identity(record);
        const std::string cause = where(record);
        auto found = at.find(id);
        size_t count = found == at.end() ? 0 : found->second.size();
        if (change.op == Op::add && count > 0)
            throw Failure(cause + ": " + describe(record) + " is in the configuration already (" +
                          lines_of(order, found->second) + "); change it instead");
        if (change.op != Op::add && count == 0)
            throw Failure(cause + ": " + describe(record) + " is not in the configuration");
        if (change.op != Op::add && count > 1)
            throw Failure(cause + ": the configuration has " + std::to_string(count) +
                          " records of " + describe(record) + " (" +
                          lines_of(order, found->second) + "); a change cannot tell them apart");

        auto [touched, first] = plan.touched.try_emplace(id);
        if (first) touched->second.before = change.op == Op::add ? nullptr : order[found->second[0]];
        touched->second.cause = cause;
        if (change.op == Op::add) {
            touched->second.moved = touched->second.before != nullptr;
            at[id] = {order.size()};
            order.push_back(&record);
            touched->second.after = &record;
        } else if (change.op == Op::change) {
            order[found->second[0]] = &record;
            touched->second.after = &record;
        } else {
            order[found->second[0]] = nullptr;
            at.erase(found);
            touched->second.after = nullptr;
        }
    }
    order.erase(std::remove(order.begin(), order.end(), nullptr), order.end());
    for (auto it = plan.touched.begin(); it != plan.touched.end();)
        it = it->second.before == nullptr && it->second.after == nullptr ? plan.touched.erase(it)
                                                                         : std::next(it);
    plan.file_touched();

    for (const Record *record : order)
        if (is_list_record(record->table)) plan.lists.push_back(record);
    // As in a dump, every xnetgroup is filed under an xnet of the result.
    std::unordered_set<std::string_view> xnets;
    for (const Record *record : plan.lists)
        if (is_xnet(record->table)) xnets.insert(record->column(0));
    for (const Record *record : plan.lists) {
        if (!is_xnetgroup(record->table) || xnets.count(record->xnet())) continue;
        auto removed = std::find_if(plan.touched.begin(), plan.touched.end(), [&](const auto &t) {
            return t.second.after == nullptr && is_xnet(t.second.before->table) &&
                   record->xnet() == t.second.before->column(0);
        });
        std::string cause = removed != plan.touched.end() ? removed->second.cause : where(*record);
        throw Failure(cause + ": " + describe(*record) + " (" + where(*record) +
                      ") would be left without its xnet; remove it too");
    }
    return plan;
}

ChangeSet diff_configs(const Dump &before, const Dump &after) {
    const RecordList old_order = records_of(before), new_order = records_of(after);
    return diff_configs(old_order, new_order, pair_records(old_order, new_order), after.name);
}

ChangeSet diff_configs(const RecordList &old_order, const RecordList &new_order,
                       const Pairing &pairing, const std::string &name) {
    constexpr uint32_t none = Pairing::none;
    const Pairing &p = pairing;

    // Identities whose records before and after are not the same, pair by pair.
    std::vector<bool> unequal(old_order.size());
    for (uint32_t i = 0; i < new_order.size(); i++)
        if (p.partner[i] != none && !old_order[p.partner[i]]->same_as(*new_order[i]))
            unequal[p.group[i]] = true;
    // The old position of each new record that keeps its content, paired in
    // order with the old records of its identity.
    const LargeVector<uint32_t> &kept = p.partner;
    std::vector<bool> changed(new_order.size());
    for (uint32_t i = 0; i < new_order.size(); i++) {
        if (p.nth[i] != 1) continue;
        const uint32_t olds = p.olds[i], news = p.news[i];
        bool equal = olds == news && p.group[i] != none && !unequal[p.group[i]];
        if (!equal && (olds > 1 || news > 1)) {
            const RecordKey id = identity(*new_order[i]);
            std::vector<size_t> o_lines, n_lines;
            for (size_t k = 0; k < old_order.size(); k++)
                if (identity(*old_order[k]) == id) o_lines.push_back(k);
            for (size_t k = 0; k < new_order.size(); k++)
                if (identity(*new_order[k]) == id) n_lines.push_back(k);
            throw Failure(where(*new_order[i]) + ": " + describe(*new_order[i]) + " has " +
                          std::to_string(olds) + " record" + (olds == 1 ? "" : "s") + " before" +
                          (olds == 0 ? "" : " (" + lines_of(old_order, o_lines) + ")") + " and " +
                          std::to_string(news) + " after (" + lines_of(new_order, n_lines) +
                          "): " + cannot_name);
        }
        if (p.group[i] != none && !equal) changed[i] = true;
    }

    // Per kind, the longest start of the new order that the old order already
    // has stays in place; every record after it goes to the end, in order.
    constexpr size_t kinds = static_cast<size_t>(Table::remote_device) + 1;
    std::vector<bool> moves(new_order.size());
    std::array<uint32_t, kinds> reached; // per kind: the old position reached
    reached.fill(none);
    std::array<bool, kinds> broken{};
    for (size_t i = 0; i < new_order.size(); i++) {
        size_t kind = static_cast<size_t>(record_kind(*new_order[i]));
        if (!broken[kind] && kept[i] != none && (reached[kind] == none || kept[i] > reached[kind])) {
            reached[kind] = kept[i];
            continue;
        }
        broken[kind] = true;
        moves[i] = true;
    }

    ChangeSet set{name, {}, {}};
    std::vector<bool> stays(old_order.size());
    for (size_t i = 0; i < new_order.size(); i++)
        if (kept[i] != none && !moves[i]) stays[kept[i]] = true;
    for (size_t i = 0; i < old_order.size(); i++) {
        if (stays[i]) continue;
        // Several records of an identity after means as many before, or a
        // refusal above.
        if (p.old_olds[i] > 1)
            throw Failure(where(*old_order[i]) + ": " + describe(*old_order[i]) +
                          " has several records and one must move: " + cannot_name);
        set.changes.push_back({Op::remove, *old_order[i]});
    }
    for (size_t i = 0; i < new_order.size(); i++)
        if (kept[i] != none && !moves[i] && changed[i]) set.changes.push_back({Op::change, *new_order[i]});
    for (size_t i = 0; i < new_order.size(); i++)
        if (moves[i]) set.changes.push_back({Op::add, *new_order[i]});
    return set;
}

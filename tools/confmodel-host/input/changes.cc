#include "input/changes.h"

#include "input/index.h"
#include "input/text.h"

#include <algorithm>
#include <array>
#include <ostream>
#include <unordered_set>

namespace {

const char *const op_names[] = {"add", "remove", "change"};

// Where the records stand: the first few, and how many more.
std::string lines_of(const std::vector<const Record *> &records, const std::vector<size_t> &at) {
    std::string lines;
    for (size_t n = 0; n < at.size() && n < 3; n++)
        lines += (lines.empty() ? "" : ", ") + where(*records[at[n]]);
    if (at.size() > 3) lines += " and " + std::to_string(at.size() - 3) + " more";
    return lines;
}

} // namespace

ChangeSet read_changes(LineReader &in) {
    ChangeSet set{in.name(), {}, {}};
    uint8_t source = register_source(in.name());
    LineRecords records;
    std::string line;
    while (in.next(line)) {
        if (is_blank_or_comment(line)) continue;
        std::string at = location(set.name, in.line_number());
        try {
            const JsonFields &fields = records.read(line, source, in.line_number());
            const JsonMember *op = fields.find("op");
            if (op == nullptr || op->type != JsonMember::Type::string)
                throw Failure(at + ": a change is an object with an \"op\": add, remove or change");
            auto name = std::find(std::begin(op_names), std::end(op_names), op->text);
            if (name == std::end(op_names))
                throw Failure(at + ": unknown op " + quote(op->text) + " (known: add, remove, change)");
            Op kind = static_cast<Op>(name - std::begin(op_names));
            set.changes.push_back(
                {kind, records.record(set.texts, {"op"},
                                      kind == Op::remove ? Reading::identity : Reading::record)});
        } catch (const std::bad_alloc &) {
            throw Failure(at + ": out of memory");
        }
    }
    return set;
}

nlohmann::ordered_json change_json(const Change &change) {
    nlohmann::ordered_json out = {{"op", op_names[static_cast<int>(change.op)]}};
    nlohmann::ordered_json record = record_json(change.record);
    if (change.op == Op::remove) {
        record.erase("parent_port");
        nlohmann::ordered_json name = nlohmann::ordered_json::object();
        if (const char *column = change.record.column(0)) name["0"] = column;
        record["columns"] = name;
    }
    out.update(record);
    return out;
}

void write_changes(std::ostream &out, const ChangeSet &changes) {
    for (const Change &change : changes.changes)
        out << change_json(change).dump(-1, ' ', true, nlohmann::json::error_handler_t::replace)
            << "\n";
}

Plan plan_changes(const Dump &base, const ChangeSet &changes) {
    return plan_changes(records_of(base), changes);
}

Plan plan_changes(const std::vector<const Record *> &base, const ChangeSet &changes) {
    Plan plan;
    std::vector<const Record *> &order = plan.result;
    order = base;
    // Where the identities the changes name stand: one pass over the base.
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

    // As in a dump, every xnetgroup is filed under an xnet of the result.
    std::unordered_set<std::string_view> xnets;
    for (const Record *record : order)
        if (is_xnet(record->table)) xnets.insert(record->column(0));
    for (const Record *record : order) {
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
    const std::vector<const Record *> old_order = records_of(before), new_order = records_of(after);
    const IdentityIndex old_at(old_order), new_at(new_order);
    constexpr uint32_t none = IdentityIndex::none;

    // The old position of each new record that keeps its content, paired in
    // order with the old records of its identity.
    std::vector<uint32_t> kept(new_order.size(), none);
    std::vector<bool> changed(new_order.size());
    for (uint32_t i = 0; i < new_order.size(); i++) {
        if (!new_at.is_first(i)) continue;
        const uint32_t o = old_at.first(identity(*new_order[i]));
        const uint32_t olds = o == none ? 0 : old_at.count_from(o), news = new_at.count_from(i);
        bool equal = olds == news;
        for (uint32_t a = o, b = i; equal && a != none; a = old_at.next(a), b = new_at.next(b))
            equal = old_order[a]->same_as(*new_order[b]);
        if (!equal && (olds > 1 || news > 1)) {
            auto o_lines = old_at.positions(identity(*new_order[i]));
            throw Failure(where(*new_order[i]) + ": " + describe(*new_order[i]) + " has " +
                          std::to_string(olds) + " record" + (olds == 1 ? "" : "s") + " before" +
                          (olds == 0 ? "" : " (" + lines_of(old_order, o_lines) + ")") + " and " +
                          std::to_string(news) + " after (" +
                          lines_of(new_order, new_at.positions(identity(*new_order[i]))) +
                          "): a change cannot name one of them");
        }
        for (uint32_t a = o, b = i; a != none && b != none; a = old_at.next(a), b = new_at.next(b))
            kept[b] = a;
        if (o != none && !equal) changed[i] = true;
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

    ChangeSet set{after.name, {}, {}};
    std::vector<bool> stays(old_order.size());
    for (size_t i = 0; i < new_order.size(); i++)
        if (kept[i] != none && !moves[i]) stays[kept[i]] = true;
    for (size_t i = 0; i < old_order.size(); i++) {
        if (stays[i]) continue;
        const RecordKey id = identity(*old_order[i]);
        uint32_t news = new_at.first(id);
        if (old_at.count_from(old_at.first(id)) > 1 || (news != none && new_at.count_from(news) > 1))
            throw Failure(where(*old_order[i]) + ": " + describe(*old_order[i]) +
                          " has several records and one must move: a change cannot name one");
        set.changes.push_back({Op::remove, *old_order[i]});
    }
    for (size_t i = 0; i < new_order.size(); i++)
        if (kept[i] != none && !moves[i] && changed[i]) set.changes.push_back({Op::change, *new_order[i]});
    for (size_t i = 0; i < new_order.size(); i++)
        if (moves[i]) set.changes.push_back({Op::add, *new_order[i]});
    return set;
}

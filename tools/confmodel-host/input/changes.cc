#include "input/changes.h"

#include "input/text.h"

#include <algorithm>
#include <ostream>
#include <unordered_set>

namespace {

const char *const op_names[] = {"add", "remove", "change"};

using Positions = std::unordered_map<std::string, std::vector<size_t>>;

Positions positions(const std::vector<const Record *> &records) {
    Positions at;
    for (size_t i = 0; i < records.size(); i++)
        at[identity(*records[i])].push_back(i);
    return at;
}

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
    Positions at = positions(order);

    for (const Change &change : changes.changes) {
        const Record &record = change.record;
        const std::string id = identity(record), cause = where(record);
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
    std::vector<const Record *> old_order, new_order;
    for (const Record &r : before.records)
        old_order.push_back(&r);
    for (const Record &r : after.records)
        new_order.push_back(&r);
    Positions old_at = positions(old_order), new_at = positions(new_order);

    // The old position of each new record that keeps its content, paired in
    // order with the old records of its identity.
    std::vector<std::optional<size_t>> kept(new_order.size());
    std::vector<bool> changed(new_order.size());
    std::unordered_set<std::string> touched;
    for (const auto &[id, news] : new_at) {
        auto olds = old_at.find(id);
        const std::vector<size_t> none;
        const auto &o = olds == old_at.end() ? none : olds->second;
        bool equal = o.size() == news.size() &&
                     std::equal(o.begin(), o.end(), news.begin(), [&](size_t a, size_t b) {
                         return old_order[a]->same_as(*new_order[b]);
                     });
        if (!equal && (o.size() > 1 || news.size() > 1))
            throw Failure(where(*new_order[news[0]]) + ": " + describe(*new_order[news[0]]) +
                          " has " + std::to_string(o.size()) + " record" +
                          (o.size() == 1 ? "" : "s") + " before" +
                          (o.empty() ? "" : " (" + lines_of(old_order, o) + ")") + " and " +
                          std::to_string(news.size()) + " after (" + lines_of(new_order, news) +
                          "): a change cannot name one of them");
        if (o.empty()) continue;
        for (size_t i = 0; i < news.size(); i++)
            kept[news[i]] = o[i];
        if (!equal) changed[news[0]] = true;
    }

    // Per kind, the longest start of the new order that the old order already
    // has stays in place; every record after it goes to the end, in order.
    std::vector<bool> moves(new_order.size());
    std::unordered_map<Table, std::optional<size_t>> last; // kind: old position reached
    std::unordered_set<Table> broken;
    for (size_t i = 0; i < new_order.size(); i++) {
        Table kind = record_kind(*new_order[i]);
        auto &reached = last[kind];
        if (!broken.count(kind) && kept[i] && (!reached || *kept[i] > *reached)) {
            reached = kept[i];
            continue;
        }
        broken.insert(kind);
        moves[i] = true;
    }

    ChangeSet set{after.name, {}, {}};
    std::unordered_set<size_t> stays;
    for (size_t i = 0; i < new_order.size(); i++)
        if (kept[i] && !moves[i]) stays.insert(*kept[i]);
    for (size_t i = 0; i < old_order.size(); i++) {
        if (stays.count(i)) continue;
        const std::string id = identity(*old_order[i]);
        auto news = new_at.find(id);
        if (old_at[id].size() > 1 || (news != new_at.end() && news->second.size() > 1))
            throw Failure(where(*old_order[i]) + ": " + describe(*old_order[i]) +
                          " has several records and one must move: a change cannot name one");
        set.changes.push_back({Op::remove, *old_order[i]});
    }
    for (size_t i = 0; i < new_order.size(); i++)
        if (kept[i] && !moves[i] && changed[i]) set.changes.push_back({Op::change, *new_order[i]});
    for (size_t i = 0; i < new_order.size(); i++)
        if (moves[i]) set.changes.push_back({Op::add, *new_order[i]});
    return set;
}

#include "input/records.h"

#include "input/text.h"

#include <algorithm>
#include <bitset>
#include <climits>

namespace {

[[noreturn]] void fail(const std::string &where, const std::string &reason) {
    throw Failure(where + ": " + reason);
}

std::string column_list(uint32_t columns) {
    std::string list;
    for (int n = 0; n < MAX_COLUMNS; n++)
        if (columns >> n & 1) list += (list.empty() ? "" : ", ") + std::to_string(n);
    return list;
}

} // namespace

Record read_record(const JsonFields &fields, TextArena &arena, uint8_t source, uint32_t line,
                   std::initializer_list<const char *> extra, Reading reading) {
    // The place is made only for a message.
    auto fail = [&](const std::string &reason) { ::fail(location(source_name(source), line), reason); };
    using Type = JsonMember::Type;
    if (!fields.is_object)
        fail("a record is a JSON object, {\"table\": ..., \"columns\": {...}}");
    const JsonMember *table_field = fields.find("table");
    if (table_field == nullptr || table_field->type != Type::string)
        fail("the record names no \"table\"");
    const TableInfo *table = find_table(table_field->text);
    if (table == nullptr)
        fail("unknown table " + quote(table_field->text) + " (known: " + table_names() + ")");

    Record::Builder builder(table->table, source, line);
    // An identity names a record by column 0 (and its xnet) alone.
    const uint32_t allowed = reading == Reading::identity ? 1u : table->allowed;
    const uint32_t mandatory = reading == Reading::identity ? table->mandatory & 1u : table->mandatory;
    std::string_view xnet;
    bool has_xnet = false;
    std::optional<int32_t> parent_port;
    for (const JsonMember &member : fields.members) {
        const std::string_view key = member.key;
        if (key == "table" || std::find_if(extra.begin(), extra.end(), [&](const char *e) {
                                  return key == e;
                              }) != extra.end())
            continue;
        if (key == "columns") {
            if (member.type != Type::object)
                fail("\"columns\" is an object from column number to text");
            for (const JsonMember &column_member : fields.columns) {
                const std::string_view number = column_member.key;
                auto column = fields.numbered_columns
                                  ? std::optional<unsigned long long>(column_member.number)
                                  : canonical_number(number, INT_MAX);
                if (!column) fail(quote(number) + " is not a column number");
                if (*column > static_cast<unsigned long long>(table->last_column))
                    fail("column " + std::string(number) + " is out of range for " + table->name +
                         " (0 to " + std::to_string(table->last_column) + ")");
                if ((allowed >> *column & 1) == 0)
                    fail(std::string(reading == Reading::identity ? "an identity of a " : "a ") +
                         table->name + " keeps only column" +
                         (std::bitset<32>(allowed).count() > 1 ? "s " : " ") +
                         column_list(allowed) + "; not column " + std::string(number));
                if (column_member.type != Type::string)
                    fail("column " + std::string(number) + " is not a string");
                if (column_member.text.find('\0') != std::string_view::npos)
                    fail("column " + std::string(number) + " holds a NUL character");
                builder.set(*column, column_member.text);
            }
        } else if (key == "xnet" && is_xnetgroup(table->table)) {
            if (member.type != Type::string) fail("\"xnet\" is not a string");
            xnet = member.text;
            has_xnet = true;
        } else if (key == "parent_port" && table->table == Table::subport &&
                   reading == Reading::record) {
            bool fits = member.type == Type::unsigned_integer
                            ? member.number <= INT32_MAX
                            : member.type == Type::integer &&
                                  static_cast<int64_t>(member.number) >= INT32_MIN &&
                                  static_cast<int64_t>(member.number) <= INT32_MAX;
            if (!fits) fail("\"parent_port\" is not a 32-bit integer");
            parent_port = static_cast<int32_t>(member.number);
        } else {
            fail("unknown field " + quote(key) + " in a " + table->name + " record");
        }
    }

    const uint32_t missing = mandatory & ~builder.present();
    if (missing != 0)
        fail(std::string("the ") + table->name + " record lacks mandatory column" +
             (std::bitset<32>(missing).count() > 1 ? "s " : " ") + column_list(missing));
    if (is_xnetgroup(table->table) && !has_xnet)
        fail(std::string("the ") + table->name +
             " record names no parent \"xnet\" (the xnet's pathname)");
    if (table->table == Table::remote_device && (builder.present() >> REMOTE_DEVICE_KEY & 1) != 0 &&
        !canonical_number(builder.text(REMOTE_DEVICE_KEY), UINT32_MAX))
        fail("column 0 of a remote_device, its key, is a decimal number up to "
             "4294967295, not " +
             quote(builder.text(REMOTE_DEVICE_KEY)));
    return builder.build(arena, xnet, parent_port);
}

const JsonFields &LineRecords::read(std::string_view line, uint8_t source, uint32_t number) {
    line_ = line;
    source_ = source;
    number_ = number;
    fast_ = json_.fast(line, fields_);
    if (!fast_) {
        std::string error = json_.full(line, fields_);
        if (!error.empty()) throw Failure(location(source_name(source), number) + ": " + error);
    }
    return fields_;
}

Record LineRecords::record(TextArena &arena, std::initializer_list<const char *> extra,
                          Reading reading) {
    if (fast_) {
        try {
            return read_record(fields_, arena, source_, number_, extra, reading);
        } catch (const Failure &) {
            // Told again from fields in the order the full parser gives, so
            // that a line with several faults names the same one either way.
            json_.full(line_, fields_);
            fast_ = false;
        }
    }
    return read_record(fields_, arena, source_, number_, extra, reading);
}

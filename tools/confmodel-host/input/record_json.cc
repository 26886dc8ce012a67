#include "input/record_json.h"

#include "input/text.h"

#include <charconv>

void append_record_line(std::string &out, const Record &record, const char *op, Reading reading) {
    out += '{';
    if (op != nullptr) {
        out += "\"op\":";
        append_json_string(out, op);
        out += ',';
    }
    out += "\"table\":";
    append_json_string(out, table_info(record.table).name);
    if (is_xnetgroup(record.table)) {
        out += ",\"xnet\":";
        append_json_string(out, record.xnet());
    }
    if (record.parent_port && reading == Reading::record) {
        char number[12];
        out += ",\"parent_port\":";
        out.append(number, std::to_chars(number, number + sizeof number, *record.parent_port).ptr);
    }
    out += ",\"columns\":{";
    const size_t columns = reading == Reading::identity ? 1 : MAX_COLUMNS;
    bool first = true;
    const auto texts = record.columns();
    for (size_t n = 0; n < columns; n++) {
        if (texts[n] == nullptr) continue;
        out += first ? "\"" : ",\"";
        first = false;
        out.append(column_name(n)).append("\":");
        append_json_string(out, texts[n]);
    }
    out += "}}\n";
}

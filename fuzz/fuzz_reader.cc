// libFuzzer target of the JSON a dump is read and written with: a line read
// the fast way (simdjson, for lines of the usual shape) and a line read by
// the full parser give the same answer, the same record or the same message,
// whatever the line holds; and a text, or a record as a dump's line, written
// directly reads as nlohmann writes it.
#include "input/record_json.h"
#include "input/records.h"
#include "input/text.h"
#include "output/json.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <functional>
#include <cstdlib>

namespace {

// What reading the line gave: the record as a dump holds it, or the message.
std::string answer(const std::function<Record()> &read) {
    try {
        Record record = read();
        // Written as a dump's line directly, as the JSON writer writes it.
        std::string direct;
        append_record_line(direct, record);
        std::string written = nlohmann::ordered_json::parse(direct).dump(-1, ' ', true) + "\n";
        if (direct != written) {
            fprintf(stderr, "direct:   %snlohmann: %s", direct.c_str(), written.c_str());
            abort();
        }
        return direct + " line " + std::to_string(record.line);
    } catch (const Failure &e) {
        return e.what();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::string_view text = input.substr(0, input.find('\n'));
    const std::string buffer = padded(text);
    const std::string_view line(buffer.data(), text.size());
    static const uint8_t source = register_source("line");
    for (Reading reading : {Reading::record, Reading::identity}) {
        TextArena texts;
        LineRecords records;
        std::string fast = answer([&] {
            records.read(line, source, 7);
            return records.record(texts, {"op"}, reading);
        });
        JsonReader json;
        JsonFields fields;
        std::string full = answer([&] {
            std::string error = json.full(line, fields);
            if (!error.empty()) throw Failure(location("line", 7) + ": " + error);
            return read_record(fields, texts, source, 7, {"op"}, reading);
        });
        if (fast != full) {
            fprintf(stderr, "fast: %s\nfull: %s\n", fast.c_str(), full.c_str());
            abort();
        }
    }
    // Any bytes, well-formed UTF-8 or not.
    std::string direct;
    append_json_string(direct, input);
    std::string written =
        nlohmann::json(input).dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
    if (direct != written) {
        fprintf(stderr, "direct:   %s\nnlohmann: %s\n", direct.c_str(), written.c_str());
        abort();
    }
    return 0;
}

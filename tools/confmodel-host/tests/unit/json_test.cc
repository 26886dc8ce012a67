// JSON as the program writes it: strings, trees, objects member by member,
// and records as lines, each as nlohmann would write the same values.
#include "input/record_json.h"
#include "output/document.h"
#include "output/json.h"

#include <gtest/gtest.h>

namespace {

std::string nlohmann_text(const ojson &value, int indent) {
    return value.dump(indent, ' ', true, ojson::error_handler_t::replace);
}

// Bytes of no character become one U+FFFD for each stretch that begins a
// character and no more, as nlohmann replaces them: an overlong form is no
// character, never the one it spells.
TEST(JsonWriter, StringsAsNlohmannWritesThem) {
    const char *const texts[] = {
        "plain", "\"quoted\" \\ /", "\b\f\n\r\t\x01\x1f\x7f", "caf\xc3\xa9", "\xe2\x80\xa8\xe2\x80\xae",
        "\xf0\x9f\x98\x80", "", "\xef\xbf\xbf\xf4\x8f\xbf\xbf",
        "\xc0\xaf", "\xc1\xbf", "\xe0\x80\xaf", "\xe0\x9f\xbf", "\xf0\x80\x80\xaf", "\xf0\x8f\xbf\xbf",
        "\xed\xa0\x80", "\xed\xbf\xbf", "\xf4\x90\x80\x80", "\xf5\x80\x80\x80", "\xff\xfe",
        "\x80", "a\xbf" "b", "\xe2\x82", "\xe2\x82" "A", "\xf0\x9f\x98", "\xf0\x9f\x98" "\xf0\x9f\x98\x80",
        "\xc3", "x\xc3" "\xc3\xa9",
    };
    for (const char *text : texts) {
        SCOPED_TRACE(escaped(text));
        std::string direct;
        append_json_string(direct, text);
        EXPECT_EQ(direct, nlohmann_text(text, -1));
    }
}

TEST(JsonWriter, TreesAsNlohmannWritesThem) {
    const ojson tree = {{"text", "a\xc0\xaf\xe2\x82"},
                        {"\xff key", -7},
                        {"unsigned", UINT64_MAX},
                        {"flags", {true, false, nullptr}},
                        {"empty", ojson::object()},
                        {"none", ojson::array()},
                        {"nested", {{"list", {{{"a", 1}}, ojson::array({2})}}}}};
    for (int indent : {-1, 0, 2, 4})
        EXPECT_EQ(json_text(tree, indent), nlohmann_text(tree, indent)) << indent;
}

TEST(JsonWriter, ObjectsIndentedAsTheViewsIndent) {
    std::string out;
    JsonObjectWriter object(out, 4);
    object.unsigned_number("key", 7);
    object.null("none");
    object.begin("fields");
    object.text("3", "x");
    object.end();
    object.begin("empty");
    object.end();
    object.finish();
    ojson same = {{"key", 7}, {"none", nullptr}, {"fields", {{"3", "x"}}}, {"empty", ojson::object()}};
    std::string expected = "    " + same.dump(2);
    for (size_t at = expected.find('\n'); at != std::string::npos; at = expected.find('\n', at + 1))
        expected.insert(at + 1, "    ");
    EXPECT_EQ(out, expected);
}

// A record's line, whole or as an identity, reads back as what it names.
TEST(RecordLine, ReadsBackAsTheRecord) {
    TextArena arena;
    const uint8_t source = register_source("written");
    Record::Builder group(Table::fc_xnetgroup, source, 1);
    group.set(7, "-1");
    group.set(0, "/x/g\xc3\xa9 \"q\"\n");
    Record::Builder subport(Table::subport, source, 2);
    subport.set(0, "/ports/port9/subports/1");
    subport.set(17, "0x1f");
    const Record records[] = {group.build(arena, "/x\\", std::nullopt),
                              subport.build(arena, {}, -5)};
    for (const Record &record : records) {
        for (Reading reading : {Reading::record, Reading::identity}) {
            std::string line;
            append_record_line(line, record, reading == Reading::identity ? "remove" : "add", reading);
            SCOPED_TRACE(line);
            ASSERT_EQ(line.back(), '\n');
            EXPECT_EQ(nlohmann_text(ojson::parse(line), -1) + "\n", line);
            const std::string buffer = padded(line);
            LineRecords lines;
            lines.read(std::string_view(buffer.data(), line.size() - 1), source, 1);
            Record read = lines.record(arena, {"op"}, reading);
            EXPECT_EQ(identity(read), identity(record));
            if (reading == Reading::record) {
                EXPECT_TRUE(read.same_as(record));
            }
        }
    }
}

} // namespace

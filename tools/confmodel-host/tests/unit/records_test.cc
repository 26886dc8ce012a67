// The host program's own layers, below the command line: reading records,
// naming and pairing them, and writing JSON and text the way the views do.
#include "input/index.h"
#include "input/record_json.h"
#include "input/records.h"
#include "input/fields.h"
#include "input/text.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A record as a dump's line, without its line feed.
std::string line_of(const Record &record) {
    std::string line;
    append_record_line(line, record);
    line.pop_back();
    return line;
}

// A line read the way a dump or the store's log is read, and its answer: the
// record as JSON, or the message.
std::string read_line(const std::string &text, TextArena &texts, bool fast) {
    static const uint8_t source = register_source("line");
    const std::string buffer = padded(text);
    const std::string_view line(buffer.data(), text.size());
    try {
        if (fast) {
            LineRecords records;
            records.read(line, source, 1);
            return line_of(records.record(texts, {"op", "row"}));
        }
        JsonReader json;
        JsonFields fields;
        std::string error = json.full(line, fields);
        if (!error.empty()) return "line:1: " + error;
        return line_of(read_record(fields, texts, source, 1, {"op", "row"}));
    } catch (const Failure &e) {
        return e.what();
    }
}

TEST(LineRecords, TheFastWayAnswersAsTheFullParser) {
    if (fast_parser().empty()) GTEST_SKIP() << "this build reads every line with the full parser alone";
    const char *const lines[] = {
        R"({"table": "xnet", "columns": {"0": "/x", "5": "7"}})",
        R"({"columns": {"5": "7", "0": "/x"}, "table": "fc_xnet"})",
        R"({"table": "xnetgroup", "xnet": "/x", "columns": {"0": "/x/g", "6": "/pg"}})",
        R"({"table": "subport", "parent_port": -0, "columns": {"0": "/s"}})",
        R"({"table": "subport", "parent_port": 1.0, "columns": {"0": "/s"}})",
        R"({"table": "subport", "parent_port": 2147483648, "columns": {"0": "/s"}})",
        R"({"table": "xnet", "table": "xnet", "columns": {"0": "/x"}})",
        R"({"table": "xnet", "\u0074able": "xnet", "columns": {"0": "/x"}})",
        R"({"table": "xnet", "columns": {"0": "/x", "0": "/y"}})",
        R"({"table": "xnet", "columns": {"05": "1", "0": "/x"}})",
        R"({"table": "xnet", "columns": {"0": "caf\u00e9 \ud83d\ude00 \"q\" \\"}})",
        R"({"table": "xnet", "columns": {"0": "/x\u0000y"}})",
        R"({"table": "xnet", "columns": {"0": 7}})",
        R"({"table": "xnet", "parent_port": 3, "columns": {"0": "/x", "12": "y"}})",
        R"({"table": "xnet", "extra": {"a": 1, "a": 2}, "columns": {"0": "/x"}})",
        R"({"op": "remove", "table": "portgroup", "columns": {"0": "/pg"}})",
        R"({"op": "change", "row": 179, "table": "xnet", "columns": {"0": "/x"}})",
        R"({"row": 1, "table": "xnet", "row": 2, "columns": {"0": "/x"}})",
        R"({"table": "xnet", "columns": {"0": "/x"}} trailing)",
        R"({"table": "xnet", "columns": {"0": 1e400}})",
        "{\"table\": \"xnet\", \"columns\": {\"0\": \"tab\there\"}}",
        R"(["xnet"])",
        R"({})",
    };
    for (const char *line : lines) {
        SCOPED_TRACE(line);
        TextArena texts;
        EXPECT_EQ(read_line(line, texts, true), read_line(line, texts, false));
    }
}

// Two records of a table, with column 0 (absent when null) and an xnet.
struct Named {
    Table table;
    const char *name;
    std::string_view xnet;
};

Record make(TextArena &texts, const Named &n) {
    static const uint8_t source = register_source("records");
    Record::Builder builder(n.table, source, 1);
    if (n.name != nullptr) builder.set(0, n.name);
    return builder.build(texts, n.xnet, std::nullopt);
}

// A store's texts are checked as UTF-8 a word of ASCII at a time: every
// byte of a word counts, and a character may straddle two.
TEST(Utf8, EveryByteOfEveryWordCounts) {
    const struct {
        std::string_view text;
        bool utf8;
    } cases[] = {
        {"abcdefgh", true},
        {"abcdefg\xff", false},
        {"abcdefgh\xc3", false},
        {"abcdefg\xc3\xa9", true},
        {"\xc3\xa9" "abcdefgh", true},
        {"abcdefghijklmno\x80", false},
        {"\x80" "bcdefghijklmnop", false},
        {"abcdefg\xed\xa0\x80", false}, // a surrogate
    };
    for (const auto &c : cases)
        EXPECT_EQ(is_utf8(c.text), c.utf8) << escaped(c.text);
}

TEST(Identity, SharedExactlyWhenKindNameAndXnetAre) {
    using namespace std::string_view_literals;
    struct Case {
        Named a, b;
        bool same;
    } cases[] = {
        {{Table::xnet, "/x", {}}, {Table::fc_xnet, "/x", {}}, true},
        {{Table::xnetgroup, "/g", "/x"}, {Table::fc_xnetgroup, "/g", "/x"}, true},
        {{Table::xnetgroup, "/g", "/x"}, {Table::xnetgroup, "/g", "/y"}, false},
        {{Table::xnetgroup, "a\x1e" "b", "c"}, {Table::xnetgroup, "a", "b\x1e" "c"}, false},
        {{Table::port_protect, nullptr, {}}, {Table::port_protect, "", {}}, false},
        {{Table::port_protect, nullptr, {}}, {Table::port_protect, nullptr, {}}, true},
        {{Table::subport, "/p", {}}, {Table::subport_protect, "/p", {}}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.a.name ? c.a.name : "(absent)") + " / " +
                     (c.b.name ? c.b.name : "(absent)"));
        TextArena texts;
        Record a = make(texts, c.a), b = make(texts, c.b);
        EXPECT_EQ(identity(a) == identity(b), c.same);
        if (c.same) {
            EXPECT_EQ(RecordKeyHash()(identity(a)), RecordKeyHash()(identity(b)));
        }
    }
}

TEST(Record, TextsOfAnyLengthAsTheyWereSet) {
    const std::string long_name(300, 'n'), long_xnet(70000, 'x'), long_text(254, 't');
    TextArena arena;
    Record::Builder builder(Table::xnetgroup, register_source("records"), 1);
    builder.set(7, long_text);
    builder.set(0, long_name);
    builder.set(5, "");
    Record record = builder.build(arena, long_xnet, std::nullopt);
    EXPECT_EQ(record.column(0), long_name);
    EXPECT_EQ(record.column(5), std::string());
    EXPECT_EQ(record.column(6), nullptr);
    EXPECT_EQ(record.column(7), long_text);
    EXPECT_EQ(record.xnet(), long_xnet);
    auto columns = record.columns();
    EXPECT_EQ(columns[0], record.column(0));
    EXPECT_EQ(columns[7], record.column(7));
    EXPECT_EQ(columns[6], nullptr);
}

TEST(Pairing, TheKthRecordOfAnIdentityWithTheKth) {
    TextArena texts;
    // Before: a, b, a, c; after: a, d, a, a, d.
    Record a1 = make(texts, {Table::subport, "/a", {}}), b = make(texts, {Table::subport, "/b", {}}),
           a2 = make(texts, {Table::subport, "/a", {}}), c = make(texts, {Table::subport, "/c", {}}),
           a3 = make(texts, {Table::subport, "/a", {}}), d = make(texts, {Table::subport, "/d", {}});
    RecordList before = {&a1, &b, &a2, &c}, after = {&a2, &d, &a1, &a3, &d};
    Pairing p = pair_records(before, after);
    constexpr uint32_t none = Pairing::none;
    EXPECT_EQ(std::vector<uint32_t>(p.partner.begin(), p.partner.end()),
              (std::vector<uint32_t>{0, none, 2, none, none}));
    EXPECT_EQ(std::vector<uint32_t>(p.nth.begin(), p.nth.end()), (std::vector<uint32_t>{1, 1, 2, 3, 2}));
    EXPECT_EQ(std::vector<uint32_t>(p.olds.begin(), p.olds.end()), (std::vector<uint32_t>{2, 0, 2, 2, 0}));
    EXPECT_EQ(std::vector<uint32_t>(p.news.begin(), p.news.end()), (std::vector<uint32_t>{3, 2, 3, 3, 2}));
    EXPECT_EQ(std::vector<bool>(p.paired.begin(), p.paired.end()),
              (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(std::vector<uint32_t>(p.old_nth.begin(), p.old_nth.end()),
              (std::vector<uint32_t>{1, 1, 2, 1}));
    EXPECT_EQ(std::vector<uint32_t>(p.old_olds.begin(), p.old_olds.end()),
              (std::vector<uint32_t>{2, 1, 2, 1}));
}

// Lists shorter and longer than the records the index hashes ahead, against
// pairing by counting: the k-th record of an identity after with the k-th
// before.
TEST(Pairing, AsCountingWouldPairAtAnyLength) {
    for (size_t length : {0, 1, 15, 16, 17, 33, 500}) {
        TextArena texts;
        std::vector<std::string> names;
        for (size_t i = 0; i < 2 * length; i++)
            names.push_back("/n" + std::to_string(i % 7 == 0 ? i : i % 11));
        std::vector<Record> records;
        records.reserve(2 * length);
        for (const std::string &name : names)
            records.push_back(make(texts, {Table::subport, name.c_str(), {}}));
        RecordList before, after;
        for (size_t i = 0; i < length; i++) {
            before.push_back(&records[i]);
            after.push_back(&records[(i * 5 + length / 2) % (2 * length)]);
        }
        Pairing p = pair_records(before, after);
        for (size_t i = 0; i < length; i++) {
            const std::string_view name = after[i]->column(0);
            auto same = [&](const Record *r) { return r->column(0) == name; };
            const auto nth = std::count_if(after.begin(), after.begin() + i + 1, same);
            uint32_t partner = Pairing::none;
            for (size_t j = 0, k = 0; j < length; j++)
                if (same(before[j]) && ++k == static_cast<size_t>(nth)) partner = j;
            ASSERT_EQ(p.partner[i], partner) << "length " << length << ", record " << i;
            ASSERT_EQ(p.nth[i], static_cast<uint32_t>(nth)) << "length " << length;
        }
    }
}

TEST(Escaped, NothingActsOnATerminal) {
    struct Case {
        const char *text, *shown;
    } cases[] = {
        {"a\nb\\c", "a\\nb\\\\c"},
        {"\x1b[2J", "\\x1b[2J"},
        {"\xc2\x9b", "\\u009b"},
        {"left\xe2\x80\xaeright", "left\\u202eright"},
        {"\xe2\x80\xa8\xe2\x80\xa9\xe2\x81\xa6\xe2\x80\x8f\xd8\x9c", "\\u2028\\u2029\\u2066\\u200f\\u061c"},
        {"caf\xc3\xa9 \xe6\x97\xa5", "caf\xc3\xa9 \xe6\x97\xa5"},
        {"\xff\xc0\xaf", "\\xff\\xc0\\xaf"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(escaped(c.text), c.shown);
    }
    EXPECT_EQ(quote("a\"b"), "\"a\\\"b\"");
}

} // namespace

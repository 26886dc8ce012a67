// libFuzzer target: reads its input as a sequence of operations a host could
// perform on the module, and checks after every one that the module has kept
// its promises. The sanitizers catch crashes, reads past a buffer, undefined
// behaviour and, once the input's model has been released, leaks.
//
// Input format, read front to back; a read past the end gives zeros, which
// ends the run. All integers are little-endian.
//   operation   u8, taken modulo op_count (see Op)
//   record      one column after another, each a tag u8 (modulo tag_count)
//               and the tag's payload (see Tag)
//   index, port and number arguments: u8, i32
//   string argument: a column (absent becomes empty)
// make_corpus.py writes seeds in this format.
#include "fake_host.h"
#include "memstore.h"
#include "model/list.h"
#include "release_model.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <syslog.h>

#include <memory>
#include <string>
#include <vector>

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);               \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

namespace {

class Input {
  public:
    Input(const uint8_t *data, size_t size) : p_(data), end_(data + size) {}
    bool done() const { return p_ == end_; }
    uint8_t u8() { return p_ == end_ ? 0 : *p_++; }
    // Low part first; separate statements, as the operands of | have no order.
    uint16_t u16() {
        uint16_t low = u8();
        return static_cast<uint16_t>(low | u8() << 8);
    }
    uint32_t u32() {
        uint32_t low = u16();
        return low | static_cast<uint32_t>(u16()) << 16;
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    uint64_t u64() {
        uint64_t low = u32();
        return low | static_cast<uint64_t>(u32()) << 32;
    }
    // length u8, then that many bytes; stops at a NUL like a C string would.
    std::string text() {
        size_t n = u8();
        std::string out;
        for (size_t i = 0; i < n && !done(); i++)
            out += static_cast<char>(u8());
        return out.substr(0, strlen(out.c_str()));
    }

  private:
    const uint8_t *p_, *end_;
};

// clang-format off
// Column texts the parsers have rules for, and near misses.
const char *const keywords[] = {
    "true", "false", "TRUE", "True", "1", "enabled", "Enabled", "enabled ", "disabled", "long", "LONG",
    "short", "direct_attach", "LAN", "lan", "external", "sflow", "server", "mtp", "ingress_mirror",
    "egress_mirror", "fc", "FCoE", "fcoe", "loop_detected", "detection_only", "pause_flood_detected",
    "in_pause_condition", "/ports/port", "/ports/port0", "/ports/port1", "/ports/port64/2",
    "/ports/port-2", "/ports/port 3", "/ports/port+4/x", "/ports/port2147483648", "/ports/portx",
    "%s%n%s%d", "/", ".", "/xnetgroups/",
};

// Numbers at and past every limit, in every notation the conversions know.
const char *const numbers[] = {
    "0", "1", "-1", "63", "64", "-64", "12abc", "abc", " 42", "\t-7", "\n\v\f\r 5", "+8", "--9", "- 9",
    "+-1", "2147483647", "2147483648", "-2147483648", "-2147483649", "4294967295", "4294967296",
    "-4294967295", "-4294967296", "18446744073709551615", "18446744073709551616",
    "-18446744073709551615", "-18446744073709551616", "0x", "0X1f", "0x8000000000000001",
    "8000000000000001", "ffffffffffffffff", "ffffffffffffffffff", "0xffffffff", "0x100000000",
    "fffffffff", "0777", "09", "010", "0x10", "1e9", "0x-1", " 0x 1", "99999999999999999999999999",
};
// clang-format on

enum Tag {
    TAG_ABSENT,
    TAG_EMPTY,
    TAG_KEYWORD, // u8 index
    TAG_NUMBER,  // u8 index
    TAG_VALUE,   // u64, then u8 notation
    TAG_LONG,    // u16 length (up to 5000, or with the top bit a limit), u8 fill character
    TAG_TEXT,    // length u8, bytes
    TAG_NAME,    // u8 index into the listed pathnames
    TAG_SUBNAME, // a listed pathname, u8 choice and a separator (keyword index or text), a text
    tag_count
};

enum Op {
    OP_PORTGROUP,
    OP_XNET,
    OP_FC_XNET,
    OP_XNETGROUP,       // u8 parent index, record
    OP_FC_XNETGROUP,    // u8 parent index, record
    OP_PARSE_XNET,      // u8 kind, record: into a caller-owned entry
    OP_PARSE_XNETGROUP, // u8 kind, u8 parent index, record
    OP_FIND_PORTGROUP,  // i32 number, column, i32 port
    OP_FIND_XNET,       // i32 vid, column
    OP_FIND_XNETGROUP,  // column pathname, column separator
    OP_NATIVE_VLAN,     // u8 xnet index, i32 number
    OP_FREE_PORTGROUP,  // u8 index
    OP_FREE_XNET,       // u8 index: its xnetgroups first
    OP_FREE_XNETGROUP,  // u8 xnet index, u8 index
    OP_SUBPORT,         // u8 slot, i32 parent port, record
    OP_FREE_SUBPORT,    // u8 slot
    OP_PROTECT,         // u8 kind, record
    OP_PORT_NUMBER,     // column
    OP_FAIL,            // u8 nth allocation, u8 nth copy: armed for the next creator or parser
    OP_DEVICE,          // u8 key, column: a remote device added to the store
    OP_DCBX,            // u8 function, u8 key, column expected, column new value
    OP_STORE_FAIL,      // u8 store call, u8 nth, u8 status: armed for the next DCBX call
    op_count
};

// The highest column each record kind is read in.
constexpr size_t portgroup_columns = 20, xnet_columns = 14, xnetgroup_columns = 8,
                 subport_columns = 18, port_protect_columns = 9, subport_protect_columns = 7;

// A record as the host hands it over. Every column and the column array
// are heap blocks of exactly their size, so that a read past either is caught.
class Column {
  public:
    Column() = default;
    explicit Column(const std::string &text) : text_(new char[text.size() + 1]) {
        memcpy(text_.get(), text.c_str(), text.size() + 1);
    }
    char *get() const { return text_.get(); }
    std::string str() const { return text_ ? text_.get() : ""; }

  private:
    std::unique_ptr<char[]> text_;
};

class Record {
  public:
    explicit Record(size_t length) : columns_(length), pointers_(new char *[length]) {}
    void set(size_t i, Column c) { columns_[i] = std::move(c); }
    config_record get() {
        for (size_t i = 0; i < columns_.size(); i++)
            pointers_[i] = columns_[i].get();
        return pointers_.get();
    }
    std::string column(size_t i) const { return columns_[i].str(); }

  private:
    std::vector<Column> columns_;
    std::unique_ptr<char *[]> pointers_;
};

template <typename Entry> size_t count(const list_head *head) {
    size_t n = 0;
    LIST_FOREACH(Entry, e, head) {
        n++;
    }
    return n;
}

template <typename Entry> Entry *nth(const list_head *head, size_t index) {
    LIST_FOREACH(Entry, e, head) {
        if (index-- == 0) return e;
    }
    return nullptr;
}

template <typename Entry> Entry *last(const list_head *head) {
    Entry *found = nullptr;
    LIST_FOREACH(Entry, e, head) {
        found = e;
    }
    return found;
}

template <typename Entry> bool listed(const list_head *head, const Entry *entry) {
    LIST_FOREACH(Entry, e, head) {
        if (e == entry) return true;
    }
    return false;
}

// Whatever a failed call must leave exactly as it was.
struct Fingerprint {
    size_t portgroups, xnets, xnetgroups;
    long bound; // the port groups' xnetgroup counts, summed
    bool operator==(const Fingerprint &o) const {
        return portgroups == o.portgroups && xnets == o.xnets && xnetgroups == o.xnetgroups &&
               bound == o.bound;
    }
};

Fingerprint fingerprint() {
    Fingerprint f{count<portgroup_entry>(&portgroups), count<xnet_entry>(&xnets), 0, 0};
    LIST_FOREACH(xnet_entry, x, &xnets) {
        f.xnetgroups += count<xnetgroup_entry>(&x->xnetgroups);
    }
    LIST_FOREACH(portgroup_entry, pg, &portgroups) {
        f.bound += pg->xnetgroup_count;
    }
    return f;
}

void check_lists() {
    CHECK(list_is_consistent<portgroup_entry>(&portgroups));
    CHECK(list_is_consistent<xnet_entry>(&xnets));
    LIST_FOREACH(xnet_entry, x, &xnets) {
        CHECK(list_is_consistent<xnetgroup_entry>(&x->xnetgroups));
        LIST_FOREACH(xnetgroup_entry, g, &x->xnetgroups) {
            CHECK(g->xnet == x);
        }
    }
    for (const fake_host::LogLine &line : fake_host::log())
        CHECK(line.priority == LOG_ERR || line.priority == LOG_WARNING);
}

// The committed dcbx_pending values of the devices with a key, "-" for absent.
std::vector<std::string> devices(memstore *store, uintptr_t key) {
    std::vector<std::string> out;
    static char buffer[8192];
    for (size_t i = 0; i < memstore_device_count(store, key); i++) {
        int found = memstore_read_dcbx_pending(store, key, i, buffer, sizeof buffer);
        CHECK(found != MEMSTORE_NO_RECORD);
        out.push_back(found == MEMSTORE_PRESENT ? std::string("=") + buffer : "-");
    }
    return out;
}

class Session {
  public:
    explicit Session(Input &in) : in_(in), store_(memstore_create()) { CHECK(store_ != nullptr); }
    ~Session() {
        release();
        memstore_destroy(store_);
    }

    void run() {
        for (int steps = 0; steps < 512 && !in_.done(); steps++) {
            step(static_cast<Op>(in_.u8() % op_count));
            check_lists();
        }
    }

  private:
    // Every pathname on the lists, for columns that name an entry.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        LIST_FOREACH(portgroup_entry, pg, &portgroups) {
            out.push_back(pg->pathname);
        }
        LIST_FOREACH(xnet_entry, x, &xnets) {
            out.push_back(x->pathname);
            LIST_FOREACH(xnetgroup_entry, g, &x->xnetgroups) {
                out.push_back(g->pathname);
            }
        }
        return out;
    }

    std::string listed_name() {
        std::vector<std::string> all = names();
        uint8_t i = in_.u8();
        return all.empty() ? std::string() : all[i % all.size()];
    }

    Column column() {
        switch (in_.u8() % tag_count) {
        case TAG_ABSENT:
            return Column();
        case TAG_EMPTY:
            return Column("");
        case TAG_KEYWORD:
            return Column(keywords[in_.u8() % (sizeof keywords / sizeof *keywords)]);
        case TAG_NUMBER:
            return Column(numbers[in_.u8() % (sizeof numbers / sizeof *numbers)]);
        case TAG_VALUE: {
            static const char *const notations[] = {"%llu", "-%llu", "0x%llx",
                                                    "%llX", "0%llo", " +%llu"};
            unsigned long long value = in_.u64();
            char text[32];
            snprintf(text, sizeof text, notations[in_.u8() % 6], value);
            return Column(text);
        }
        case TAG_LONG: {
            // Lengths either side of the xnetgroup pathname limit and of buffer sizes.
            static const size_t limits[] = {35, 36, 37, 38, 255, 256, 1023, 1024};
            uint16_t length = in_.u16();
            size_t n = length & 0x8000 ? limits[length % 8] : length % 5001u;
            char fill = static_cast<char>(in_.u8());
            return Column(std::string(n, fill == '\0' ? '7' : fill));
        }
        case TAG_TEXT:
            return Column(in_.text());
        case TAG_NAME:
            return Column(listed_name());
        default: {
            std::string base = listed_name();
            std::string separator = in_.u8() & 1
                                        ? keywords[in_.u8() % (sizeof keywords / sizeof *keywords)]
                                        : in_.text();
            return Column(base + separator + in_.text());
        }
        }
    }

    Record record(size_t length) {
        Record r(length);
        for (size_t i = 0; i < length; i++)
            r.set(i, column());
        return r;
    }

    // Arms the failures an OP_FAIL asked for, around exactly one module call.
    template <typename Call> int host_call(Call call) {
        fake_host::fail_malloc_call(fail_malloc_);
        fake_host::fail_strdup_call(fail_strdup_);
        fail_malloc_ = fail_strdup_ = 0;
        int status = call();
        fake_host::fail_malloc_call(0);
        fake_host::fail_strdup_call(0);
        return status;
    }

    xnet_entry *pick_xnet() {
        return nth<xnet_entry>(&xnets, in_.u8() % (count<xnet_entry>(&xnets) + 1));
    }

    void step(Op op) {
        switch (op) {
        case OP_PORTGROUP:
            return create_portgroup();
        case OP_XNET:
        case OP_FC_XNET:
            return create_xnet(op == OP_FC_XNET);
        case OP_XNETGROUP:
        case OP_FC_XNETGROUP:
            return create_xnetgroup(op == OP_FC_XNETGROUP);
        case OP_PARSE_XNET:
            return parse_xnet();
        case OP_PARSE_XNETGROUP:
            return parse_xnetgroup();
        case OP_FIND_PORTGROUP:
            return find_portgroup();
        case OP_FIND_XNET:
            return find_xnet();
        case OP_FIND_XNETGROUP:
            return find_xnetgroup();
        case OP_NATIVE_VLAN:
            return native_vlan();
        case OP_FREE_PORTGROUP:
            if (portgroup_entry *pg = nth<portgroup_entry>(&portgroups, in_.u8())) {
                list_unlink(&portgroups, pg);
                free_portgroup_entry(pg);
            }
            return;
        case OP_FREE_XNET:
            if (xnet_entry *x = nth<xnet_entry>(&xnets, in_.u8())) release_xnet(x);
            return;
        case OP_FREE_XNETGROUP: {
            xnet_entry *x = pick_xnet();
            uint8_t i = in_.u8();
            if (xnetgroup_entry *g = x ? nth<xnetgroup_entry>(&x->xnetgroups, i) : nullptr) {
                list_unlink(&x->xnetgroups, g);
                free_xnetgroup_entry(g);
            }
            return;
        }
        case OP_SUBPORT:
            return subport();
        case OP_FREE_SUBPORT:
            free_subport_data(&subports_[in_.u8() % slots]);
            return;
        case OP_PROTECT:
            return protect();
        case OP_PORT_NUMBER: {
            std::string path = column().str();
            int n = get_parent_port_number(path.c_str());
            if (path.compare(0, 11, "/ports/port") != 0) CHECK(n == -1);
            return;
        }
        case OP_FAIL:
            fail_malloc_ = in_.u8() % 4;
            fail_strdup_ = in_.u8() % 4;
            return;
        case OP_DEVICE: {
            uintptr_t key = in_.u8() % keys;
            Column value = column();
            // Fails if a DCBX call had left its transaction open.
            CHECK(memstore_add_device(store_, key, value.get()) == 0);
            return;
        }
        case OP_DCBX:
            return dcbx();
        case OP_STORE_FAIL:
            store_fail_call_ = static_cast<memstore_call>(in_.u8() % MEMSTORE_CALL_KINDS);
            store_fail_nth_ = in_.u8() % 4;
            store_fail_status_ = store_status_base + in_.u8();
            return;
        case op_count:
            break;
        }
    }

    void dcbx() {
        int function = in_.u8() % 3;
        uintptr_t key = in_.u8() % keys;
        Column expected = column();
        Column new_value = column();
        std::vector<std::string> before = devices(store_, key);

        memstore_clear_calls(store_);
        memstore_fail_call(store_, store_fail_call_, store_fail_nth_, store_fail_status_);
        store_fail_nth_ = 0;
        int status = function == 0   ? dcbx_pending_test_and_set(memstore_handle(store_), key,
                                                                 expected.get(), new_value.get())
                     : function == 1 ? dcbx_pending_set(memstore_handle(store_), key)
                                     : dcbx_pending_reset(memstore_handle(store_), key);
        memstore_fail_call(store_, store_fail_call_, 0, 0);
        const char *written = function == 0 ? new_value.get() : function == 1 ? "true" : "false";
        bool queried = function == 0 && expected.get() != nullptr;

        CHECK(memstore_live_results(store_) == 0);
        size_t aborts = 0, commits = 0;
        for (size_t i = 0; i < memstore_call_count(store_); i++) {
            aborts += strcmp(memstore_call_name(store_, i), "tavri_transaction_abort") == 0;
            commits += strcmp(memstore_call_name(store_, i), "tavri_transaction_commit") == 0;
        }
        CHECK(memstore_call_count(store_) > 0 &&
              strcmp(memstore_call_name(store_, 0), "tavri_transaction_start") == 0);
        std::vector<std::string> after = devices(store_, key);
        if (status != 0) {
            CHECK(status == EBUSY || status == EINVAL || status >= store_status_base);
            CHECK(status != EINVAL || (queried && before.size() != 1));
            CHECK(status != EBUSY ||
                  (queried && before.size() == 1 && before[0] != "=" + expected.str()));
            CHECK(aborts == 1);
            CHECK(after == before);
            return;
        }
        CHECK(aborts == 0 && commits == 1);
        CHECK(!queried || (before.size() == 1 && before[0] == "=" + expected.str()));
        for (size_t i = 0; i < after.size(); i++)
            CHECK(after[i] == (written != nullptr ? "=" + std::string(written) : before[i]));
    }

    void create_portgroup() {
        Record r = record(portgroup_columns);
        Fingerprint before = fingerprint();
        portgroup_entry *out = reinterpret_cast<portgroup_entry *>(&out);
        int status = host_call([&] { return create_new_portgroup(r.get(), &out); });
        if (status == ENOMEM) {
            CHECK(out == nullptr);
            CHECK(fingerprint() == before);
            return;
        }
        CHECK(status == 0);
        CHECK(out != nullptr && listed(&portgroups, out));
        CHECK(find_portgrp_by_number(out->number) == out);
    }

    void create_xnet(bool fc) {
        Record r = record(xnet_columns);
        Fingerprint before = fingerprint();
        xnet_entry *out = reinterpret_cast<xnet_entry *>(&out);
        int duplicate = -1;
        int status = host_call([&] {
            return fc ? create_new_fc_xnet(r.get(), &out, &duplicate)
                      : create_new_xnet(r.get(), &out, &duplicate);
        });
        if (status == ENOMEM || status == CONFMODEL_REJECTED) {
            CHECK(out == nullptr && duplicate == 0);
            CHECK(fingerprint() == before);
            return;
        }
        CHECK(status == 0);
        CHECK(out != nullptr && find_xnet_by_int_vid(out->int_vid) == out);
        if (duplicate == 1) {
            CHECK(fingerprint() == before);
        } else {
            CHECK(duplicate == 0);
            CHECK(out == last<xnet_entry>(&xnets));
            CHECK(out->kind == (fc ? XNET_KIND_FC : XNET_KIND_ETHERNET));
            CHECK(out->xnetgroups.first == nullptr);
            CHECK(strcmp(out->pathname, r.column(0).c_str()) == 0);
        }
    }

    void create_xnetgroup(bool fc) {
        xnet_entry *parent = pick_xnet();
        Record r = record(xnetgroup_columns);
        if (parent == nullptr) return;
        Fingerprint before = fingerprint();
        xnetgroup_entry *out = reinterpret_cast<xnetgroup_entry *>(&out);
        int status = host_call([&] {
            return fc ? create_new_fc_xnetgroup(r.get(), parent, &out)
                      : create_new_xnetgroup(r.get(), parent, &out);
        });
        if (status == ENOMEM || status == CONFMODEL_REJECTED) {
            CHECK(out == nullptr);
            CHECK(fingerprint() == before);
            return;
        }
        CHECK(status == 0);
        CHECK(out != nullptr && out == last<xnetgroup_entry>(&parent->xnetgroups));
        CHECK(out->portgroup != nullptr && listed(&portgroups, out->portgroup));
        CHECK(strcmp(out->portgroup->pathname, r.column(6).c_str()) == 0);
        CHECK(out->portgroup_number == out->portgroup->number);
        CHECK(out->ports_bitmap == out->portgroup->ports_bitmap);
        Fingerprint after = fingerprint();
        CHECK(after.xnetgroups == before.xnetgroups + 1 && after.bound == before.bound + 1);
    }

    void parse_xnet() {
        bool fc = in_.u8() & 1;
        Record r = record(xnet_columns);
        xnet_entry entry{};
        int status = host_call([&] {
            return fc ? parse_fc_xnet_data(r.get(), &entry) : parse_xnet_data(r.get(), &entry);
        });
        if (status == ENOMEM) {
            CHECK(entry.pathname == nullptr);
            return;
        }
        CHECK(status == 0 && entry.pathname != nullptr);
        CHECK(entry.preset_value == -1);
        free(entry.pathname);
    }

    void parse_xnetgroup() {
        bool fc = in_.u8() & 1;
        xnet_entry *parent = pick_xnet();
        Record r = record(xnetgroup_columns);
        xnetgroup_entry entry{};
        int status = host_call([&] {
            return fc ? parse_fc_xnetgroup_data(r.get(), parent, &entry)
                      : parse_xnetgroup_data(r.get(), parent, &entry);
        });
        CHECK(entry.xnet == parent);
        if (status == ENOMEM) {
            CHECK(entry.pathname == nullptr);
            return;
        }
        CHECK(entry.pathname != nullptr);
        if (status == CONFMODEL_NO_PORTGROUP) {
            CHECK(entry.portgroup == nullptr && entry.portgroup_number == -1);
        } else {
            CHECK(status == 0 && entry.portgroup != nullptr &&
                  entry.portgroup->xnetgroup_count > 0);
            // The host undoes the binding along with the entry it never listed.
            entry.portgroup->xnetgroup_count--;
        }
        free(entry.pathname);
    }

    void find_portgroup() {
        int32_t number = in_.i32();
        std::string name = column().str();
        int32_t port = in_.i32();
        portgroup_entry *by_number = nullptr, *by_name = nullptr, *by_port = nullptr;
        LIST_FOREACH(portgroup_entry, pg, &portgroups) {
            if (by_number == nullptr && pg->number == number) by_number = pg;
            if (by_name == nullptr && name == pg->pathname) by_name = pg;
            if (by_port == nullptr && port >= 0 && port < 64 && (pg->ports_bitmap >> port & 1) != 0)
                by_port = pg;
        }
        CHECK(find_portgrp_by_number(number) == by_number);
        CHECK(find_portgrp_by_name(name.c_str()) == by_name);
        CHECK(find_ext_portgroup_for_port(port) == by_port);
    }

    void find_xnet() {
        int32_t vid = in_.i32();
        std::string name = column().str();
        xnet_entry *by_vid = nullptr, *by_name = nullptr;
        LIST_FOREACH(xnet_entry, x, &xnets) {
            if (by_vid == nullptr && x->int_vid == vid) by_vid = x;
            if (by_name == nullptr && name == x->pathname) by_name = x;
        }
        CHECK(find_xnet_by_int_vid(vid) == by_vid);
        CHECK(find_xnet_by_name(name.c_str()) == by_name);
    }

    void find_xnetgroup() {
        std::string path = column().str();
        std::string separator = column().str();
        size_t lines = fake_host::log().size();
        xnetgroup_entry *found = find_xgrp_by_name_generic(path.c_str(), separator.c_str());
        if (path.size() > 36) {
            CHECK(found == nullptr && fake_host::log().size() == lines + 1);
            return;
        }
        CHECK(fake_host::log().size() == lines);
        if (found != nullptr) {
            CHECK(path == found->pathname);
            CHECK(path.compare(0, strlen(found->xnet->pathname), found->xnet->pathname) == 0);
        }
    }

    void native_vlan() {
        xnet_entry *x = pick_xnet();
        int32_t number = in_.i32();
        if (x == nullptr) return;
        test_and_set_native_vlan(x, number);
        const portgroup_entry *pg = number < 0 ? nullptr : find_portgrp_by_number(number);
        CHECK(x->is_native_vlan == (pg != nullptr && pg->native_vlan == x->int_vid ? 1 : 0));
    }

    void subport() {
        subport_data &s = subports_[in_.u8() % slots];
        int32_t parent = in_.i32();
        Record r = record(subport_columns);
        free_subport_data(&s);
        CHECK(s.in_use == 0 && s.pathname == nullptr);
        int status = host_call([&] { return parse_subport_data(parent, r.get(), &s); });
        if (status == ENOMEM) {
            CHECK(s.in_use == 0 && s.pathname == nullptr);
            return;
        }
        CHECK(status == 0 && s.in_use == 1 && s.parent_port == parent);
        CHECK(strcmp(s.pathname, r.column(0).c_str()) == 0);
        CHECK(s.is_fcoe == (r.column(7) == "FCoE" ? 1 : 0));
    }

    void protect() {
        if (in_.u8() & 1) {
            Record r = record(port_protect_columns);
            port_protect_data out;
            memset(&out, 0xa5, sizeof out);
            CHECK(parse_port_protect_data(r.get(), &out) == 0);
            CHECK(out.loop_protect >= 0 && out.loop_protect <= PROTECT_ENABLED);
            CHECK(out.loop_state >= 0 && out.loop_state <= LOOP_STATE_DETECTED);
            CHECK(out.pause_protect >= 0 && out.pause_protect <= PROTECT_DETECTION_ONLY);
            CHECK(out.pause_state >= 0 && out.pause_state <= PAUSE_STATE_IN_PAUSE);
            CHECK(out.col8_value >> 32 == 0);
        } else {
            Record r = record(subport_protect_columns);
            subport_protect_data out;
            memset(&out, 0xa5, sizeof out);
            CHECK(parse_subport_protect_data(r.get(), &out) == 0);
            CHECK(out.loop_protect >= 0 && out.loop_protect <= PROTECT_ENABLED);
            CHECK(out.loop_state >= 0 && out.loop_state <= LOOP_STATE_DETECTED);
        }
    }

    // Everything goes back, as a host shutting down would hand it.
    void release() {
        release_model();
        check_lists();
        for (subport_data &s : subports_)
            free_subport_data(&s);
    }

    static constexpr size_t slots = 4;
    // Device keys: few, so that they repeat; 0 included.
    static constexpr uint8_t keys = 4;
    // Statuses a failing store call returns: none of the module's own.
    static constexpr int store_status_base = 2000;

    Input &in_;
    memstore *store_;
    int fail_malloc_ = 0, fail_strdup_ = 0;
    memstore_call store_fail_call_ = MEMSTORE_CALL_TRANSACTION_START;
    int store_fail_nth_ = 0, store_fail_status_ = 0;
    subport_data subports_[slots] = {};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    list_init(&portgroups);
    list_init(&xnets);
    fake_host::reset();
    Input in(data, size);
    Session(in).run();
    return 0;
}

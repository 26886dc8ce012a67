// libFuzzer target. The input is text, one operation a host could perform on
// the module a line, its fields separated by '|' (other lines are skipped):
//
//   pg|COLUMNS  xnet|COLUMNS  fcxnet|COLUMNS  (COLUMNS: column 0, 1, ...)
//   xg|XNET|COLUMNS  fcxg|XNET|COLUMNS        (under the XNETth xnet)
//   find|NUMBER|PATHNAME|SEPARATOR            (every lookup, NUMBER as port too)
//   subport|PARENT|COLUMNS  protect|COLUMNS (as a port's and a subport's)
//   port|PATHNAME  fail|NTH ALLOCATION|NTH COPY (for the next creator or parser)
//
// "~" is an absent column. After every operation the module is compared with
// a plain reference of the rules written here: every field it set, its status
// and log lines, every lookup. The sanitizers catch crashes, overreads and
// undefined behaviour; at the end the module must hold nothing. (DCBX is its
// unit test's, which runs it against every answer and failure of the store.)
#include "fake_host.h"
#include "model/list.h"
#include "record.h"
#include "release_model.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <initializer_list>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#define CHECK(cond)                                                                                \
    ((cond) ? (void)0                                                                              \
            : (fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond), abort()))

namespace {

// ---- The rules, written plainly ----

bool blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : 99;
}

// Unsigned, saturating at max whatever the sign; a minus sign negates. Base 0
// takes C's prefixes: 0x hexadecimal, a leading 0 octal, otherwise decimal.
uint64_t number(const char *s, int base, uint64_t max) {
    if (s == nullptr)
        return 0;
    while (blank(*s))
        s++;
    bool negative = *s == '-';
    if (*s == '-' || *s == '+')
        s++;
    bool hex_prefix = s[0] == '0' && (s[1] | 0x20) == 'x';
    if (base == 0)
        base = hex_prefix ? 16 : s[0] == '0' ? 8 : 10;
    if (base == 16 && hex_prefix && digit(s[2]) < 16)
        s += 2;
    uint64_t value = 0;
    for (int d; (d = digit(*s)) < base; s++) {
        if (value > (max - d) / base)
            return max;
        value = value * base + d;
    }
    return negative ? (0 - value) & max : value;
}

uint64_t hex64(const char *s) { return number(s, 16, UINT64_MAX); }
int32_t decimal(const char *s, int32_t absent) { return s != nullptr ? atoi(s) : absent; }
int32_t is(const char *s, const char *word) { return s != nullptr && strcmp(s, word) == 0; }

// The value of the first word the column equals, 0 for none.
int32_t keyword(const char *s, std::initializer_list<std::pair<const char *, int32_t>> words) {
    for (const auto &w : words)
        if (is(s, w.first))
            return w.second;
    return 0;
}

// "/ports/port" and a decimal number, made 0-based; -1 without a number.
// False for a number too large for an int, whose scan is left open.
bool port_number(const char *path, int *out) {
    *out = -1;
    const char *p = path + 11;
    if (strncmp(path, "/ports/port", 11) != 0)
        return true;
    while (blank(*p))
        p++;
    if (digit(p[*p == '-' || *p == '+']) > 9)
        return true;
    long long n = strtoll(p, nullptr, 10);
    *out = static_cast<int>(static_cast<unsigned>(n) - 1u);
    return n >= INT32_MIN && n <= INT32_MAX;
}

// ---- The input and the model ----

using Fields = std::vector<std::string>;

int32_t integer(const Fields &f, size_t i) {
    return i < f.size() ? static_cast<int32_t>(strtoll(f[i].c_str(), nullptr, 10)) : 0;
}

template <typename Entry> std::vector<Entry *> entries(const list_head *head) {
    std::vector<Entry *> out;
    LIST_FOREACH(Entry, e, head) {
        out.push_back(e);
    }
    return out;
}

template <typename Entry> Entry *nth(const list_head *head, int32_t index) {
    std::vector<Entry *> all = entries<Entry>(head);
    return index >= 0 && static_cast<size_t>(index) < all.size() ? all[index] : nullptr;
}

// The first entry of a list that matches, as the lookups must find it.
template <typename Entry, typename Match> Entry *first(const list_head *head, Match match) {
    LIST_FOREACH(Entry, e, head) {
        if (match(e))
            return e;
    }
    return nullptr;
}

portgroup_entry *group_numbered(int32_t number) {
    auto numbered = [=](portgroup_entry *pg) { return pg->number == number; };
    return first<portgroup_entry>(&portgroups, numbered);
}

class Session {
  public:
    ~Session() {
        release_model();
        CHECK(fake_host::live_blocks() == 0);
    }

    void run(const Fields &f) {
        const std::string &op = f[0];
        size_t logged = fake_host::log_text().size();
        expected_log_.clear();
        if (op == "pg")
            create_portgroup(record(f, 1, 20));
        else if (op == "xnet" || op == "fcxnet")
            create_xnet(record(f, 1, 14), op == "fcxnet");
        else if (op == "xg" || op == "fcxg")
            create_xnetgroup(nth<xnet_entry>(&xnets, integer(f, 1)), record(f, 2, 8), op == "fcxg");
        else if (op == "find")
            find(integer(f, 1), text(f, 2), text(f, 3));
        else if (op == "subport")
            subport(integer(f, 1), record(f, 2, 18));
        else if (op == "protect")
            protect(record(f, 1, 9));
        else if (op == "port")
            port(text(f, 1));
        else if (op == "fail")
            fail_ = {integer(f, 1), integer(f, 2)};

        CHECK(list_is_consistent<portgroup_entry>(&portgroups));
        CHECK(list_is_consistent<xnet_entry>(&xnets));
        for (xnet_entry *x : entries<xnet_entry>(&xnets)) {
            CHECK(list_is_consistent<xnetgroup_entry>(&x->xnetgroups));
            for (xnetgroup_entry *g : entries<xnetgroup_entry>(&x->xnetgroups))
                CHECK(g->xnet == x);
        }
        CHECK(fake_host::log_text().substr(logged) == expected_log_);
    }

  private:
    static std::string text(const Fields &f, size_t i) { return i < f.size() ? f[i] : ""; }

    static Record record(const Fields &f, size_t first, size_t length) {
        Record r(length);
        for (size_t i = 0; i < length; i++)
            if (first + i < f.size() && f[first + i] != "~")
                r.set(i, text(f, first + i).c_str());
        return r;
    }

    // 1 when the armed failures fail the allocation, 2 the pathname copy.
    int failure(const Record &r, bool allocates) const {
        return allocates && fail_.allocation == 1 ? 1 : fail_.copy == 1 || r[0] == nullptr ? 2 : 0;
    }

    // Arms the failures a "fail" line asked for around one module call.
    template <typename Call> int host_call(Call call) {
        fake_host::fail_malloc_call(fail_.allocation);
        fake_host::fail_strdup_call(fail_.copy);
        fail_ = {0, 0};
        int status = call();
        fake_host::fail_malloc_call(0);
        fake_host::fail_strdup_call(0);
        return status;
    }

    void expect_log(int priority, const std::string &text) {
        // The fake host's syslog keeps 1023 characters of a line.
        expected_log_ += "<" + std::to_string(priority) + ">" + text.substr(0, 1023) + "\n";
    }

    void create_portgroup(const Record &r) {
        int32_t number = decimal(r[3], 0);
        portgroup_entry *same = group_numbered(number);
        size_t before = entries<portgroup_entry>(&portgroups).size();
        int fails = failure(r, true);
        portgroup_entry *out = reinterpret_cast<portgroup_entry *>(&out);
        int status = host_call([&] { return create_new_portgroup(r, &out); });
        CHECK(status == (fails ? ENOMEM : 0));
        uint64_t subports[8], subport_union = 0;
        for (int i = 0; i < 8; i++)
            subport_union |= subports[i] = hex64(r[9 + i]);
        if (fails != 0)
            expect_log(3, fails == 1 ? "no memory for portgroups!\n"
                                     : "no memory for new portgroup pathname!");
        else if ((hex64(r[7]) & subport_union) != 0)
            expect_log(4, "Create new port group: Both ports & subport bitmap specified for " +
                              std::string(r[0]) + "!");
        if (fails == 0 && same != nullptr)
            expect_log(3, "duplicated portgroup entry found!  path=" + std::string(same->pathname));
        if (fails != 0 || same != nullptr) {
            CHECK(out == (fails ? nullptr : same));
            CHECK(entries<portgroup_entry>(&portgroups).size() == before);
            return;
        }
        CHECK(out == nth<portgroup_entry>(&portgroups, before) && strcmp(out->pathname, r[0]) == 0);
        CHECK(out->number == number && out->col5_value == decimal(r[5], 0) &&
              out->col6_value == decimal(r[6], 0) && out->ports_bitmap == hex64(r[7]) &&
              out->native_vlan == decimal(r[8], 0) && out->subport_union == subport_union &&
              memcmp(out->subport_bitmaps, subports, sizeof subports) == 0 &&
              out->col18_flag == is(r[18], "true") && out->not_long == !is(r[19], "long") &&
              out->xnetgroup_count == 0 && out->host_field == 0);
    }

    void create_xnet(const Record &r, bool fc) {
        int32_t vid = decimal(r[5], -1);
        auto same_vid = [=](xnet_entry *x) { return x->int_vid == vid; };
        xnet_entry *same = first<xnet_entry>(&xnets, same_vid);
        size_t before = entries<xnet_entry>(&xnets).size();
        int fails = failure(r, true), duplicate = -1;
        xnet_entry *out = reinterpret_cast<xnet_entry *>(&out);
        int status = host_call([&] {
            return fc ? create_new_fc_xnet(r, &out, &duplicate)
                      : create_new_xnet(r, &out, &duplicate);
        });
        CHECK(status == (fails == 1 ? ENOMEM : fails == 2 ? -1 : 0));
        CHECK(duplicate == (fails == 0 && same != nullptr));
        if (fails == 1)
            expect_log(3, fc ? "no memory for FC xnet!\n" : "no memory for xnet!\n");
        if (fails == 0 && same != nullptr)
            expect_log(3, std::string("duplicated xnet entry found!  path=") + same->pathname +
                              " vid=" + std::to_string(vid) + "\n");
        if (fails != 0 || same != nullptr) {
            CHECK(out == (fails ? nullptr : same) && entries<xnet_entry>(&xnets).size() == before);
            return;
        }
        CHECK(out == nth<xnet_entry>(&xnets, before) && strcmp(out->pathname, r[0]) == 0);
        CHECK(out->int_vid == vid && out->kind == fc && out->enabled == is(r[7], "enabled") &&
              out->is_native_vlan == 0 && out->preset_value == -1 &&
              out->xnetgroups.first == nullptr &&
              (out->host_state_a | out->host_field | out->host_state_b | out->host_state_c) == 0);
        if (fc)
            CHECK(out->col6_value == 0 && out->fc_col8_value == decimal(r[8], 0) &&
                  out->fc_attach_mode == keyword(r[6], {{"direct_attach", 1}, {"LAN", 2}}) &&
                  out->fc_col9_value == decimal(r[9], 0) && out->eth_col8_flag == 0 &&
                  out->eth_col9_flag == 0 && out->eth_col10_flag == 1 &&
                  out->eth11_fc13_flag == is(r[13], "true"));
        else
            CHECK(out->col6_value == decimal(r[6], -1) && out->fc_attach_mode == 0 &&
                  out->fc_col8_value == 0 && out->fc_col9_value == 0 &&
                  out->eth_col8_flag == is(r[8], "true") &&
                  out->eth_col9_flag == is(r[9], "true") &&
                  out->eth_col10_flag == is(r[10], "true") &&
                  out->eth11_fc13_flag == is(r[11], "true"));
    }

    void create_xnetgroup(xnet_entry *parent, const Record &r, bool fc) {
        if (parent == nullptr)
            return;
        portgroup_entry *group = first<portgroup_entry>(&portgroups, [&](portgroup_entry *pg) {
            return r[6] != nullptr && strcmp(pg->pathname, r[6]) == 0;
        });
        size_t before = entries<xnetgroup_entry>(&parent->xnetgroups).size();
        int32_t bound = group != nullptr ? group->xnetgroup_count : 0;
        int fails = failure(r, true);
        xnetgroup_entry *out = reinterpret_cast<xnetgroup_entry *>(&out);
        int status = host_call([&] {
            return fc ? create_new_fc_xnetgroup(r, parent, &out)
                      : create_new_xnetgroup(r, parent, &out);
        });
        CHECK(status == (fails == 1 ? ENOMEM : fails == 2 || group == nullptr ? -1 : 0));
        if (fails == 1)
            expect_log(3, fc ? "no memory for FC xnetgroup!\n" : "no memory for xnetgroup!\n");
        else if (fails == 0 && group == nullptr)
            expect_log(3, std::string("Cannot find portgroup (") + (r[6] ? r[6] : "") +
                              ") specified for " + r[0] + "!");
        CHECK(group == nullptr || group->xnetgroup_count == bound + (status == 0));
        if (status != 0) {
            CHECK(out == nullptr && entries<xnetgroup_entry>(&parent->xnetgroups).size() == before);
            return;
        }
        CHECK(out == nth<xnetgroup_entry>(&parent->xnetgroups, before) && out->xnet == parent);
        CHECK(strcmp(out->pathname, r[0]) == 0 && out->portgroup == group);
        CHECK(out->role == (fc ? keyword(r[5], {{"fc", 6}, {"server", 2}})
                               : keyword(r[5], {{"external", 1}, {"sflow", 7}, {"server", 2},
                                                {"mtp", 3}, {"ingress_mirror", 4},
                                                {"egress_mirror", 5}})) &&
              out->col7_value == decimal(r[7], -1) && out->portgroup_number == group->number &&
              out->portgroup_col5_value == group->col5_value && out->host_state == 0 &&
              out->portgroup_col18_flag == (fc ? 0 : group->col18_flag) &&
              out->ports_bitmap == group->ports_bitmap &&
              out->subport_union == group->subport_union &&
              memcmp(out->subport_bitmaps, group->subport_bitmaps, 8 * sizeof(uint64_t)) == 0);
    }

    // Every lookup; an xnetgroup pathname is cut at the separator's first
    // occurrence, and the xnet of that name holds it.
    void find(int32_t number, const std::string &name, const std::string &separator) {
        auto named = [&](auto *e) { return name == e->pathname; };
        auto has_port = [&](portgroup_entry *pg) {
            return number >= 0 && number < 64 && (pg->ports_bitmap >> number & 1) != 0;
        };
        auto has_vid = [&](xnet_entry *x) { return x->int_vid == number; };
        CHECK(find_portgrp_by_number(number) == group_numbered(number));
        CHECK(find_portgrp_by_name(name.c_str()) == first<portgroup_entry>(&portgroups, named));
        CHECK(find_ext_portgroup_for_port(number) == first<portgroup_entry>(&portgroups, has_port));
        CHECK(find_xnet_by_int_vid(number) == first<xnet_entry>(&xnets, has_vid));
        CHECK(find_xnet_by_name(name.c_str()) == first<xnet_entry>(&xnets, named));

        size_t cut = name.find(separator);
        auto holds = [&](xnet_entry *x) { return name.compare(0, cut, x->pathname) == 0; };
        xnet_entry *xnet = nullptr;
        if (name.size() > 36)
            expect_log(3, "xnetgroup pathname (" + name + ") is too long");
        else if (cut != std::string::npos)
            xnet = first<xnet_entry>(&xnets, holds);
        CHECK(find_xgrp_by_name_generic(name.c_str(), separator.c_str()) ==
              (xnet != nullptr ? first<xnetgroup_entry>(&xnet->xnetgroups, named) : nullptr));
    }

    // Parsed into a record the host keeps state in, then released.
    void subport(int32_t parent, const Record &r) {
        subport_data s = {};
        s.host_state_a = 1, s.host_field = 2, s.host_state_b = 3, s.host_state_c = 4;
        int fails = failure(r, false);
        int status = host_call([&] { return parse_subport_data(parent, r, &s); });
        CHECK(status == (fails ? ENOMEM : 0));
        CHECK(s.host_state_a == 1 && s.host_field == 2 && s.host_state_b == 3 &&
              s.host_state_c == 4);
        CHECK(fails ? s.in_use == 0 && s.pathname == nullptr
                    : s.in_use == 1 && strcmp(s.pathname, r[0]) == 0 && s.parent_port == parent &&
                          s.col5_value == decimal(r[5], 0) && s.enabled == is(r[9], "enabled") &&
                          s.col10_value == decimal(r[10], 0) &&
                          s.col11_value == decimal(r[11], 0) &&
                          s.col16_flag == is(r[16], "true") && s.is_fcoe == is(r[7], "FCoE") &&
                          s.col17_hex == number(r[17], 16, UINT32_MAX));
        free_subport_data(&s);
        CHECK(s.pathname == nullptr && s.host_field == (fails ? 2 : 0));
    }

    // One record read as a port's and as a subport's, whose loop protection
    // lies one column further right.
    void protect(const Record &r) {
        port_protect_data port;
        subport_protect_data subport = {-1, -1};
        memset(&port, 0xa5, sizeof port);
        CHECK(parse_port_protect_data(r, &port) == 0);
        CHECK(parse_subport_protect_data(r, &subport) == 0);
        CHECK(port.loop_protect == keyword(r[4], {{"disabled", 1}, {"enabled", 2}}) &&
              port.loop_state == keyword(r[5], {{"loop_detected", 1}}) &&
              port.pause_protect ==
                  keyword(r[6], {{"disabled", 1}, {"enabled", 2}, {"detection_only", 3}}) &&
              port.pause_state ==
                  keyword(r[7], {{"pause_flood_detected", 1}, {"in_pause_condition", 2}}) &&
              port.col8_value == number(r[8], 0, UINT32_MAX) &&
              port.host_field == static_cast<int32_t>(0xa5a5a5a5));
        CHECK(subport.loop_protect == keyword(r[5], {{"disabled", 1}, {"enabled", 2}}) &&
              subport.loop_state == keyword(r[6], {{"loop_detected", 1}}));
    }

    void port(const std::string &path) {
        int expected;
        bool defined = port_number(path.c_str(), &expected);
        CHECK(get_parent_port_number(path.c_str()) == expected || !defined);
    }

    struct {
        int allocation, copy;
    } fail_ = {0, 0};
    std::string expected_log_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    list_init(&portgroups);
    list_init(&xnets);
    fake_host::reset();
    Session session;
    std::istringstream input(std::string(reinterpret_cast<const char *>(data), size));
    std::string text;
    for (int lines = 0; lines < 512 && std::getline(input, text); lines++) {
        Fields fields(1);
        for (char c : text.substr(0, strlen(text.c_str()))) // up to a NUL, as a C string
            if (c == '|')
                fields.emplace_back();
            else
                fields.back() += c;
        session.run(fields);
    }
    return 0;
}

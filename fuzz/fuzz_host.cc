// libFuzzer target of the host program's own layers. Its input is a dump,
// then change sets, each after a line "=", and last, after a line "~", a
// second dump of its own. Whatever they hold, reading them either fails with
// a message or yields records. The change sets the planner takes go in turn
// into a running model of each host, which must stay whole (lists linked,
// counts and copies current, native-VLAN flags what the test gives); the
// faithful host's must, after each set, be a fresh start's in everything
// apply compares: every entry and field, in list order, and every lookup.
// The change set diff finds from the dump to the last result, and to the
// second dump, must be taken by the planner and give that configuration.
#include "input/changes.h"
#include "input/record_json.h"
#include "running/hosts.h"
#include "running/model.h"
#include "model/list.h"
#include "running/services.h"
#include "session.h"
#include "output/report.h"
#include "output/snapshot.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);               \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

namespace {

// The text as a file of its own, read as the program reads a path.
class TextFile {
  public:
    explicit TextFile(std::string_view text) : fd_(memfd_create("input", 0)) {
        CHECK(fd_ >= 0 && write(fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size()));
    }
    ~TextFile() { close(fd_); }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

  private:
    int fd_;
};

const Module &module() {
    static Module m;
    if (m.handle == nullptr) CHECK(load_module(CONFMODEL_HOST_BUILD_LIBRARY, m).empty());
    return m;
}

void check_running_model(const Module &m) {
    CHECK(list_is_consistent<portgroup_entry>(m.portgroups));
    CHECK(list_is_consistent<xnet_entry>(m.xnets));
    LIST_FOREACH(const portgroup_entry, group, m.portgroups) {
        int bound = 0;
        LIST_FOREACH(const xnet_entry, x, m.xnets) {
            LIST_FOREACH(const xnetgroup_entry, g, &x->xnetgroups) {
                bound += g->portgroup == group;
            }
        }
        CHECK(group->xnetgroup_count == bound);
    }
    LIST_FOREACH(xnet_entry, x, m.xnets) {
        CHECK(list_is_consistent<xnetgroup_entry>(&x->xnetgroups));
        LIST_FOREACH(const xnetgroup_entry, g, &x->xnetgroups) {
            CHECK(g->xnet == x);
            const portgroup_entry *group = nullptr;
            LIST_FOREACH(const portgroup_entry, p, m.portgroups) {
                if (p == g->portgroup) group = p;
            }
            CHECK(group != nullptr);
            CHECK(g->portgroup_number == group->number && g->ports_bitmap == group->ports_bitmap &&
                  g->subport_union == group->subport_union &&
                  g->portgroup_col5_value == group->col5_value);
        }
        int32_t number = native_vlan_portgroup(*x);
        const portgroup_entry *tested = number < 0 ? nullptr : m.find_portgrp_by_number(number);
        CHECK(x->is_native_vlan == (tested != nullptr && tested->native_vlan == x->int_vid));
    }
}

// The records of each kind, in order.
std::string kinds(const RecordList &records) {
    std::string out;
    for (int kind = 0; kind <= static_cast<int>(Table::remote_device); kind++)
        for (const Record *r : records)
            if (record_kind(*r) == static_cast<Table>(kind)) append_record_line(out, *r);
    return out;
}

// The running model as apply sees it: every entry in list order, and every
// lookup. Remote devices are the store's, the same for every host.
struct Seen {
    Snapshot snapshot;
    std::string text;
};

Seen seen(const HostModel &model) {
    std::ostringstream text;
    write_model(text, View::json, model, RecordList());
    return {take_snapshot(model), text.str()};
}

void check_same(const Seen &running, const Seen &restarted) {
    CHECK(running.text == restarted.text);
    for (int section = 0; section < LIST_SECTIONS; section++) {
        const auto &a = running.snapshot.items[section], &b = restarted.snapshot.items[section];
        CHECK(a.size() == b.size());
        for (size_t i = 0; i < a.size(); i++)
            CHECK(a[i].key == b[i].key && a[i].label == b[i].label && a[i].json == b[i].json &&
                  a[i].list == b[i].list);
    }
    CHECK(running.snapshot.lookups == restarted.snapshot.lookups);
    CHECK(compare(running.snapshot, restarted.snapshot).same());
}

// Each section of the input as a file of its own.
std::vector<std::string_view> split(std::string_view text, std::string_view line) {
    std::vector<std::string_view> parts;
    for (size_t cut; (cut = text.find(line)) != std::string_view::npos; text.remove_prefix(cut + line.size()))
        parts.push_back(text.substr(0, cut));
    parts.push_back(text);
    return parts;
}

// The diff from base to after must plan, and give after back.
void check_round_trip(const Dump &base, const RecordList &after) {
    Dump copy{"after", 0, {}, {}};
    for (const Record *record : after)
        copy.records.push_back(*record);
    ChangeSet back;
    try {
        back = diff_configs(base, copy);
    } catch (const Failure &) {
        return; // twins that a change cannot name: no change set to check
    }
    Plan again; // points into back
    try {
        again = plan_changes(records_of(base), back);
    } catch (const Failure &e) {
        fprintf(stderr, "diff wrote a change set the planner refuses: %s\n", e.what());
        abort();
    }
    CHECK(kinds(again.result) == kinds(after));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    std::vector<std::string_view> own = split(input, "\n~\n");
    std::vector<std::string_view> parts = split(own[0], "\n=\n");
    const Limits limits{4096, 1 << 16};
    services::set_quiet(true);
    try {
        TextFile dump_file(parts[0]);
        LineReader dump_in(dump_file.path(), limits);
        Dump base = read_dump(dump_in);
        const RecordList base_records = records_of(base);
        std::vector<ChangeSet> sets;
        std::vector<Plan> plans;
        try {
            for (size_t i = 1; i < parts.size(); i++) {
                TextFile changes_file(parts[i]);
                LineReader changes_in(changes_file.path(), limits);
                sets.push_back(read_changes(changes_in));
            }
            for (const ChangeSet &set : sets)
                plans.push_back(plan_changes(plans.empty() ? base_records : plans.back().result, set));
        } catch (const Failure &) {
            // The sets planned so far are still a sequence to take.
        }

        const Module &m = module();
        std::vector<Seen> faithful;
        for (Host host : {Host::simple, Host::faithful}) {
            HostModel model(m);
            model.build(base);
            for (const Plan &plan : plans) {
                apply_changes(model, host, plan, [](const Step &) {});
                check_running_model(m);
                if (host == Host::faithful) faithful.push_back(seen(model));
            }
        }
        for (size_t i = 0; i < plans.size(); i++) {
            HostModel restarted(m);
            restarted.build(plans[i].result);
            check_same(faithful[i], seen(restarted));
            // What a plan touched compares as the whole configurations do.
            const RecordList &before = i == 0 ? base_records : plans[i - 1].result;
            Comparison whole, touched;
            compare_records(whole, m, before, plans[i].result);
            compare_changed_records(touched, m, before, plans[i]);
            CHECK(comparison_json(whole, {"before", "after"}) ==
                  comparison_json(touched, {"before", "after"}));
        }

        check_round_trip(base, plans.empty() ? base_records : plans.back().result);
        if (own.size() > 1) {
            TextFile new_file(own[1]);
            LineReader new_in(new_file.path(), limits);
            Dump after = read_dump(new_in);
            check_round_trip(base, records_of(after));
        }
    } catch (const Failure &) {
    }
    return 0;
}

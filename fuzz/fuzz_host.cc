// libFuzzer target of the host program's own layers: its input is a dump
// and a change set, divided by a line "=". Whatever they hold, reading them
// either fails with a message or yields records; a change set the planner
// takes, applied to the running model, must leave it whole (lists linked,
// counts and copies current, native-VLAN flags what the test gives); and the
// change set diff finds back must turn the dump into the same configuration.
#include "input/changes.h"
#include "running/model.h"
#include "model/list.h"
#include "running/services.h"
#include "session.h"
#include "output/snapshot.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
std::string kinds(const std::vector<const Record *> &records) {
    std::string out;
    for (char kind : std::string("abcdefghi"))
        for (const Record *r : records)
            if (identity(*r)[0] == kind) out += record_json(*r).dump() + "\n";
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    size_t cut = input.find("\n=\n");
    TextFile dump_file(input.substr(0, cut));
    TextFile changes_file(cut == std::string_view::npos ? "" : input.substr(cut + 3));
    const Limits limits{4096, 1 << 16};
    services::set_quiet(true);
    try {
        LineReader dump_in(dump_file.path(), limits), changes_in(changes_file.path(), limits);
        Dump base = read_dump(dump_in);
        ChangeSet changes = read_changes(changes_in);
        Plan plan = plan_changes(base, changes);

        const Module &m = module();
        {
            Store store;
            seed(store, records_of(base));
            HostModel model(m);
            model.build(base);
            model.apply(plan, [](const std::string &, const std::string &) {});
            check_running_model(m);
            Snapshot running = take_snapshot(model, store);
            compare(running, running);
        }

        Dump after{"after", 0, {}, {}};
        for (const Record *record : plan.result)
            after.records.push_back(*record);
        try {
            ChangeSet back = diff_configs(base, after);
            Plan again = plan_changes(base, back); // points into back
            CHECK(kinds(again.result) == kinds(plan.result));
        } catch (const Failure &) {
            // Twins that a change cannot name: no change set to check.
        }
    } catch (const Failure &) {
    }
    return 0;
}

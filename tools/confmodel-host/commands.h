// One function a command, each a short run over the shared layers; main only
// parses the command line and dispatches.
#ifndef CONFMODEL_HOST_COMMANDS_H
#define CONFMODEL_HOST_COMMANDS_H

#include "output/report.h"
#include "running/hosts.h"
#include "session.h"

#include <cstdint>
#include <string>
#include <vector>

struct Query {
    enum Kind { none, port, vlan, portgroup, xnetgroup } kind = none;
    int64_t number = 0;
    std::string text, separator;
};

// The model, or a lookup's answer (exit 1 when nothing is found).
int cmd_show(Session &session, const std::string &source, View view, const Query &query);
// The module's and the host's findings and a summary, on standard output or
// as one JSON document; exit 1 when there are any.
int cmd_check(Session &session, const std::string &source, bool as_json);

struct DcbxCall {
    std::string action; // set, reset or test-and-set
    uintptr_t key = 0;
    std::string expected, new_value;
};
// A DCBX call against the configuration's remote devices; exit 1 unless it
// answers 0.
int cmd_dcbx(Session &session, const std::string &source, const DcbxCall &call, bool as_json);

enum class DiffView { text, json, changes };
// The change set that turns OLD into NEW and its effect on the model; exit 1
// when the two models differ.
int cmd_diff(Session &session, const std::string &old_path, const std::string &new_path,
             DiffView view);

// Builds SOURCE, takes the change sets in turn into the running model as
// `host` does, and compares the result with a fresh start after the last
// (after each with `each`); exit 1 when that diverges. With `commit`, the
// change sets are committed to the store file SOURCE in one transaction,
// unless the module refused a record of them (exit 3 when it diverges). The
// changed configuration goes to `result` as a dump, unless that is empty,
// once the commit succeeded; never over an input.
struct ApplyOptions {
    std::string result;
    bool commit = false;
    bool as_json = false;
    Host host = Host::simple;
    bool each = false;
};
int cmd_apply(Session &session, const std::string &source, const std::vector<std::string> &changes,
              const ApplyOptions &options);

// What one change set costs, in entries released and created: each host's,
// and a restart's (every entry of the running model released, every entry
// of a fresh start created).
struct Costs {
    Applied hosts[2];
    Applied restart;
};
// Takes the plans in turn, from a fresh start of `base`, into a model that
// `host` runs, quietly, and fills in its part of each change set's costs;
// or into a model of the lists built already.
void measure(Session &session, const RecordList &base,
             const std::vector<Plan> &plans, Host host, std::vector<Costs> &costs);
void measure(HostModel &model, const std::vector<Plan> &plans, Host host, std::vector<Costs> &costs);
void print_costs(std::ostream &out, const Costs &costs);
ojson costs_json(const Costs &costs);

// A new store file holding a configuration; and a configuration as a dump,
// to standard output or to a file (never one of the run's inputs).
int cmd_import(Session &session, const std::string &store, const std::string &source);
int cmd_export(Session &session, const std::string &source, const std::string &file);

// The store's log of commits, newest first; or one commit's change set
// (seq not negative), or the change set that undoes it (reverse), as a
// change file.
struct LogOptions {
    int64_t seq = -1;
    bool reverse = false;
    bool as_json = false;
};
int cmd_log(Session &session, const std::string &store, const LogOptions &options);

struct Snapshot;
// The lists these records give from a fresh start, seen from outside.
Snapshot fresh_snapshot(Session &session, const RecordList &records);

#endif

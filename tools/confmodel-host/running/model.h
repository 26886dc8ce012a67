// The host's side of the model: builds it through the module from the
// records, in the order the module needs, keeps the decoded port records, and
// releases everything the way a host must (the module never removes an entry).
// It also reacts to changed records as a running host does (apply.cc).
#ifndef CONFMODEL_HOST_RUNNING_MODEL_H
#define CONFMODEL_HOST_RUNNING_MODEL_H

#include "input/dump.h"
#include "running/module.h"

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

struct Subport {
    const Record *record;
    subport_data data;
};

struct PortProtect {
    const Record *record; // column 0 names the port; the module does not read it
    port_protect_data data;
};

struct SubportProtect {
    const Record *record;
    subport_protect_data data;
};

struct Plan; // changes to apply: changes.h

class HostModel {
  public:
    explicit HostModel(const Module &module) : module_(module) {}
    ~HostModel() { release(); }
    HostModel(const HostModel &) = delete;
    HostModel &operator=(const HostModel &) = delete;

    // Port groups, then xnets, then xnetgroups, whatever the order of the
    // records; then the native-VLAN test of every xnet; then the port
    // records. Remarks of the host itself (a refused record, a duplicate
    // xnet) go to standard error as notes. The records must outlive the model.
    void build(const std::vector<const Record *> &records);
    void build(const Dump &dump);

    // Takes the plan's changes into the running model, in the order a host
    // must, telling each step with the change that caused it. Returns how
    // many xnetgroups it could not file, their xnet missing.
    using StepSink = std::function<void(const std::string &cause, const std::string &step)>;
    int apply(const Plan &plan, const StepSink &step);

    // Unlinks and frees xnetgroups, then xnets, then port groups, and frees
    // the subports. Also done on destruction.
    void release();

    const Module &module() const { return module_; }
    const std::vector<Subport> &subports() const { return subports_; }
    const std::vector<PortProtect> &port_protects() const { return port_protects_; }
    const std::vector<SubportProtect> &subport_protects() const { return subport_protects_; }
    // The record a listed entry was created from.
    const Record &origin(const void *entry) const { return *origins_.at(entry); }

  private:
    // Each creates from one record with the module, logging under `cause`.
    void create_portgroup(const Record &record, const std::string &cause);
    void create_xnet(const Record &record, const std::string &cause);
    // False when the record's xnet is not in the model.
    bool create_xnetgroup(const Record &record, const std::string &cause);
    void test_native_vlan(xnet_entry *xnet, const std::string &cause);
    void decode(const Record &record, const std::string &cause);
    // Each unlinks and frees; an xnetgroup also lowers its port group's
    // xnetgroup_count, which the module only ever raises.
    void release_xnetgroup(xnetgroup_entry *group);
    void release_xnet(xnet_entry *xnet);
    void release_portgroup(portgroup_entry *group);
    void start();

    const Module &module_;
    bool built_ = false;
    std::unordered_map<const void *, const Record *> origins_;
    // By the identity of the record that created them.
    std::unordered_map<std::string, void *> entries_;
    // An xnet record's pathname: the xnet its xnetgroups are filed under, its
    // own or, for a duplicate, the one the module handed back.
    std::unordered_map<std::string, xnet_entry *> filed_under_;
    // And back: the names filed under each xnet, to forget them with it.
    std::unordered_map<const xnet_entry *, std::vector<std::string>> filed_names_;
    std::vector<Subport> subports_;
    std::vector<PortProtect> port_protects_;
    std::vector<SubportProtect> subport_protects_;
};

// The port group number test_and_set_native_vlan is given for an xnet: the
// number of the group its first xnetgroup binds, or -1 when it has none.
int32_t native_vlan_portgroup(const xnet_entry &xnet);

#endif

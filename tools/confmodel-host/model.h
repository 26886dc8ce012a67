// The host's side of the model: builds it through the module from the
// records, in the order the module needs, keeps the decoded port records, and
// releases everything the way a host must (the module never removes an entry).
#ifndef CONFMODEL_HOST_MODEL_H
#define CONFMODEL_HOST_MODEL_H

#include "dump.h"
#include "module.h"

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

class HostModel {
  public:
    explicit HostModel(const Module &module) : module_(module) {}
    ~HostModel() { release(); }
    HostModel(const HostModel &) = delete;
    HostModel &operator=(const HostModel &) = delete;

    // Port groups, then xnets, then xnetgroups, whatever the order of the
    // records; then the native-VLAN test of every xnet; then the port
    // records. Remarks of the host itself (a refused record, a duplicate
    // xnet) go to standard error as notes.
    void build(const Dump &dump);

    // Unlinks and frees xnetgroups, then xnets, then port groups, and frees
    // the subports. Also done on destruction.
    void release();

    const Module &module() const { return module_; }
    const std::vector<Subport> &subports() const { return subports_; }
    const std::vector<PortProtect> &port_protects() const { return port_protects_; }
    const std::vector<SubportProtect> &subport_protects() const { return subport_protects_; }
    // The record a listed entry was created from.
    const Record &origin(const void *entry) const { return *origins_.at(entry); }
    const std::string &source() const { return source_; }

  private:
    const Module &module_;
    bool built_ = false;
    std::string source_;
    std::unordered_map<const void *, const Record *> origins_;
    std::vector<Subport> subports_;
    std::vector<PortProtect> port_protects_;
    std::vector<SubportProtect> subport_protects_;
};

// The port group number test_and_set_native_vlan is given for an xnet: the
// number of the group its first xnetgroup binds, or -1 when it has none.
int32_t native_vlan_portgroup(const xnet_entry &xnet);

#endif

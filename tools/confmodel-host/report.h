// What the module made of a dump, for people and for other tools. Every view
// renders one JSON description, so the text, the JSON and the graph agree.
#ifndef CONFMODEL_HOST_REPORT_H
#define CONFMODEL_HOST_REPORT_H

#include "model.h"
#include "store.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <ostream>
#include <string>

// Ports as 1-based ranges, as pathnames number them: bits 0-3 and 6 give "1-4,7".
std::string port_ranges(uint64_t bitmap);

nlohmann::ordered_json describe_portgroup(const portgroup_entry &group);
nlohmann::ordered_json describe_xnet(const xnet_entry &xnet); // with its xnetgroups
nlohmann::ordered_json describe_xnetgroup(const xnetgroup_entry &group);
nlohmann::ordered_json describe_remote_device(const RemoteDevice &device);
// Everything: portgroups, xnets, subports, port_protects, subport_protects,
// remote_devices.
nlohmann::ordered_json describe_model(const HostModel &model, const Store &store);

// Text views of the descriptions above.
void print_model(std::ostream &out, const nlohmann::ordered_json &model);
void print_portgroup(std::ostream &out, const nlohmann::ordered_json &group);
void print_xnet(std::ostream &out, const nlohmann::ordered_json &xnet);
void print_xnetgroup(std::ostream &out, const nlohmann::ordered_json &group);

// A Graphviz digraph: xnets, their xnetgroups, and the port groups bound.
void print_dot(std::ostream &out, const nlohmann::ordered_json &model);

#endif

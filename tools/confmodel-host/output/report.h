// What the module made of a configuration, for people and for other tools.
// Every view renders the same description of each entry, so the text, the
// JSON and the graph agree. The views are written entry by entry, so a large
// model is never held twice; port records and remote devices, which come by
// the million, are written straight from their fields, without a JSON tree.
#ifndef CONFMODEL_HOST_OUTPUT_REPORT_H
#define CONFMODEL_HOST_OUTPUT_REPORT_H

#include "output/document.h"
#include "running/labels.h"
#include "running/model.h"
#include "store/store.h"

#include <cstdint>
#include <ostream>
#include <string>

// Ports as 1-based ranges, as pathnames number them: bits 0-3 and 6 give "1-4,7".
std::string port_ranges(uint64_t bitmap);

ojson describe_portgroup(const portgroup_entry &group);
ojson describe_xnet(const xnet_entry &xnet); // with its xnetgroups
ojson describe_xnet_alone(const xnet_entry &xnet);
ojson describe_xnetgroup(const xnetgroup_entry &group);
// The same descriptions as compact JSON text, written without a tree: what a
// snapshot keeps of every entry. An xnet's is that of describe_xnet_alone.
std::string description_text(const portgroup_entry &group);
std::string description_text(const xnet_entry &xnet);
std::string description_text(const xnetgroup_entry &group);
ojson describe_subport(const subport_data &subport);
ojson describe_port_protect(std::string_view pathname, const port_protect_data &data);
ojson describe_subport_protect(std::string_view pathname, const subport_protect_data &data);
ojson describe_remote_device(const Record &device);
ojson describe_port_record(const DecodedPortRecord &decoded); // by its table

// Text views of single descriptions.
void print_portgroup(std::ostream &out, const ojson &group);
void print_xnet(std::ostream &out, const ojson &xnet);
void print_xnetgroup(std::ostream &out, const ojson &group);

enum class View { text, json, dot };
// The whole model: port groups, xnets, subports, port and subport
// protection, and the dump's remote devices.
void write_model(std::ostream &out, View view, const HostModel &model, const Dump &dump);

#endif

// Each entry's description as JSON: a tree for the views and the answers of
// lookups, compact text for a snapshot, which keeps millions of them.
#ifndef CONFMODEL_HOST_OUTPUT_REPORT_JSON_H
#define CONFMODEL_HOST_OUTPUT_REPORT_JSON_H

#include "output/document.h"
#include "running/model.h"

#include <string>
#include <string_view>

ojson describe_portgroup(const portgroup_entry &group);
ojson describe_xnet(const xnet_entry &xnet); // with its xnetgroups
ojson describe_xnet_alone(const xnet_entry &xnet);
ojson describe_xnetgroup(const xnetgroup_entry &group);
// The same descriptions as compact JSON text, written without a tree: what a
// snapshot keeps of every entry. An xnet's is that of describe_xnet_alone.
std::string description_text(const portgroup_entry &group);
std::string description_text(const xnet_entry &xnet);
std::string description_text(const xnetgroup_entry &group);
// The same appended to out; an xnet's with its xnetgroups too, as
// describe_xnet gives it.
void append_description(std::string &out, const portgroup_entry &group);
void append_description(std::string &out, const xnet_entry &xnet);
void append_description(std::string &out, const xnetgroup_entry &group);
void append_description_with_groups(std::string &out, const xnet_entry &xnet);
ojson describe_subport(const subport_data &subport);
ojson describe_port_protect(std::string_view pathname, const port_protect_data &data);
ojson describe_subport_protect(std::string_view pathname, const subport_protect_data &data);
ojson describe_remote_device(const Record &device);
ojson describe_port_record(const DecodedPortRecord &decoded); // by its table

#endif

// The model as people read it: an entry's heading and its fields, read from
// the entry itself; a port record or a remote device on a line or two,
// appended to a buffer, since they come by the million.
#ifndef CONFMODEL_HOST_OUTPUT_REPORT_TEXT_H
#define CONFMODEL_HOST_OUTPUT_REPORT_TEXT_H

#include "running/model.h"

#include <ostream>
#include <string>
#include <string_view>

void print_portgroup(std::ostream &out, const portgroup_entry &group);
void print_xnet(std::ostream &out, const xnet_entry &xnet); // with its xnetgroups
void print_xnetgroup(std::ostream &out, const xnetgroup_entry &group);

void print_subport(std::string &out, const subport_data &subport);
void print_port_protect(std::string &out, std::string_view pathname, const port_protect_data &data);
void print_subport_protect(std::string &out, std::string_view pathname, const subport_protect_data &data);
void print_remote_device(std::string &out, const Record &device);

#endif

// The model as a Graphviz graph: xnets, their xnetgroups and the port groups
// they bind, and apart, dashed, the records that list no entry.
#ifndef CONFMODEL_HOST_OUTPUT_REPORT_DOT_H
#define CONFMODEL_HOST_OUTPUT_REPORT_DOT_H

#include "running/model.h"

#include <cstddef>
#include <ostream>

void dot_portgroup(std::ostream &out, const portgroup_entry &group);
// The index-th xnet of the list, with its xnetgroups.
void dot_xnet(std::ostream &out, const xnet_entry &xnet, size_t index);
// Records that list no entry: a duplicate with an edge to the entry listed
// in its place, a refused one with an edge from the xnet it was filed under.
void dot_unlisted(std::ostream &out, const HostModel &model, const RecordList &records);
// Each kind of node and edge, drawn as the graph draws it.
void dot_legend(std::ostream &out);

#endif

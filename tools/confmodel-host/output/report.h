// What the module made of a configuration, for people and for other tools.
// Every view reads the same fields of each entry (entry_fields.h), so the
// text, the JSON and the graph agree. The views are written entry by entry,
// so a large model is never held twice; port records and remote devices,
// which come by the million, are written straight from their fields, without
// a JSON tree.
#ifndef CONFMODEL_HOST_OUTPUT_REPORT_H
#define CONFMODEL_HOST_OUTPUT_REPORT_H

#include "running/model.h"

#include <ostream>

// JSON as a document (indented), or on one line, as a reply over a socket.
enum class View { text, json, dot, json_line };
// The whole model: port groups, xnets, subports, port and subport
// protection, and the remote devices among the records it was built from.
void write_model(std::ostream &out, View view, const HostModel &model, const RecordList &records);

#endif

// A record as a line of JSON, the one way the program writes a record: the
// lines of a dump, of a change set, and the changes of a JSON diff.
#ifndef CONFMODEL_HOST_INPUT_RECORD_JSON_H
#define CONFMODEL_HOST_INPUT_RECORD_JSON_H

#include "input/records.h"

#include <string>

// The record as compact JSON, every character outside ASCII escaped, and a
// line feed: {"table":...,"columns":{...}}. Given an op, the line of a change
// set, {"op":...,"table":...}; of an identity, the columns hold column 0 alone
// and the line no "parent_port", as the reader takes an identity.
void append_record_line(std::string &out, const Record &record, const char *op = nullptr,
                        Reading reading = Reading::record);

#endif

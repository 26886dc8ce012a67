// What this host supplies to the module besides the C library and the string
// duplicator of host/hosk.cc: a syslog that shows each line on standard error
// with its priority and the record that caused it, and counts the problems
// the module reported.
#ifndef CONFMODEL_HOST_RUNNING_SERVICES_H
#define CONFMODEL_HOST_RUNNING_SERVICES_H

#include "input/records.h"

#include <cstdio>
#include <string>
#include <vector>

namespace services {

// Where the module's lines come from, such as "device.jsonl:12"; shown before
// each line logged until the next call. Empty shows the priority alone. A
// record stands for its place, made into text only when a line is logged.
void set_log_context(const std::string &context);
void set_log_context(const Record &record);

// Lines logged at LOG_ERR or more severe, and at LOG_WARNING, since the start.
int errors_logged();
int warnings_logged();

// A remark of the host itself about a record: "where: note: text".
void note(const std::string &where, const std::string &text);

// Where lines and notes are shown: standard error unless set; null shows
// them nowhere (they are still counted and captured).
void set_output(FILE *out);

// From now on every line also goes to the system log, as `ident`.
void use_system_log(const char *ident);

// While quiet, lines and notes are neither shown nor counted: a model built
// only to be compared has nothing new to say.
void set_quiet(bool quiet);

struct LogLine {
    std::string context, priority, text; // as logged: escaping is the writer's
    std::string shown;                   // the whole line as shown, line feed included
};
// Lines logged from now on, and notes (priority "note"), are also kept in
// *lines; null stops that.
void capture(std::vector<LogLine> *lines);

} // namespace services

#endif

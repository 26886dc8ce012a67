// The host as the tests play it: the string duplicator, syslog capture and
// allocations that fail on demand. Linked into every test program, so the
// module's calls to hosk_strdup, syslog and malloc all land here.
#ifndef CONFMODEL_TESTS_FAKE_HOST_H
#define CONFMODEL_TESTS_FAKE_HOST_H

#include <string>
#include <vector>

namespace fake_host {

struct LogLine {
    int priority;
    std::string text;
};

// Lines the module sent to syslog since the last reset(), in order.
const std::vector<LogLine> &log();
// Formats the log as "<priority>text" lines, for one readable assertion.
std::string log_text();

// The nth call from now (1 = the next) fails; 0 disarms.
void fail_strdup_call(int nth);
void fail_malloc_call(int nth);
// hosk_strdup calls made by the module since the last reset().
int strdup_calls();
// True while an armed failure has not been reached yet.
bool malloc_failure_pending();
bool strdup_failure_pending();

// Clears the log, the counters and any armed failure.
void reset();

} // namespace fake_host

#endif

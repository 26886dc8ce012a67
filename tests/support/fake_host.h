// The host as the tests play it, linked into every test program: the module's
// hosk_strdup, syslog, malloc and free land here, where its allocations fail
// on demand and what it holds is counted.
#ifndef CONFMODEL_TESTS_FAKE_HOST_H
#define CONFMODEL_TESTS_FAKE_HOST_H

#include <string>

namespace fake_host {

// The lines the module sent to syslog since the last reset(), in order, each
// as "<priority>text\n", so that one assertion shows them all.
const std::string &log_text();

// The module's nth call from now (1 = the next) fails; 0 disarms.
void fail_strdup_call(int nth);
void fail_malloc_call(int nth);
// True while an armed failure has not been reached yet.
bool malloc_failure_pending();
bool strdup_failure_pending();
// Blocks the module was handed (allocations, pathname copies) not yet freed.
size_t live_blocks();

// Clears the log and any armed failure; the blocks stay held.
void reset();

} // namespace fake_host

#endif

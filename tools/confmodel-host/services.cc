#include "services.h"

#include <cstdarg>
#include <syslog.h>

namespace {

std::string context;
std::string ident;
int errors;
int warnings;

const char *priority_name(int priority) {
    static const char *const names[] = {"emerg",   "alert",  "crit", "err",
                                        "warning", "notice", "info", "debug"};
    return names[LOG_PRI(priority)];
}

} // namespace

// The module's syslog resolves against this executable (it exports its
// symbols), so every line the module logs passes through here.
extern "C" void syslog(int priority, const char *format, ...) {
    if (LOG_PRI(priority) <= LOG_ERR)
        errors++;
    else if (LOG_PRI(priority) == LOG_WARNING)
        warnings++;

    // With LOG_PERROR the C library copies the line to standard error as
    // "<ident>: <text>", so the ident carries the record and the priority.
    ident = context.empty() ? priority_name(priority) : context + ": " + priority_name(priority);
    openlog(ident.c_str(), LOG_PERROR, 0);

    va_list args;
    va_start(args, format);
    vsyslog(priority, format, args);
    va_end(args);
}

namespace services {

void set_log_context(const std::string &text) {
    context = text;
}

int errors_logged() {
    return errors;
}
int warnings_logged() {
    return warnings;
}

} // namespace services

#include "running/services.h"

#include "input/progress.h"
#include "input/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <syslog.h>

namespace {

std::string context;
const Record *context_record; // stands for the context while set
int errors;
int warnings;
bool quiet;
std::vector<services::LogLine> *captured;
FILE *output = stderr;
bool system_log;

// The C library's system log, reached through vsyslog: the name syslog is
// this host's own.
void to_system_log(int priority, const std::string &line) {
    auto log = [](int p, const char *format, ...) {
        va_list args;
        va_start(args, format);
        vsyslog(p, format, args);
        va_end(args);
    };
    log(priority, "%s", line.c_str());
}

void show(const std::string &line) {
    if (output == nullptr) return;
    progress::erase();
    fwrite(line.data(), 1, line.size(), output);
}

const char *priority_name(int priority) {
    static const char *const names[] = {"emerg",   "alert",  "crit", "err",
                                        "warning", "notice", "info", "debug"};
    return names[LOG_PRI(priority)];
}

} // namespace

// The module's syslog resolves against this executable (it exports its
// symbols), so every line the module logs passes through here. The line goes
// to standard error (or where set_output says), and to the system log once
// the program runs as a daemon.
extern "C" void syslog(int priority, const char *format, ...) {
    if (quiet) return;
    if (LOG_PRI(priority) <= LOG_ERR)
        errors++;
    else if (LOG_PRI(priority) == LOG_WARNING)
        warnings++;

    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    int length = vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    // A line feed at the end of the format ends the module's line; any other
    // is the data's and shows as an escape.
    size_t format_length = strlen(format);
    if (format_length > 0 && format[format_length - 1] == '\n' && !text.empty() &&
        text.back() == '\n')
        text.pop_back();

    if (context_record != nullptr) {
        context = where(*context_record);
        context_record = nullptr;
    }
    std::string shown = escaped(text);
    std::string line =
        (context.empty() ? "" : context + ": ") + priority_name(priority) + ": " + shown + "\n";
    show(line);
    if (system_log) to_system_log(priority, (context.empty() ? "" : context + ": ") + shown);
    if (captured != nullptr) captured->push_back({context, priority_name(priority), text, line});
}

namespace services {

void set_log_context(const std::string &text) {
    context = text;
    context_record = nullptr;
}

void set_log_context(const Record &record) {
    context.clear();
    context_record = &record;
}

int errors_logged() {
    return errors;
}
int warnings_logged() {
    return warnings;
}

void note(const std::string &where, const std::string &text) {
    if (quiet) return;
    std::string line = where + ": note: " + text + "\n";
    show(line);
    if (captured != nullptr) captured->push_back({where, "note", text, line});
}

void set_output(FILE *out) {
    output = out;
}

void use_system_log(const char *ident) {
    openlog(ident, LOG_PID, LOG_DAEMON);
    system_log = true;
}
void set_quiet(bool value) {
    quiet = value;
}

void capture(std::vector<LogLine> *lines) {
    captured = lines;
}

} // namespace services

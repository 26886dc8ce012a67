#include "fake_host.h"

#include "hosk.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <syslog.h>

// The allocator beneath ours: the sanitizer's when there is one, else glibc's.
#if defined(__SANITIZE_ADDRESS__)
#define CONFMODEL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CONFMODEL_ASAN 1
#endif
#endif
#ifdef CONFMODEL_ASAN
extern "C" void *__interceptor_malloc(size_t size);
#define real_malloc __interceptor_malloc
#else
extern "C" void *__libc_malloc(size_t size);
#define real_malloc __libc_malloc
#endif

namespace {

std::vector<fake_host::LogLine> lines;
int strdup_fail_in;
int malloc_fail_in;
int strdup_count;
// Set while the host's own code runs inside a module call, so that its
// allocations are never failed.
thread_local bool in_host;

struct HostCode {
    bool was = in_host;
    HostCode() { in_host = true; }
    ~HostCode() { in_host = was; }
};

bool count_down(int &fail_in) { return fail_in > 0 && --fail_in == 0; }

} // namespace

// Runs before the sanitizer runtime has set up its shadow memory, so it must
// not be instrumented itself nor call anything that is.
extern "C" __attribute__((no_sanitize("address", "undefined"))) void *malloc(size_t size) {
    if (!in_host && malloc_fail_in > 0 && --malloc_fail_in == 0)
        return nullptr;
    return real_malloc(size);
}

extern "C" char *hosk_strdup(const char *text) {
    HostCode host;
    strdup_count++;
    if (count_down(strdup_fail_in) || text == nullptr)
        return nullptr;
    size_t size = strlen(text) + 1;
    char *copy = static_cast<char *>(real_malloc(size));
    if (copy != nullptr)
        memcpy(copy, text, size);
    return copy;
}

extern "C" void syslog(int priority, const char *format, ...) {
    HostCode host;
    va_list args;
    va_start(args, format);
    char text[1024];
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    lines.push_back({priority, text});
}

namespace fake_host {

const std::vector<LogLine> &log() { return lines; }

std::string log_text() {
    HostCode host;
    std::string out;
    for (const LogLine &line : lines)
        out += "<" + std::to_string(line.priority) + ">" + line.text + "\n";
    return out;
}

void fail_strdup_call(int nth) { strdup_fail_in = nth; }
void fail_malloc_call(int nth) { malloc_fail_in = nth; }
int strdup_calls() { return strdup_count; }
bool malloc_failure_pending() { return malloc_fail_in > 0; }
bool strdup_failure_pending() { return strdup_fail_in > 0; }

void reset() {
    lines.clear();
    strdup_fail_in = malloc_fail_in = 0;
    strdup_count = 0;
}

} // namespace fake_host

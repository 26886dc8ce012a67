#include "fake_host.h"

#include "hosk.h"

#include <link.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The allocator beneath ours: the sanitizer's when there is one, else glibc's.
#if defined(__SANITIZE_ADDRESS__)
#define CONFMODEL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CONFMODEL_ASAN 1
#endif
#endif
#ifdef CONFMODEL_ASAN
#define real_malloc __interceptor_malloc
#define real_free __interceptor_free
#else
#define real_malloc __libc_malloc
#define real_free __libc_free
#endif
extern "C" void *real_malloc(size_t size);
extern "C" void real_free(void *block);

namespace {

std::string log;
int strdup_fail_in, malloc_fail_in;

// The module's code, so that only its own malloc calls are failed or counted.
uintptr_t module_begin, module_end;

// What the module was handed (its allocations and its pathname copies) and
// nobody has freed yet; a model holds a few thousand blocks at the most.
void *blocks[8192];
size_t block_count;

bool count_down(int &fail_in) { return fail_in > 0 && --fail_in == 0; }

void *hold(void *block) {
    if (block_count == sizeof blocks / sizeof *blocks)
        abort();
    if (block != nullptr)
        blocks[block_count++] = block;
    return block;
}

int find_module(dl_phdr_info *object, size_t, void *) {
    if (strstr(object->dlpi_name, "libconfmodel.so") == nullptr)
        return 0;
    for (int i = 0; i < object->dlpi_phnum; i++) {
        const auto &segment = object->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD && (segment.p_flags & PF_X) != 0) {
            module_begin = object->dlpi_addr + segment.p_vaddr;
            module_end = module_begin + segment.p_memsz;
        }
    }
    return 1;
}

} // namespace

// These run before the sanitizer runtime has set up its shadow memory, so they
// must not be instrumented themselves nor call anything that is.
extern "C" __attribute__((no_sanitize("address", "undefined"))) void *malloc(size_t size) {
    auto caller = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    if (caller < module_begin || caller >= module_end)
        return real_malloc(size);
    return count_down(malloc_fail_in) ? nullptr : hold(real_malloc(size));
}

extern "C" __attribute__((no_sanitize("address", "undefined"))) void free(void *block) {
    for (size_t i = block_count; block != nullptr && i-- > 0;) {
        if (blocks[i] == block) {
            blocks[i] = blocks[--block_count];
            break;
        }
    }
    real_free(block);
}

extern "C" char *hosk_strdup(const char *text) {
    if (count_down(strdup_fail_in) || text == nullptr)
        return nullptr;
    size_t size = strlen(text) + 1;
    char *copy = static_cast<char *>(hold(real_malloc(size)));
    return copy != nullptr ? static_cast<char *>(memcpy(copy, text, size)) : nullptr;
}

extern "C" void syslog(int priority, const char *format, ...) {
    va_list args;
    va_start(args, format);
    char text[1024];
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    log += "<" + std::to_string(priority) + ">" + text + "\n";
}

namespace fake_host {

const std::string &log_text() { return log; }

void fail_strdup_call(int nth) { strdup_fail_in = nth; }
void fail_malloc_call(int nth) { malloc_fail_in = nth; }
bool malloc_failure_pending() { return malloc_fail_in > 0; }
bool strdup_failure_pending() { return strdup_fail_in > 0; }
size_t live_blocks() { return block_count; }

void reset() {
    log.clear();
    strdup_fail_in = malloc_fail_in = 0;
    if (module_end == 0)
        dl_iterate_phdr(find_module, nullptr);
}

} // namespace fake_host

#include "running/module.h"

#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <type_traits>

namespace {

std::string linker_error() {
    const char *message = dlerror();
    return message != nullptr ? message : "the dynamic linker gave no reason";
}

// The canonical form of a path, or the path itself when it has none.
std::string real_path(const std::string &path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) != nullptr ? buffer : path;
}

} // namespace

std::string default_library() {
    std::string program = real_path("/proc/self/exe");
    std::string dir = program.substr(0, program.rfind('/'));
    if (dir == real_path(CONFMODEL_HOST_BUILD_DIR)) return CONFMODEL_HOST_BUILD_LIBRARY;
    return dir + "/" CONFMODEL_HOST_INSTALLED_LIBRARY;
}

std::string load_module(const char *path, Module &module) {
    // RTLD_NOW: every symbol the module needs is bound here, so a host that
    // lacks one fails now, with the linker's message, rather than mid-run.
    module.handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (module.handle == nullptr) return linker_error();

    auto resolve = [&](auto &member, const char *name) {
        dlerror();
        member =
            reinterpret_cast<std::remove_reference_t<decltype(member)>>(dlsym(module.handle, name));
        return member != nullptr;
    };
#define CONFMODEL_RESOLVE(name)                                                                    \
    if (!resolve(module.name, #name)) return linker_error();
    CONFMODEL_FUNCTIONS(CONFMODEL_RESOLVE)
    CONFMODEL_RESOLVE(portgroups)
    CONFMODEL_RESOLVE(xnets)
#undef CONFMODEL_RESOLVE
    return {};
}

std::string module_soname(const Module &module) {
    link_map *map = nullptr;
    if (module.handle == nullptr || dlinfo(module.handle, RTLD_DI_LINKMAP, &map) != 0) return "";
    ElfW(Addr) strings = 0;
    ElfW(Xword) name = 0;
    bool named = false;
    for (const ElfW(Dyn) *d = map->l_ld; d->d_tag != DT_NULL; d++) {
        if (d->d_tag == DT_STRTAB) strings = d->d_un.d_ptr;
        if (d->d_tag == DT_SONAME) name = d->d_un.d_val, named = true;
    }
    if (!named || strings == 0) return "";
    // Most dynamic linkers relocate the table's address in place; some
    // leave it an offset from where the library is loaded.
    if (strings < map->l_addr) strings += map->l_addr;
    return reinterpret_cast<const char *>(strings + name);
}

void unload_module(Module &module) {
    if (module.handle != nullptr) dlclose(module.handle);
    module = Module();
}

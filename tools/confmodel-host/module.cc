#include "module.h"

#include <dlfcn.h>

#include <type_traits>

namespace {

std::string linker_error() {
    const char *message = dlerror();
    return message != nullptr ? message : "the dynamic linker gave no reason";
}

} // namespace

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

void unload_module(Module &module) {
    if (module.handle != nullptr) dlclose(module.handle);
    module = Module();
}

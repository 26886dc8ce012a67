// The module as the host reaches it: loaded with dlopen, every function and
// list head looked up with dlsym, so that nothing binds to the library at link
// time and the module resolves its own needs against this process.
#ifndef CONFMODEL_HOST_RUNNING_MODULE_H
#define CONFMODEL_HOST_RUNNING_MODULE_H

#include "confmodel.h"
#include "confmodel_lists.h"

#include <string>

#define CONFMODEL_FUNCTIONS(X)                                                                     \
    X(create_new_portgroup)                                                                        \
    X(find_portgrp_by_number)                                                                      \
    X(find_portgrp_by_name)                                                                        \
    X(find_ext_portgroup_for_port)                                                                 \
    X(free_portgroup_entry)                                                                        \
    X(create_new_xnet)                                                                             \
    X(create_new_fc_xnet)                                                                          \
    X(parse_xnet_data)                                                                             \
    X(parse_fc_xnet_data)                                                                          \
    X(find_xnet_by_int_vid)                                                                        \
    X(find_xnet_by_name)                                                                           \
    X(free_xnet_entry)                                                                             \
    X(test_and_set_native_vlan)                                                                    \
    X(create_new_xnetgroup)                                                                        \
    X(create_new_fc_xnetgroup)                                                                     \
    X(parse_xnetgroup_data)                                                                        \
    X(parse_fc_xnetgroup_data)                                                                     \
    X(find_xgrp_by_name_generic)                                                                   \
    X(free_xnetgroup_entry)                                                                        \
    X(parse_subport_data)                                                                          \
    X(free_subport_data)                                                                           \
    X(parse_port_protect_data)                                                                     \
    X(parse_subport_protect_data)                                                                  \
    X(get_parent_port_number)                                                                      \
    X(dcbx_pending_test_and_set)                                                                   \
    X(dcbx_pending_set)                                                                            \
    X(dcbx_pending_reset)

struct Module {
#define CONFMODEL_MEMBER(name) decltype(&::name) name = nullptr;
    CONFMODEL_FUNCTIONS(CONFMODEL_MEMBER)
#undef CONFMODEL_MEMBER
    list_head *portgroups = nullptr;
    list_head *xnets = nullptr;
    void *handle = nullptr;
};

// The lists' helpers typed: every entry kind begins with its list_link.
template <typename Entry> Entry *first_entry(const list_head *list) {
    return static_cast<Entry *>(confmodel_list_first(list));
}
template <typename Entry> Entry *next_entry(const Entry *entry) {
    return static_cast<Entry *>(confmodel_list_next(entry));
}

// The module loaded unless --library names another: the one built beside
// this program when it runs from the build tree, else the one installed with
// it, found from the program's own place (bin/../lib/libconfmodel.so.1).
std::string default_library();

// Loads the library at path and resolves everything it exports. Returns an
// empty string on success, otherwise the dynamic linker's message (a symbol
// the host does not supply, or one the library does not export).
std::string load_module(const char *path, Module &module);
void unload_module(Module &module);
// The SONAME the loaded module gives itself, or empty when it gives none.
std::string module_soname(const Module &module);

#endif

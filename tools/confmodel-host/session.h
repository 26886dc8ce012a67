// What every command shares: the limits and the module to load, reading a
// configuration, and building the model from it the way the device's host does.
#ifndef CONFMODEL_HOST_SESSION_H
#define CONFMODEL_HOST_SESSION_H

#include "dump.h"
#include "model.h"
#include "module.h"
#include "store.h"

#include <string>

enum { EXIT_OK = 0, EXIT_FOUND_NOTHING = 1, EXIT_BAD = 2 };

struct Settings {
    std::string library = CONFMODEL_HOST_DEFAULT_LIBRARY;
    Limits limits;
};

class Session {
  public:
    explicit Session(const Settings &settings) : settings_(settings) {}
    ~Session() { unload_module(module_); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // The configuration at path ("-" for standard input), read and checked
    // whole, so that a bad line stops the run before the module sees anything.
    Dump read(const std::string &path) const;
    // The module, loaded on first use. Throws Failure when it cannot load.
    const Module &module();
    const Limits &limits() const { return settings_.limits; }

  private:
    Settings settings_;
    Module module_;
};

// The remote devices of a configuration, in a store of their own.
void seed(Store &store, const Dump &dump);

#endif

// A configuration dump: JSON Lines, one configuration-store record a line.
// The format is described in docs/records.md.
#ifndef CONFMODEL_HOST_DUMP_H
#define CONFMODEL_HOST_DUMP_H

#include <cstdint>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

enum class Table {
    portgroup,
    xnet,
    fc_xnet,
    xnetgroup,
    fc_xnetgroup,
    subport,
    port_protect,
    subport_protect,
    remote_device,
};

struct DumpRecord {
    Table table;
    int line;                                        // 1-based, in the dump
    std::vector<std::optional<std::string>> columns; // one per column the table has
    std::string xnet;                                // xnetgroups: the parent xnet's pathname
    std::optional<int32_t> parent_port;              // subports: given explicitly
    const char *column(size_t n) const { return columns[n] ? columns[n]->c_str() : nullptr; }
};

// Remote devices keep two columns of the store's record.
enum { REMOTE_DEVICE_KEY = 0, REMOTE_DEVICE_DCBX_PENDING = 22 };

struct Dump {
    std::string name; // as given on the command line, for messages
    std::vector<DumpRecord> records;
};

// The dump does not follow the format; what() is "name:line: reason".
struct BadInput : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads and checks the whole dump, so that a bad line stops the run before
// any record reaches the module.
Dump read_dump(std::istream &in, const std::string &name);

#endif

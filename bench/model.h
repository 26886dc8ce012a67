// The model as the benchmarks build it: the record texts, in the layouts the
// module reads, and the host's side of the lists.
#ifndef CONFMODEL_BENCH_MODEL_H
#define CONFMODEL_BENCH_MODEL_H

#include "confmodel.h"
#include "record.h"

#include <cstdint>
#include <string>

namespace bench {

// An xnetgroup's pathname is its xnet's, this, and the port group's name.
constexpr const char *xnetgroup_separator = "/xnetgroups/";

std::string portgroup_name(int number);
std::string xnet_name(int vid);
std::string xnetgroup_name(int vid, int portgroup);

// Every column present, as the host's store writes them; nothing in them
// makes the module log. The port group has no subports, so its ports never
// overlap them.
Record portgroup_record(int number, uint64_t ports);
Record xnet_record(int vid);
Record fc_xnet_record(int vid);
Record xnetgroup_record(int vid, int portgroup);
Record fc_xnetgroup_record(int vid, int portgroup);

// Puts the lists into the empty state; on destruction releases everything on
// them, as the host does.
class Model {
  public:
    Model();
    ~Model();
    Model(const Model &) = delete;
    Model &operator=(const Model &) = delete;
    void clear();
};

// The host's side of releasing one entry: unlink, free, and for an xnetgroup
// lower its group's count.
void release(portgroup_entry *entry);
void release(xnet_entry *entry);
void release(xnetgroup_entry *entry);

} // namespace bench

#endif

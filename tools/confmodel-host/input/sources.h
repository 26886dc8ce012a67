// The files and stores records come from, by number, so that a record
// carries one byte for its place rather than a name.
#ifndef CONFMODEL_HOST_INPUT_SOURCES_H
#define CONFMODEL_HOST_INPUT_SOURCES_H

#include <cstdint>
#include <string>

class Record;

// The number of a source, the same for a name given again; at most 256 in
// one run.
uint8_t register_source(const std::string &name);
const std::string &source_name(uint8_t source);

// "name:line", for messages about a record.
std::string location(const std::string &source, uint32_t line);
std::string where(const Record &record);

#endif

// The files this program writes.
#ifndef CONFMODEL_HOST_OUTPUT_FILES_H
#define CONFMODEL_HOST_OUTPUT_FILES_H

#include "input/records.h"

#include <string>
#include <vector>

// Writes the records as a dump, one a line ("-": standard output).
void write_dump(const std::string &path, const std::vector<const Record *> &records);

#endif

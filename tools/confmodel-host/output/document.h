// The JSON documents commands answer with, built as trees: small ones, whose
// tree costs nothing worth saving. Written as every JSON text of the program
// is written, its strings by append_json_string.
#ifndef CONFMODEL_HOST_OUTPUT_DOCUMENT_H
#define CONFMODEL_HOST_OUTPUT_DOCUMENT_H

#include <nlohmann/json.hpp>

#include <string>

using ojson = nlohmann::ordered_json;

// JSON as this program prints it: `indent` spaces a level, or on one line
// without spaces for -1; every character outside ASCII escaped, so that no
// byte of it can act on a terminal.
std::string json_text(const ojson &value, int indent = 2);

#endif

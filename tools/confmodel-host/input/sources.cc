#include "input/sources.h"

#include "input/failure.h"
#include "input/record.h"

#include <algorithm>
#include <vector>

std::string location(const std::string &source, uint32_t line) {
    return source + ":" + std::to_string(line);
}

namespace {
std::vector<std::string> sources;
}

uint8_t register_source(const std::string &name) {
    auto known = std::find(sources.begin(), sources.end(), name);
    if (known != sources.end()) return static_cast<uint8_t>(known - sources.begin());
    if (sources.size() > UINT8_MAX) throw Failure(name + ": too many sources in one run");
    sources.push_back(name);
    return static_cast<uint8_t>(sources.size() - 1);
}

const std::string &source_name(uint8_t source) {
    return sources.at(source);
}

std::string where(const Record &record) {
    return location(source_name(record.source), record.line);
}


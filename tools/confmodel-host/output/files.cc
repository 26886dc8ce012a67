#include "output/files.h"

#include "input/text.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

void write_dump(const std::string &path, const std::vector<const Record *> &records) {
    std::ofstream file;
    if (path != "-") {
        file.open(path);
        if (!file) throw Failure(escaped(path) + ": " + strerror(errno));
    }
    std::ostream &out = path == "-" ? std::cout : file;
    for (const Record *record : records)
        out << record_json(*record).dump(-1, ' ', true, nlohmann::json::error_handler_t::replace)
            << "\n";
    out.flush();
    if (!out) throw Failure(escaped(path) + ": cannot be written");
}


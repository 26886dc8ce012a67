// A store file is told from a dump, and from anything else, by its first
// bytes: SQLite's header.
#include "store/store.h"

#include <fstream>

bool is_store_file(const std::string &head) {
    return head.size() >= 16 && head.compare(0, 16, std::string("SQLite format 3\0", 16)) == 0;
}

bool is_store_path(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    char head[16] = {};
    return file.read(head, sizeof head) && is_store_file(std::string(head, sizeof head));
}

// The floors of confmodel-host's benchmark: reading every line of a dump and
// parsing it, then dropping what was parsed, with nothing else done.
//
//   confmodel_host_floor simdjson|nlohmann FILE
//
// simdjson parses each line into its reusable document; nlohmann builds each
// line's tree and tears it down, as a reader built on trees must. Prints the
// number of lines parsed; exits 1 on a line that is no JSON.
#include <nlohmann/json.hpp>
#include <simdjson.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Calls parse(line) for every line of the file, read in large chunks.
template <typename Parse> long each_line(const char *path, Parse parse) {
    int fd = open(path, O_RDONLY);
    if (fd < 0) return -1;
    std::vector<char> buffer(1 << 20);
    std::string line;
    size_t start = 0, end = 0;
    long lines = 0;
    for (;;) {
        const char *feed = static_cast<const char *>(memchr(buffer.data() + start, '\n', end - start));
        if (feed == nullptr) {
            memmove(buffer.data(), buffer.data() + start, end - start);
            end -= start;
            start = 0;
            if (buffer.size() - end < 65536) buffer.resize(buffer.size() * 2);
            ssize_t got = read(fd, buffer.data() + end, buffer.size() - end);
            if (got <= 0) break;
            end += static_cast<size_t>(got);
            continue;
        }
        size_t length = static_cast<size_t>(feed - (buffer.data() + start));
        line.reserve(length + simdjson::SIMDJSON_PADDING);
        line.assign(buffer.data() + start, length);
        start += length + 1;
        if (!parse(line)) return -1;
        lines++;
    }
    close(fd);
    return lines;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: confmodel_host_floor simdjson|nlohmann FILE\n");
        return 2;
    }
    long lines;
    if (strcmp(argv[1], "simdjson") == 0) {
        simdjson::dom::parser parser;
        lines = each_line(argv[2], [&](const std::string &line) {
            simdjson::dom::element root;
            return parser.parse(line.data(), line.size(), false).get(root) == simdjson::SUCCESS;
        });
    } else {
        lines = each_line(argv[2], [](const std::string &line) {
            return !nlohmann::json::parse(line, nullptr, false).is_discarded();
        });
    }
    if (lines < 0) return 1;
    printf("%ld lines\n", lines);
    return 0;
}

#include "input/dump.h"

#include "input/progress.h"
#include "input/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <unordered_set>

namespace {

constexpr size_t chunk = 64 * 1024;

std::string size_text(size_t bytes) {
    return bytes % (1 << 20) == 0 ? std::to_string(bytes >> 20) + " MiB"
                                  : std::to_string(bytes) + " bytes";
}

} // namespace

LineReader::LineReader(const std::string &path, const Limits &limits)
    : name_(path == "-" ? "<stdin>" : escaped(path)), limits_(limits), fd_(0), close_fd_(false),
      buffer_(chunk) {
    if (path != "-") {
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) throw Failure(name_ + ": " + strerror(errno));
        close_fd_ = true;
        struct stat file;
        if (fstat(fd_, &file) == 0 && S_ISREG(file.st_mode)) size_hint_ = static_cast<size_t>(file.st_size);
    }
}

LineReader::~LineReader() {
    if (close_fd_) close(fd_);
}

// Reads one more chunk behind what is buffered. False at the end of input.
bool LineReader::fill() {
    if (eof_) return false;
    if (start_ > 0) {
        memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    if (buffer_.size() < end_ + chunk) buffer_.resize(end_ + chunk);
    ssize_t got;
    do
        got = read(fd_, buffer_.data() + end_, chunk);
    while (got < 0 && errno == EINTR);
    if (got < 0) throw Failure(name_ + ": cannot be read: " + strerror(errno));
    if (got == 0) {
        eof_ = true;
        return false;
    }
    total_ += static_cast<size_t>(got);
    if (total_ > limits_.max_input)
        throw Failure(name_ + ": larger than " + size_text(limits_.max_input) +
                      " (--max-input raises the limit)");
    end_ += static_cast<size_t>(got);
    return true;
}

bool LineReader::next(std::string &line) {
    size_t scanned = 0; // bytes after start_ known to hold no line feed
    for (;;) {
        const char *begin = buffer_.data() + start_;
        const void *feed = memchr(begin + scanned, '\n', end_ - start_ - scanned);
        size_t length = feed != nullptr ? static_cast<const char *>(feed) - begin : end_ - start_;
        if (length > limits_.max_line)
            throw Failure(location(name_, line_number_ + 1) + ": the line is longer than " +
                          size_text(limits_.max_line) + " (--max-line raises the limit)");
        if (feed == nullptr) {
            scanned = length;
            if (fill()) continue;
            if (length == 0) return false;
        }
        // Room behind the line for the JSON parser's wide reads, in bytes
        // that hold a value: those of an earlier line, or spaces.
        if (line.capacity() < length + JsonReader::padding)
            line.assign(length + JsonReader::padding, ' ');
        line.assign(buffer_.data() + start_, length);
        start_ += length + (feed != nullptr ? 1 : 0);
        line_number_++;
        if (const void *nul = memchr(line.data(), '\0', line.size()))
            throw Failure(location(name_, line_number_) + ": a NUL byte at column " +
                          std::to_string(static_cast<const char *>(nul) - line.data() + 1));
        return true;
    }
}

std::string LineReader::peek(size_t size) {
    while (end_ - start_ < size && fill()) {
    }
    return std::string(buffer_.data() + start_, std::min(size, end_ - start_));
}

bool is_blank_or_comment(const std::string &line) {
    size_t start = line.find_first_not_of(" \t\r");
    return start == std::string::npos || line[start] == '#';
}

Dump read_dump(LineReader &in) {
    Dump dump{in.name(), register_source(in.name()), {}, {}};
    LineRecords records;
    // A record takes 60 bytes of a dump or more: room for all of them at once.
    dump.records.reserve(in.size_hint() / 60);
    std::string line;
    Progress progress("reading " + escaped(dump.name));
    while (in.next(line)) {
        progress.update(dump.records.size(), in.bytes_read(), in.size_hint());
        if (is_blank_or_comment(line)) continue;
        try {
            records.read(line, dump.source, in.line_number());
            dump.records.push_back(records.record(dump.texts));
        } catch (const std::bad_alloc &) {
            throw Failure(location(dump.name, in.line_number()) + ": out of memory");
        }
    }
    check_dump(dump);
    return dump;
}

void check_dump(const Dump &dump) {
    std::unordered_set<std::string_view> xnet_names;
    for (const Record &record : dump.records)
        if (is_xnet(record.table)) xnet_names.insert(record.column(0));
    for (const Record &record : dump.records)
        if (is_xnetgroup(record.table) && xnet_names.count(record.xnet()) == 0)
            throw Failure(where(record) + ": the parent xnet " +
                          quote(record.xnet()) + " has no xnet record in the dump");
}

RecordList records_of(const Dump &dump) {
    RecordList records;
    records.reserve(dump.records.size());
    for (const Record &record : dump.records)
        records.push_back(&record);
    return records;
}

// A configuration dump: JSON Lines, one configuration-store record a line
// (docs/records.md). Read as a stream with bounded lines and a bounded total,
// so that no input, /dev/zero included, can make the program grow without end.
#ifndef CONFMODEL_HOST_INPUT_DUMP_H
#define CONFMODEL_HOST_INPUT_DUMP_H

#include "input/records.h"

#include <cstddef>
#include <string>
#include <vector>

struct Limits {
    size_t max_line = size_t(1) << 20;  // bytes in one line
    size_t max_input = size_t(1) << 30; // bytes in one file
};

// Lines of a file or of standard input ("-"), without their line feeds.
// Every failure (I/O with the system's reason, a line or a file over the
// limits, a NUL byte) is a Failure naming the file and, where there is one,
// the line.
class LineReader {
  public:
    LineReader(const std::string &path, const Limits &limits);
    ~LineReader();
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;

    const std::string &name() const { return name_; }
    // The next line; false at the end of the input.
    bool next(std::string &line);
    uint32_t line_number() const { return line_number_; }
    // The size of a regular file, to make room for what it holds; 0 for
    // anything else.
    size_t size_hint() const { return size_hint_; }
    // Bytes read so far, the line being read and a little beyond included.
    size_t bytes_read() const { return total_; }
    // The first bytes of the input, without consuming them (up to size).
    std::string peek(size_t size);

  private:
    bool fill();

    std::string name_;
    Limits limits_;
    int fd_;
    bool close_fd_;
    std::vector<char> buffer_;
    size_t start_ = 0, end_ = 0;
    size_t total_ = 0;
    bool eof_ = false;
    uint32_t line_number_ = 0;
    size_t size_hint_ = 0;
};

// Blank lines and lines whose first non-blank character is '#' carry nothing.
bool is_blank_or_comment(const std::string &line);

struct Dump {
    std::string name; // as given on the command line, for messages
    uint8_t source;   // the records' source
    LargeVector<Record> records;
    TextArena texts; // the records'
};

// The dump's records in order, as the model and the store take them.
RecordList records_of(const Dump &dump);

// Reads and checks the whole dump, so that a bad line stops the run before
// any record reaches the module.
Dump read_dump(LineReader &in);

// The checks that span records: every xnetgroup's parent xnet has a record.
void check_dump(const Dump &dump);

#endif

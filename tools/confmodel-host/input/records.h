// Reading records from JSON lines: the fields of a line checked against what
// the store could hold, into a record packed in an arena.
#ifndef CONFMODEL_HOST_INPUT_RECORDS_H
#define CONFMODEL_HOST_INPUT_RECORDS_H

#include "input/failure.h"
#include "input/fields.h"
#include "input/identity.h"
#include "input/record.h"
#include "input/schema.h"
#include "input/sources.h"

#include <cstdint>
#include <initializer_list>
#include <string_view>

enum class Reading { record, identity };
// A record from the fields of one JSON object {"table": ..., "columns":
// {...}, ...}, checked against what the store could hold, or only an
// identity (column 0 and the parent xnet). Fields named in `extra` are left
// to the caller. Throws Failure with "source:line: reason".
Record read_record(const JsonFields &fields, TextArena &arena, uint8_t source, uint32_t line,
                   std::initializer_list<const char *> extra = {},
                   Reading reading = Reading::record);

// Reads the lines of a dump or a change set: fast for lines of the usual
// shape, and any other line through the parser whose messages are the
// reader's, so that every line gets the same answer either way.
class LineRecords {
  public:
    // The fields of the line. Throws Failure naming the line when it is no
    // JSON. The line must stay in place until the next call, with
    // JsonReader::padding bytes readable after it.
    const JsonFields &read(std::string_view line, uint8_t source, uint32_t number);
    // The record of the line read last, its texts kept in the arena.
    Record record(TextArena &arena, std::initializer_list<const char *> extra = {},
                  Reading reading = Reading::record);

  private:
    JsonReader json_;
    JsonFields fields_;
    std::string_view line_;
    uint8_t source_ = 0;
    uint32_t number_ = 0;
    bool fast_ = false;
};

#endif

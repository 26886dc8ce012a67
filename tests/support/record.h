// A configuration record built in a test: columns by number, absent unless set.
#ifndef CONFMODEL_TESTS_RECORD_H
#define CONFMODEL_TESTS_RECORD_H

#include "confmodel.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class Record {
  public:
    Record(size_t length, std::initializer_list<std::pair<size_t, const char *>> columns)
        : columns_(length) {
        for (const auto &[column, text] : columns)
            set(column, text);
    }

    // A null text makes the column absent.
    Record &set(size_t column, const char *text) {
        columns_.at(column) = text ? std::optional<std::string>(text) : std::nullopt;
        return *this;
    }

    // The array the module reads; valid until the record changes.
    operator config_record() {
        pointers_.clear();
        for (auto &column : columns_)
            pointers_.push_back(column ? column->data() : nullptr);
        return pointers_.data();
    }

  private:
    std::vector<std::optional<std::string>> columns_;
    std::vector<char *> pointers_;
};

#endif

// A configuration record as the host hands it over: columns by number, absent
// unless set. Every column and the array of them are heap blocks of exactly
// their size, so that a read past either is caught.
#ifndef CONFMODEL_TESTS_RECORD_H
#define CONFMODEL_TESTS_RECORD_H

#include "confmodel.h"

#include <cstring>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

class Record {
  public:
    explicit Record(size_t length, std::initializer_list<std::pair<size_t, const char *>> cols = {})
        : texts_(length), columns_(new char *[length]()) {
        for (const auto &[column, text] : cols)
            set(column, text);
    }

    // A null text makes the column absent.
    Record &set(size_t column, const char *text) {
        texts_.at(column).reset(text ? strcpy(new char[strlen(text) + 1], text) : nullptr);
        columns_[column] = texts_[column].get();
        return *this;
    }

    operator config_record() const { return columns_.get(); }

  private:
    std::vector<std::unique_ptr<char[]>> texts_;
    std::unique_ptr<char *[]> columns_;
};

#endif

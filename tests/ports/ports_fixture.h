// Port-record tests start from a clean fake host and end by checking that the
// module logged nothing, which holds on every path of these functions.
#ifndef CONFMODEL_TESTS_PORTS_FIXTURE_H
#define CONFMODEL_TESTS_PORTS_FIXTURE_H

#include "confmodel.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <cstdint>

class PortsTest : public ::testing::Test {
  protected:
    void SetUp() override { fake_host::reset(); }
    void TearDown() override {
        EXPECT_EQ(fake_host::log_text(), "");
        EXPECT_FALSE(fake_host::strdup_failure_pending());
    }
};

// One column of one record kind and the field it lands in.
template <typename Data> struct ColumnCase {
    size_t column;
    const char *text; // null: absent
    int64_t (*field)(const Data &);
    int64_t expected;
};

#endif

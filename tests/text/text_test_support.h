#pragma once
// Table-driven tests name each row; the name shows in CTest and in failure messages.

#include <gtest/gtest.h>

#include <string>

namespace tarnisk::testing_support {

struct RowName {
  template <typename Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
    return info.param.name;
  }
};

}  // namespace tarnisk::testing_support

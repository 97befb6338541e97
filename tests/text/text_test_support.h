#pragma once
// Helpers shared by the text toolkit's tests.

#include <gtest/gtest.h>

#include <string>

namespace tarnisk::testing_support {

// Table-driven tests name each row; the name shows in CTest and in failure messages.
struct RowName {
  template <typename Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
    return info.param.name;
  }
};

inline std::string Repeat(const std::string& piece, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) result += piece;
  return result;
}

}  // namespace tarnisk::testing_support

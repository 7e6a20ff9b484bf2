#include "grid/grid_store.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace veldrix {
namespace {

using Rows = std::vector<std::vector<float>>;

std::uint64_t CHECKSUM(const Rows& rows) {
  std::uint64_t sum = 0;
  for (const auto& row : rows) CHECKSUM_ROW(row, sum);
  return sum;
}

const Rows kRead = {{4, 4, 4, 4}, {1, 2, 3, 4}};

// Edits of the rows as they were read the first time, each as a second reading would find them.
struct Edit {
  const char* name;
  Rows rows;
};

const Edit kEdits[] = {
    {"OneDigit", {{4, 4, 5, 4}, {1, 2, 3, 4}}},
    // 8 and 1 lie as far above 4 in their bits as below: +d, -2d, +d keeps sums of the bits,
    // plain and weighted by place.
    {"PlusDMinusTwoDPlusD", {{8, 1, 8, 4}, {1, 2, 3, 4}}},
    {"OppositeEditsInTwoRows", {{4, 8, 4, 4}, {1, 1, 3, 4}}},
    {"CellsTradePlaces", {{4, 4, 4, 4}, {2, 1, 3, 4}}},
    {"RowsTradePlaces", {{1, 2, 3, 4}, {4, 4, 4, 4}}},
};

class RowChecksum : public testing::TestWithParam<Edit> {};

TEST_P(RowChecksum, ChangesWithAnyEdit) {
  EXPECT_EQ(CHECKSUM(kRead), CHECKSUM(kRead));
  EXPECT_NE(CHECKSUM(GetParam().rows), CHECKSUM(kRead));
}

INSTANTIATE_TEST_SUITE_P(Rows, RowChecksum, testing::ValuesIn(kEdits),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace veldrix

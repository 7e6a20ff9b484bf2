#include "grid/grid_store.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace veldrix {
namespace {

using Rows = std::vector<std::vector<float>>;

std::uint64_t CHECKSUM(const Rows& rows) {
  std::uint64_t sum = 0;
  for (std::size_t k = 0; k < rows.size(); ++k) CHECKSUM_ROW(rows[k], std::int64_t(k), sum);
  return sum;
}

// Edits of the rows {4 4 4 4} {1 2 3 4}: a digit; +d, -2d, +d in the bits (8 and 1 lie as far
// above 4 as below), which keeps sums of the bits plain and weighted by place; opposite edits in
// two rows; two cells, then two rows, trading places.
TEST(RowChecksum, ChangesWithAnyEdit) {
  const Rows read = {{4, 4, 4, 4}, {1, 2, 3, 4}};
  const Rows kEdits[] = {{{4, 4, 5, 4}, {1, 2, 3, 4}},
                         {{8, 1, 8, 4}, {1, 2, 3, 4}},
                         {{4, 8, 4, 4}, {1, 1, 3, 4}},
                         {{4, 4, 4, 4}, {2, 1, 3, 4}},
                         {{1, 2, 3, 4}, {4, 4, 4, 4}}};
  for (const Rows& edit : kEdits) EXPECT_NE(CHECKSUM(edit), CHECKSUM(read)) << &edit - kEdits;
  EXPECT_EQ(CHECKSUM(read), CHECKSUM(Rows(read)));
}

// Rows read by several threads are added as each thread meets them: each with its own place, the
// order of the additions does not count.
TEST(RowChecksum, KeepsNoOrderOfAdditions) {
  const Rows rows = {{4, 4, 4, 4}, {1, 2, 3, 4}, {0, 0, 0, 1}};
  std::uint64_t backwards = 0;
  for (std::size_t k = rows.size(); k-- > 0;) CHECKSUM_ROW(rows[k], std::int64_t(k), backwards);
  EXPECT_EQ(backwards, CHECKSUM(rows));
}

}  // namespace
}  // namespace veldrix

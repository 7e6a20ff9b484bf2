// The conversion: scales the valid cells of a row and widens the range of the scaled values.
#pragma once

#include <span>

#include "grid/grid_store.hpp"

namespace veldrix {

// The factor and what makes a cell no-data: it lies within 0.1 of nodata (in double
// precision), or equals nodata rounded to single precision.
struct Scale {
  float factor = 1.0f;
  double nodata = 0.0;
  float nodata_single = 0.0f;
  bool has_single = false;
};

Scale SCALE_OF(float factor, double nodata);

// Where the range starts: zmin at 99999.9921875 and zmax at -99999.9921875.
void START_RANGE(GridStore& store);

// Scales every valid cell of the row by the factor in double precision and stores the product
// rounded to single precision; every no-data cell is left holding the no-data marker, so that the
// writer never mistakes a scaled value for a blank. `row_from_top` is the row's number in the
// file (1 the first) in the first reading, and 0 in a second one. The first reading alone counts
// the cells the tolerance blanks (store.dropped) and widens zmin / zmax with the unrounded
// products; rows are met north first, and among equal extremes (0 and -0) the one met first in
// the grid's own order (the southern row first, west to east) is kept.
void CONVERT_ROW(const Scale& scale, std::span<float> row, GridStore& store,
                 std::int32_t row_from_top);

}  // namespace veldrix

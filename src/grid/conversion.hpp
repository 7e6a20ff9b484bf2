// The conversion pass: scales the valid cells and finds the range of the scaled values.
#pragma once

#include "grid/grid_store.hpp"

namespace veldrix {

// Scales every valid cell by factor in double precision, stores the product rounded to single
// precision, and keeps zmin / zmax of the unrounded products, starting from the sentinels
// 99999.9921875 and -99999.9921875. Every no-data cell is left holding the no-data marker, so that
// the writer never mistakes a scaled value for a blank.
void CONVERT_CELLS(GridStore& store, float factor);

}  // namespace veldrix

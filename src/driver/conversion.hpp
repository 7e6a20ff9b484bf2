// The conversion pass: scales the valid cells and finds the range of the scaled values.
#pragma once

#include "driver/grid_store.hpp"

namespace veldrix {

// A cell is valid when it differs from nodata by more than 0.1 (in double precision) and is
// not nodata rounded to single precision: a file's NODATA_value without an exact
// single-precision form (-2147483647, 1.70141e+38) reads back as that rounding.
bool VALID_CELL(float cell, double nodata, float nodata_single, bool has_single);

// Scales every valid cell by factor in double precision, stores the product rounded to single
// precision, and keeps zmin / zmax of the unrounded products, starting from the sentinels
// 99999.9921875 and -99999.9921875. Every no-data cell is left holding the no-data marker, so that
// the writer never mistakes a scaled value for a blank.
void CONVERT_CELLS(GridStore& store, float factor);

}  // namespace veldrix

#include "grid/conversion.hpp"

#include <cfloat>
#include <cmath>

namespace veldrix {
namespace {

// A cell is valid when it differs from nodata by more than 0.1 (in double precision) and is
// not nodata rounded to single precision: a file's NODATA_value without an exact
// single-precision form (-2147483647, 1.70141e+38) reads back as that rounding.
bool VALID_CELL(float cell, const Scale& s) {
  double c = cell;
  if (!(std::fabs(c - s.nodata) > 0.1)) return false;  // a NaN difference is no-data too
  return !(s.has_single && cell == s.nodata_single);
}

// A no-data cell that only the tolerance makes one: not NODATA_value, nor its rounding.
bool BLANKED_NEAR(float cell, const Scale& s) {
  double c = cell;
  return std::fabs(c - s.nodata) <= 0.1 && !(s.has_single && cell == s.nodata_single);
}

void NOTE_NEAR(DroppedValues& dropped, std::int32_t row, std::size_t column, float cell) {
  if (dropped.near_cells++ > 0) return;
  dropped.near_row = row;
  dropped.near_column = static_cast<std::int32_t>(column + 1);
  dropped.near_value = cell;
}

}  // namespace

Scale SCALE_OF(float factor, double nodata) {
  bool has_single = std::fabs(nodata) <= FLT_MAX;
  return {factor, nodata, has_single ? static_cast<float>(nodata) : 0.0f, has_single};
}

void START_RANGE(GridStore& store) {
  store.zmin = kRangeSentinel;
  store.zmax = -kRangeSentinel;
}

void CONVERT_ROW(const Scale& scale, std::span<float> row, GridStore& store,
                 std::int32_t row_from_top) {
  double low = kRangeSentinel, high = -kRangeSentinel;
  for (std::size_t i = 0; i < row.size(); ++i) {
    float& cell = row[i];
    if (!VALID_CELL(cell, scale)) {
      if (row_from_top > 0 && BLANKED_NEAR(cell, scale)) {
        NOTE_NEAR(store.dropped, row_from_top, i, cell);
      }
      cell = kNoDataCell;
      continue;
    }
    double v = static_cast<double>(scale.factor) * cell;  // exact: two single-precision factors
    cell = static_cast<float>(v);
    if (v < low) low = v;  // the western of equal values
    if (v > high) high = v;
  }
  if (row_from_top == 0) return;
  // This row lies south of every row met before it: it wins a tie.
  if (low <= store.zmin) store.zmin = low;
  if (high >= store.zmax) store.zmax = high;
}

}  // namespace veldrix

#include "grid/conversion.hpp"

#include <cfloat>
#include <limits>

namespace veldrix {
namespace {

// A cell is valid when it differs from nodata by more than 0.1 (in double precision) and is
// not nodata rounded to single precision: a file's NODATA_value without an exact
// single-precision form (-2147483647, 1.70141e+38) reads back as that rounding.
bool VALID_CELL(float cell, double nodata, float nodata_single, bool has_single) {
  double c = cell;
  if (!(std::fabs(c - nodata) > 0.1)) return false;  // a NaN difference is no-data too
  return !(has_single && cell == nodata_single);
}

}  // namespace

void CONVERT_CELLS(GridStore& store, float factor) {
  store.zmin = kRangeSentinel;
  store.zmax = -kRangeSentinel;
  bool has_single = std::fabs(store.nodata) <= FLT_MAX;
  float nodata_single = has_single ? static_cast<float>(store.nodata) : 0.0f;
  if (store.nx <= 0) return;  // no cells, and the row count may pass the store's rows
  auto columns = static_cast<std::size_t>(store.nx);
  for (std::int32_t j = 1; j <= store.ny; ++j) {
    for (float& cell : ROW(store.cells, j, columns)) {
      if (!VALID_CELL(cell, store.nodata, nodata_single, has_single)) {
        cell = kNoDataCell;
        continue;
      }
      double v = static_cast<double>(factor) * cell;  // exact: two single-precision factors
      cell = static_cast<float>(v);
      if (v < store.zmin) store.zmin = v;
      if (v > store.zmax) store.zmax = v;
    }
  }
}

}  // namespace veldrix

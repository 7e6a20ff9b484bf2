#include "driver/conversion.hpp"

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
  auto stride = static_cast<std::size_t>(store.cells.column_capacity);
  for (std::int32_t j = 1; j <= store.ny; ++j) {
    float* row = store.cells.z.data() + static_cast<std::size_t>(j - 1) * stride;
    for (std::int32_t i = 0; i < store.nx; ++i) {
      if (!VALID_CELL(row[i], store.nodata, nodata_single, has_single)) {
        row[i] = kNoDataCell;
        continue;
      }
      double v = static_cast<double>(factor) * row[i];  // exact: two single-precision factors
      row[i] = static_cast<float>(v);
      if (v < store.zmin) store.zmin = v;
      if (v > store.zmax) store.zmax = v;
    }
  }
}

}  // namespace veldrix

// The grid store: every cell of the grid and what is known about it, for the whole run.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

namespace veldrix {

// Columns and rows of the static store; a larger grid gets a store of its own size.
inline constexpr std::int32_t kCapacity = 2501;

// The single-precision value nearest to 99999.99, widened: where the range starts.
inline constexpr double kRangeSentinel = 99999.9921875;

// The cells, column index fastest: cell (i, j), both from 1, j = 1 the southern row, is
// z[(j - 1) * column_capacity + (i - 1)]. After the conversion pass a cell holds either its
// scaled value or the no-data marker, a NaN, which no valid cell can become: its value comes
// from a finite token times a finite factor.
struct GridCells {
  std::span<float> z;
  std::int32_t column_capacity = kCapacity;
  std::int32_t row_capacity = kCapacity;
};

// Row j (from 1, the southern row) of the cells, its first `columns` cells; none when a row has
// no cells, since with ncols <= 0 the row count is not bounded by the store.
inline std::span<float> ROW(const GridCells& cells, std::int32_t j, std::size_t columns) {
  if (columns == 0) return {};
  auto stride = static_cast<std::size_t>(cells.column_capacity);
  return cells.z.subspan(static_cast<std::size_t>(j - 1) * stride, columns);
}

// The no-data marker of a converted cell.
inline constexpr float kNoDataCell = std::numeric_limits<float>::quiet_NaN();
inline bool NO_DATA_CELL(float cell) { return std::isnan(cell); }

struct GridStore {
  GridCells cells;
  std::int32_t nx = 0;
  std::int32_t ny = 0;
  double xmin = 0, xmax = 0;  // x of the centres of the first and the last column
  double ymin = 0, ymax = 0;  // y of the centres of the southern and the northern row
  double nodata = 1.0e35;
  double zmin = 0, zmax = 0;
};

// The store at the start of a run: the static cells, all 0.0.
GridStore& GRID_STORE();

// Makes the cells hold nx x ny when the static store cannot: a lazily zeroed store with nx as
// its row stride. A grid whose store, with what the run holds beside it (the process itself, the
// output window, a margin), would not fit in the memory this process may take (physical memory,
// its cgroup's limit, its resource limits) ends the run (status 1) with one line on the error
// stream naming ncols and nrows; so does a grid in the static store.
void FIT_CELLS(GridCells& cells, std::int32_t nx, std::int32_t ny);

// Makes the pages of the first ny rows writable in one call before the rows are read into them.
void PREPARE_ROWS(GridCells& cells, std::int32_t ny);

}  // namespace veldrix

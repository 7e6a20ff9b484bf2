// The grid store: the cells of one band of rows at a time, where each band starts in the input,
// and what is known about the grid, for the whole run.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>

#include "grid/run_settings.hpp"
#include "os/os.hpp"
#include "textio/files/parallel_fill.hpp"

namespace veldrix {

// The single-precision value nearest to 99999.99, widened: where the range starts.
inline constexpr double kRangeSentinel = 99999.9921875;

// A band is read again in parts, as many as SHARES gives for its cells (no more parts than rows),
// its rows from the north split by SHARE_START: where each part starts in the input (the first
// byte of its northern row's first record) and a checksum of the cells its rows read as, the
// first time.
struct BandMark {
  std::int64_t start[kMaxCores] = {};
  std::uint64_t checksum[kMaxCores] = {};
};
// A mark for every band, beside the cells: FIT_CELLS counts it.
static_assert(sizeof(BandMark) == 16 * kMaxCores && sizeof(BandMark) <= 1024);

// The parts of a band of `rows` rows of `columns` cells.
inline std::int64_t BAND_PARTS(std::int64_t rows, std::int64_t columns) {
  return std::min(static_cast<std::int64_t>(SHARES(static_cast<std::uint64_t>(rows * columns))),
                  rows);
}

// The rows from the south, in bands of row_capacity rows: band b holds rows b * row_capacity + 1
// to (b + 1) * row_capacity (the last band the rest). The store holds one band: cell (i, j),
// both from 1, j = 1 the southern row, is z[((j - 1) % row_capacity) * column_capacity + i - 1].
// A grid that fits in one band is read once. Of any other, every band but the southern one is
// kept in a spill file until its turn comes, or, where no spill can be had, read a second time
// from where the first reading found it. After the conversion a cell holds either its
// scaled value or the no-data marker, a NaN, which no valid cell can become: its value comes
// from a finite token times a finite factor.
// The spill file of a run: the folder it goes in, whether one may be had, and its descriptor
// once a band is kept there.
struct SpillFile {
  std::string folder = ".";
  bool allowed = true;
  FileHandle fd = kNoFile;
  bool given_up = false;  // every band is then read again
};

struct GridCells {
  std::span<float> z;
  std::int32_t column_capacity = 0;
  std::int32_t row_capacity = 0;
  std::span<BandMark> bands;
  std::uint64_t band_bytes = RunSettings{}.band_bytes;  // the most a band may take
  SpillFile spill;
  bool output_in_memory = false;  // its records then take memory as the cells do
};

// Row j (from 1, the southern row) of the cells, its first `columns` cells; none when a row has
// no cells.
inline std::span<float> ROW(const GridCells& cells, std::int32_t j, std::size_t columns) {
  if (columns == 0 || cells.row_capacity <= 0) return {};
  auto stride = static_cast<std::size_t>(cells.column_capacity);
  auto slot = static_cast<std::size_t>((j - 1) % cells.row_capacity);
  return cells.z.subspan(slot * stride, columns);
}

// The band of row j.
inline std::int32_t BAND_OF(const GridCells& cells, std::int32_t j) {
  return (j - 1) / cells.row_capacity;
}

// The rows of band b of a grid of ny rows: its southern and northern row (from 1, the southern
// row of the grid), and how many it holds.
struct BandRows {
  std::int32_t south = 0;
  std::int32_t north = 0;
  std::int32_t count = 0;
};
inline BandRows BAND_ROWS(const GridCells& cells, std::int32_t b, std::int32_t ny) {
  std::int32_t south = b * cells.row_capacity + 1;
  std::int32_t north =
      b == static_cast<std::int32_t>(cells.bands.size()) - 1 ? ny : (b + 1) * cells.row_capacity;
  return {south, north, north - south + 1};
}

// The no-data marker of a converted cell.
inline constexpr float kNoDataCell = std::numeric_limits<float>::quiet_NaN();
inline bool NO_DATA_CELL(float cell) { return std::isnan(cell); }

// What the first reading dropped or blanked by the rules without a failure, for the warnings
// after it: cells blanked by the 0.1 tolerance that differ from NODATA_value, and lines whose
// values went on beyond the end of their row (the next row starts on the next line).
struct DroppedValues {
  std::uint64_t near_cells = 0;
  std::int32_t near_row = 0, near_column = 0;  // the first such cell, rows from the file's top
  float near_value = 0.0f;
  std::uint64_t long_lines = 0;
  std::int64_t long_line = 0;     // the first such line's number in the file
  std::uint64_t long_values = 0;  // the values it held beyond its row
};

struct GridStore {
  GridCells cells;
  std::int32_t nx = 0;
  std::int32_t ny = 0;
  double xmin = 0, xmax = 0;  // x of the centres of the first and the last column
  double ymin = 0, ymax = 0;  // y of the centres of the southern and the northern row
  double nodata = 1.0e35;
  double zmin = 0, zmax = 0;
  DroppedValues dropped;
  bool read_on_cores = true;  // the first reading may read the rows of a band on every core
};

// Makes the cells hold the bands of an nx x ny grid: a lazily zeroed store of as many rows as
// fit in cells.band_bytes (and no more than a quarter of the memory this process may take), at
// least one row, and ny rows when the whole grid fits. A row that would not fit in that memory, or
// a band that with what the run holds beside it (the process itself, the output window, a margin)
// would not fit in the memory this process may take (physical memory, its cgroup's limit, its
// resource limits), or, for an output held in memory, would not fit there beside the output's 16
// bytes a cell, ends the run (status 1) with one line on the error stream naming ncols and nrows.
void FIT_CELLS(GridCells& cells, std::int32_t nx, std::int32_t ny);

// Makes the pages of the store writable in one call before the rows are read into them.
void PREPARE_ROWS(GridCells& cells);

// A checksum of the bits of a row's cells, each with its place, and of the row's place among the
// rows summed (from 0), added to `sum`: a row that reads otherwise in any way, or the same rows in
// another order, changes the sum but for a chance of about one in 2^64; rows may be added in any
// order.
void CHECKSUM_ROW(std::span<const float> row, std::int64_t row_place, std::uint64_t& sum);

}  // namespace veldrix

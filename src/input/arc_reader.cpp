#include "input/arc_reader.hpp"

#include <algorithm>

#include "grid/conversion.hpp"
#include "input/header_values.hpp"
#include "textio/ending/failure.hpp"
#include "textio/files/connection.hpp"
#include "textio/records/free.hpp"

namespace veldrix {
namespace {

constexpr std::int32_t kHeaderLines = 6;

// Writes " mx: " or " ny: " and the count in a 12-column field.
void REPORT_SIZE(std::string_view label, std::int32_t count) {
  WRITE_FREE(kConsoleOutput, {ITEM(label), ITEM(count)});
}

// Where the record the reader begins next starts in the file; the reader passes over the rest
// of the current one. A refused read leaves it inside that record, for the next read to report.
std::int64_t NEXT_RECORD_START(Reader& r) {
  RECORD_END(r);
  return r.origin + static_cast<std::int64_t>(r.pos);
}

// A cell that a row leaves unread (a slash, a null value) holds 0, as in a fresh store; a store
// that holds a band at a time has had other rows there.
void READ_ROW(std::int32_t iunit, std::span<float> row, bool reused) {
  if (reused) std::fill(row.begin(), row.end(), 0.0f);
  READ_FREE(iunit, {GROUP(row)});
}

void READ_ROWS(std::int32_t iunit, GridStore& g, const Scale& scale) {
  auto columns = static_cast<std::size_t>(std::max(g.nx, 0));
  GridCells& cells = g.cells;
  bool banded = cells.bands.size() > 1;
  for (std::int32_t k = 1; k <= g.ny; ++k) {
    std::int32_t j = g.ny - k + 1;  // the file's first row is the northern one
    std::span<float> row = ROW(cells, j, columns);
    if (!banded) {
      // A row without cells still reads (and passes over) one record.
      READ_ROW(iunit, row, false);
      CONVERT_ROW(scale, row, g, true);
      continue;
    }
    BandMark& band = cells.bands[static_cast<std::size_t>(BAND_OF(cells, j))];
    if (j == BAND_NORTH(cells, BAND_OF(cells, j), g.ny)) {
      band.start = NEXT_RECORD_START(CONNECTION(iunit).reader);
    }
    READ_ROW(iunit, row, true);
    CHECKSUM_ROW(row, band.checksum);
    CONVERT_ROW(scale, row, g, true);
  }
}

// A second reading of a row: whatever now fails, but for a read the system refuses, is a file
// that no longer holds what the first reading found.
void READ_AGAIN(std::int32_t iunit, std::span<float> row) {
  std::fill(row.begin(), row.end(), 0.0f);
  Reader& r = CONNECTION(iunit).reader;
  Target group = GROUP(row);
  int status = RECORD_BEGIN(r);
  if (status == 0) status = READ_FREE_FROM(r, std::span(&group, 1));
  if (status == kReadError) FAIL_IO(kReadError, iunit, CONNECTION(iunit).name(), r.os_error);
  if (status != 0) FAIL_CHANGED(iunit);
}

}  // namespace

void READ_ARC(std::int32_t iunit, std::string_view name_field, float factor, GridStore& g,
              FileVersion& source) {
  CONNECT(iunit, name_field, "old");
  source = VERSION_OF(iunit);
  IREADFIL3(iunit, "ncols", 5, 0, kPolicyStop, g.nx);
  IREADFIL3(iunit, "nrows", 5, 0, kPolicyStop, g.ny);
  FIT_CELLS(g.cells, g.nx, g.ny);
  REPORT_SIZE("mx: ", g.nx);
  REPORT_SIZE("ny: ", g.ny);
  double cellsize = 0.0;
  DREADFIL3(iunit, "xllcorner", 9, 0.0, kPolicyStop, g.xmin);
  DREADFIL3(iunit, "yllcorner", 9, 0.0, kPolicyStop, g.ymin);
  DREADFIL3(iunit, "cellsize", 8, 0.0, kPolicyStop, cellsize);
  DREADFIL3(iunit, "NODATA_value", 12, 0.0, kPolicyStop, g.nodata);
  double half = cellsize * 0.5;
  g.xmin = g.xmin + half;
  g.ymin = g.ymin + half;
  // In double, so that no count from a file can overflow the subtraction.
  g.xmax = (static_cast<double>(g.nx) - 1) * cellsize + g.xmin;
  g.ymax = (static_cast<double>(g.ny) - 1) * cellsize + g.ymin;
  REWIND(iunit);
  PREPARE_ROWS(g.cells);
  SKIP_REC(iunit, kHeaderLines);
  START_RANGE(g);
  READ_ROWS(iunit, g, SCALE_OF(factor, g.nodata));
  if (g.cells.bands.size() <= 1) DISCONNECT(iunit);
}

void READ_BAND(std::int32_t iunit, float factor, GridStore& g, std::int32_t b,
               const FileVersion& source) {
  GridCells& cells = g.cells;
  const BandMark& band = cells.bands[static_cast<std::size_t>(b)];
  auto columns = static_cast<std::size_t>(g.nx);
  Scale scale = SCALE_OF(factor, g.nodata);
  REFUSE_CHANGED(iunit, source);
  REWIND(iunit, band.start);
  std::uint64_t checksum = 0;
  for (std::int32_t j = BAND_NORTH(cells, b, g.ny); j >= BAND_SOUTH(cells, b); --j) {
    std::span<float> row = ROW(cells, j, columns);
    READ_AGAIN(iunit, row);
    CHECKSUM_ROW(row, checksum);
    CONVERT_ROW(scale, row, g, false);
  }
  // The band ends where the band south of it started the first time.
  Reader& r = CONNECTION(iunit).reader;
  if (int status = RECORD_END(r); status != 0) {
    FAIL_IO(kReadError, iunit, CONNECTION(iunit).name(), r.os_error);
  }
  std::int64_t end = r.origin + static_cast<std::int64_t>(r.pos);
  if (checksum != band.checksum || end != cells.bands[static_cast<std::size_t>(b) - 1].start) {
    FAIL_CHANGED(iunit);
  }
  REFUSE_CHANGED(iunit, source);
  if (b == static_cast<std::int32_t>(cells.bands.size()) - 1) DISCONNECT(iunit);
}

}  // namespace veldrix

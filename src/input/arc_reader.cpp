#include "input/arc_reader.hpp"

#include <algorithm>

#include "input/header_values.hpp"
#include "textio/files/connection.hpp"
#include "textio/records/free.hpp"

namespace veldrix {
namespace {

constexpr std::int32_t kHeaderLines = 6;

// Writes " mx: " or " ny: " and the count in a 12-column field.
void REPORT_SIZE(std::string_view label, std::int32_t count) {
  WRITE_FREE(kConsoleOutput, {ITEM(label), ITEM(count)});
}

void READ_ROWS(std::int32_t iunit, std::int32_t nx, std::int32_t ny, GridCells& cells) {
  auto columns = static_cast<std::size_t>(std::max(nx, 0));
  for (std::int32_t k = 1; k <= ny; ++k) {
    std::int32_t j = ny - k + 1;  // the file's first row is the northern one
    // A row without cells still reads (and passes over) one record.
    READ_FREE(iunit, {GROUP(ROW(cells, j, columns))});
  }
}

}  // namespace

void READ_ARC(std::int32_t iunit, std::string_view name_field, std::int32_t& nx, std::int32_t& ny,
              double& xmin, double& xmax, double& ymin, double& ymax, double& nodata,
              GridCells& cells, FileIdentity& source) {
  CONNECT(iunit, name_field, "old");
  source = IDENTITY_OF(iunit);
  IREADFIL3(iunit, "ncols", 5, 0, kPolicyStop, nx);
  IREADFIL3(iunit, "nrows", 5, 0, kPolicyStop, ny);
  FIT_CELLS(cells, nx, ny);
  REPORT_SIZE("mx: ", nx);
  REPORT_SIZE("ny: ", ny);
  double cellsize = 0.0;
  DREADFIL3(iunit, "xllcorner", 9, 0.0, kPolicyStop, xmin);
  DREADFIL3(iunit, "yllcorner", 9, 0.0, kPolicyStop, ymin);
  DREADFIL3(iunit, "cellsize", 8, 0.0, kPolicyStop, cellsize);
  DREADFIL3(iunit, "NODATA_value", 12, 0.0, kPolicyStop, nodata);
  double half = cellsize * 0.5;
  xmin = xmin + half;
  ymin = ymin + half;
  // In double, so that no count from a file can overflow the subtraction.
  xmax = (static_cast<double>(nx) - 1) * cellsize + xmin;
  ymax = (static_cast<double>(ny) - 1) * cellsize + ymin;
  REWIND(iunit);
  PREPARE_ROWS(cells, ny);
  SKIP_REC(iunit, kHeaderLines);
  READ_ROWS(iunit, nx, ny, cells);
  REFUSE_CHANGED(iunit, source);
  DISCONNECT(iunit);
}

}  // namespace veldrix

#include "output/grd_writer.hpp"

#include <algorithm>
#include <array>
#include <iterator>

#include "driver/conversion.hpp"
#include "textio/connection.hpp"
#include "textio/fixed.hpp"
#include "textio/free.hpp"
#include "textio/number_format.hpp"

namespace veldrix {
namespace {

constexpr FieldSpec kMarkerLayout[] = {TEXT(4)};
constexpr FieldSpec kCellLayout[] = {TEXT(14)};
constexpr FieldSpec kCellValue[] = {REAL(14, 8)};
static_assert(std::size(kCellValue) == 1 && kCellValue[0].kind == FieldKind::Real);
static_assert(LAYOUT_WIDTH(kCellValue, 0) == kBlankCell.size());
static_assert(LAYOUT_WIDTH(kCellLayout, 0) == kBlankCell.size());

// A cell record is its 14-character text in the A14 layout, and A14 of a 14-character text is
// that text unchanged; so each cell's text is built in place in its line. The G14.8 layout is
// one field over all 14 columns: its number field fills them.
void CELL_TEXT(float cell, std::span<char> text) {
  if (NO_DATA_CELL(cell)) {
    std::copy(kBlankCell.begin(), kBlankCell.end(), text.begin());
  } else {
    FORMAT_G(cell, kCellValue[0].digits, text);
  }
}

constexpr std::size_t kLineLength = kBlankCell.size() + 2;  // the cell text and CR LF
constexpr std::size_t kBlockCells = 256;

// Cells are formatted a block at a time and then written one record each. Formatting between
// two writes would run on what every system call leaves of the caches and branch history; a
// block of lines is made in one go instead, and the writes follow one another as closely as
// bare writes do.
void WRITE_ROW(Connection& c, std::span<const float> row) {
  std::array<char, kBlockCells * kLineLength> lines;
  for (std::size_t at = 0; at < lines.size(); at += kLineLength) {
    lines[at + kLineLength - 2] = '\r';
    lines[at + kLineLength - 1] = '\n';
  }
  while (!row.empty()) {
    std::size_t n = std::min(row.size(), kBlockCells);
    for (std::size_t i = 0; i < n; ++i) {
      CELL_TEXT(row[i], std::span(lines).subspan(i * kLineLength, kBlankCell.size()));
    }
    for (std::size_t i = 0; i < n; ++i) {
      PUT_LINE(c, std::string_view(lines.data() + i * kLineLength, kLineLength));
    }
    row = row.subspan(n);
  }
}

}  // namespace

void WRITE_GRD(std::int32_t iunit, std::string_view name_field, std::int32_t nx, std::int32_t ny,
               double xmin, double xmax, double ymin, double ymax, double zmin, double zmax,
               const GridCells& cells, [[maybe_unused]] double nodata) {
  CONNECT(iunit, name_field, "unknown");
  WRITE_FIXED(iunit, kMarkerLayout, {ITEM(std::string_view("DSAA"))});
  WRITE_FREE(iunit, {ITEM(nx), ITEM(ny)});
  WRITE_FREE(iunit, {ITEM(xmin), ITEM(xmax)});
  WRITE_FREE(iunit, {ITEM(ymin), ITEM(ymax)});
  WRITE_FREE(iunit, {ITEM(zmin), ITEM(zmax)});
  if (nx >= 1) {
    auto stride = static_cast<std::size_t>(cells.column_capacity);
    Connection& c = CONNECTION(iunit);
    for (std::int32_t j = 1; j <= ny; ++j) {
      WRITE_ROW(c, cells.z.subspan(static_cast<std::size_t>(j - 1) * stride,
                                   static_cast<std::size_t>(nx)));
    }
  }
  DISCONNECT(iunit);
}

}  // namespace veldrix

#include "output/grd_writer.hpp"

#include <algorithm>
#include <iterator>

#include "textio/files/connection.hpp"
#include "textio/files/record_slots.hpp"
#include "textio/numbers/number_format.hpp"
#include "textio/records/fixed.hpp"
#include "textio/records/free.hpp"

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

// Each cell's text goes straight into the slot of its record, CR LF after it; the record layer
// decides how the slots reach the file. `left` counts the records still to come in the grid.
void WRITE_ROW(RecordSlots& slots, std::span<const float> row, std::uint64_t& left) {
  for (std::size_t i = 0; i < row.size(); ++i, --left) {
    if (slots.next == slots.limit) SLOTS_MORE(slots, static_cast<std::size_t>(left));
    char* line = slots.next;
    CELL_TEXT(row[i], std::span(line, kBlankCell.size()));
    line[kLineLength - 2] = '\r';
    line[kLineLength - 1] = '\n';
    SLOT_DONE(slots);
  }
}

// The slots of the cell records, from the header to the end of the grid.
RecordSlots g_slots;  // its staging space is too large for the stack

}  // namespace

void WRITE_GRD_HEAD(std::int32_t iunit, std::string_view name_field, std::int32_t nx,
                    std::int32_t ny, double xmin, double xmax, double ymin, double ymax,
                    double zmin, double zmax) {
  CONNECT(iunit, name_field, "unknown");
  WRITE_FIXED(iunit, kMarkerLayout, {ITEM(std::string_view("DSAA"))});
  WRITE_FREE(iunit, {ITEM(nx), ITEM(ny)});
  WRITE_FREE(iunit, {ITEM(xmin), ITEM(xmax)});
  WRITE_FREE(iunit, {ITEM(ymin), ITEM(ymax)});
  WRITE_FREE(iunit, {ITEM(zmin), ITEM(zmax)});
  if (nx >= 1) SLOTS_BEGIN(g_slots, CONNECTION(iunit), kLineLength);
}

void WRITE_GRD_ROWS(const GridCells& cells, std::int32_t nx, std::int32_t ny, std::int32_t south,
                    std::int32_t north) {
  if (nx < 1) return;
  auto columns = static_cast<std::size_t>(nx);
  std::uint64_t left = std::uint64_t(nx) * std::uint64_t(ny - south + 1);
  for (std::int32_t j = south; j <= north; ++j) WRITE_ROW(g_slots, ROW(cells, j, columns), left);
}

void WRITE_GRD_END(std::int32_t iunit, std::int32_t nx) {
  if (nx >= 1) SLOTS_END(g_slots);
  DISCONNECT(iunit);
}

}  // namespace veldrix

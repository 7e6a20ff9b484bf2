#include "output/grd_writer.hpp"

#include <array>

#include "driver/conversion.hpp"
#include "textio/connection.hpp"
#include "textio/fixed.hpp"
#include "textio/free.hpp"

namespace veldrix {
namespace {

constexpr FieldSpec kMarkerLayout[] = {TEXT(4)};
constexpr FieldSpec kCellLayout[] = {TEXT(14)};
constexpr FieldSpec kCellValue[] = {REAL(14, 8)};
static_assert(LAYOUT_WIDTH(kCellValue, 0) == kBlankCell.size());

void WRITE_ROW(std::int32_t iunit, std::span<const float> row) {
  std::array<char, kBlankCell.size()> work;
  for (const float& cell : row) {
    if (NO_DATA_CELL(cell)) {
      WRITE_FIXED_STR(work, kCellLayout, {ITEM(kBlankCell)});
    } else {
      WRITE_FIXED_STR(work, kCellValue, {ITEM(cell)});
    }
    WRITE_FIXED(iunit, kCellLayout, {ITEM(std::string_view(work.data(), work.size()))});
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
    for (std::int32_t j = 1; j <= ny; ++j) {
      WRITE_ROW(iunit, cells.z.subspan(static_cast<std::size_t>(j - 1) * stride,
                                       static_cast<std::size_t>(nx)));
    }
  }
  DISCONNECT(iunit);
}

}  // namespace veldrix

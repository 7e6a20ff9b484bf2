// The DSAA text grid writer.
#pragma once

#include <cstdint>
#include <string_view>

#include "grid/grid_store.hpp"

namespace veldrix {

// The 14-character text of a blank cell.
inline constexpr std::string_view kBlankCell = "  1.70141e+038";

// Writes "DSAA", the size, the x, y and z ranges, then one 14-character record per cell, the
// southern row first, west to east. A cell that the conversion pass marked as no-data
// (NO_DATA_CELL) is written as the blank value; every other cell as its value in G14.8.
// `nodata` is the file's value, kept beside the cells for callers; the marker decides.
void WRITE_GRD(std::int32_t iunit, std::string_view name_field, std::int32_t nx, std::int32_t ny,
               double xmin, double xmax, double ymin, double ymax, double zmin, double zmax,
               const GridCells& cells, double nodata);

}  // namespace veldrix

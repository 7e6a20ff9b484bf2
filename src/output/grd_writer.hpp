// The DSAA text grid writer.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "grid/grid_store.hpp"
#include "grid/progress.hpp"
#include "textio/files/record_slots.hpp"

namespace veldrix {

// The 14-character text of a blank cell.
inline constexpr std::string_view kBlankCell = "  1.70141e+038";

// What the header hands on to the rows and the end: the slots of the cell records and how many
// the grid has, for the progress line of `phase`.
struct GrdOutput {
  std::unique_ptr<RecordSlots> slots = std::make_unique<RecordSlots>();  // its staging is large
  std::uint64_t records = 0;
  CellPhase* phase = nullptr;
};

// Writes a DSAA grid: "DSAA", the size, the x, y and z ranges (WRITE_GRD_HEAD), then one
// 14-character record per cell, the southern row first, west to east (WRITE_GRD_ROWS, a band of
// rows at a time, south first), then ends the file (WRITE_GRD_END). A cell that the conversion
// marked as no-data (NO_DATA_CELL) is written as the blank value; every other cell as its value
// in G14.8.
void WRITE_GRD_HEAD(GrdOutput& out, CellPhase& phase, std::int32_t iunit,
                    std::string_view name_field, std::int32_t nx, std::int32_t ny, double xmin,
                    double xmax, double ymin, double ymax, double zmin, double zmax);

// The records of rows south to north (from 1, the southern row) of an nx x ny grid.
void WRITE_GRD_ROWS(GrdOutput& out, const GridCells& cells, std::int32_t nx, std::int32_t ny,
                    std::int32_t south, std::int32_t north);

void WRITE_GRD_END(GrdOutput& out, std::int32_t iunit, std::int32_t nx);

}  // namespace veldrix

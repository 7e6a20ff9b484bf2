// The spill file: the converted cells of every band but the southern one, kept on disk from the
// first reading of the input until their records are written, so that the input is read once.
#pragma once

#include <cstdint>
#include <string_view>

#include "grid/grid_store.hpp"

namespace veldrix {

// Where a spill file goes: the folder of the file that the 60-character output field names, the
// disk that is to hold the output. Nothing is opened yet.
void SPILL_BESIDE(SpillFile& spill, std::string_view output_field);

// Whether the file that the output field names would be kept in memory: a regular file, or none
// yet, in a folder on tmpfs or ramfs.
bool OUTPUT_IN_MEMORY(std::string_view output_field);

// Keeps band b (from 1) of an nx x ny grid, as the store holds it after its conversion, in the
// spill file, which the first band opens. Where no spill can be had (not allowed, as by
// VELDRIX_SPILL=0 in the environment, a folder held in memory or without unnamed files, a full
// disk, a file-size limit, no descriptor left beside it for the output) the spill is given up for
// the run: every band is then read again from the input.
void SPILL_BAND(GridCells& cells, std::int32_t b, std::int32_t nx, std::int32_t ny);

// Puts band b back into the store from the spill file and gives its disk space back, the bands
// taken south first; false when the spill does not hold it (given up, or a read of it refused,
// which gives it up).
bool RECALL_BAND(GridCells& cells, std::int32_t b, std::int32_t nx, std::int32_t ny);

}  // namespace veldrix

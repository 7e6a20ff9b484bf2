// The ARC ASCII grid reader.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "grid/grid_store.hpp"
#include "grid/progress.hpp"
#include "textio/files/file_identity.hpp"

namespace veldrix {

// What the first reading does with band b (from 1) of a grid of several bands the moment its rows
// are read and converted, before the store takes the rows of the band south of it.
using BandRead = std::function<void(std::int32_t b)>;

// Reads the grid named by the 60-character field: the six header values by keyword into the
// store, the grid size on the console, the origin moved from the lower-left cell corner to the
// cell centre, the far extents, then every row from the seventh line on, the northern row first,
// each converted by `factor` as it comes, the range widened; `source` is the file that was read,
// as it was at the connect. Each band but the southern one is handed to `band_read` as it is
// read. The store then holds the southern band, and knows where every other band starts. A grid of
// one band is disconnected; any other stays connected for its other bands. Every failure ends the
// run; so does a file that another program changed while it was read (failure 39). The reading of
// the rows starts the cell phase.
void READ_ARC(std::int32_t iunit, std::string_view name_field, float factor, GridStore& g,
              FileIdentity& source, CellPhase& phase, const BandRead& band_read);

// Reads band b (from 1) of the grid into the store again and converts it, after a check that
// the file is still `source`. A file that no longer reads as it did the first time ends the run
// with the read failure report.
void READ_BAND(std::int32_t iunit, float factor, GridStore& g, std::int32_t b,
               const FileIdentity& source);

}  // namespace veldrix

// The ARC ASCII grid reader.
#pragma once

#include <cstdint>
#include <string_view>

#include "grid/grid_store.hpp"
#include "textio/files/file_identity.hpp"

namespace veldrix {

// Loads the grid named by the 60-character field into the store: the six header values by
// keyword, the grid size on the console, the origin moved from the lower-left cell corner to the
// cell centre, the far extents, then the rows from the seventh line on, the northern row first,
// into south-first storage; `source` is the file that was read. Every failure ends the run; so
// does a file that another program rewrote while it was read (failure 39).
void READ_ARC(std::int32_t iunit, std::string_view name_field, std::int32_t& nx, std::int32_t& ny,
              double& xmin, double& xmax, double& ymin, double& ymax, double& nodata,
              GridCells& cells, FileIdentity& source);

}  // namespace veldrix

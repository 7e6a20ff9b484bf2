// How far the cell phase (the rows read, then the cell records written) has come, on one line of
// the error stream when it is a terminal.
#pragma once

#include <cstdint>
#include <string_view>

namespace veldrix {

// Starts the clock of the cell phase, the first time only. The line is due once the phase has
// taken more than two seconds (VELDRIX_PROGRESS_AFTER in the environment: another delay in
// milliseconds, for the tests).
void START_CELL_PHASE();

// Shows "<percent>% of the <what>" for `done` of `total`, once the line is due and whenever the
// percent or the text has changed since it was last shown.
void SHOW_HOW_FAR(std::string_view what, std::uint64_t done, std::uint64_t total);

}  // namespace veldrix

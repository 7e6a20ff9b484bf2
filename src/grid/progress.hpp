// How far the cell phase (the rows read, then the cell records written) has come, on one line of
// the error stream when it is a terminal.
#pragma once

#include <cstdint>
#include <string_view>

namespace veldrix {

// The cell phase of a run, which the reader starts and the writer ends.
struct CellPhase {
  double start = -1;   // seconds on the monotonic clock; not started
  double after = 2.0;  // how long the phase runs before the line is due
  int percent = -1;    // what was last shown
  std::string_view what;
};

// Starts the clock of the cell phase, the first time only.
void START_CELL_PHASE(CellPhase& p);

// Shows "<percent>% of the <what>" for `done` of `total`, once the line is due and whenever the
// percent or the text has changed since it was last shown.
void SHOW_HOW_FAR(CellPhase& p, std::string_view what, std::uint64_t done, std::uint64_t total);

}  // namespace veldrix

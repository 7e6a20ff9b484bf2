// The environment switches of a run, read once at its start.
#pragma once

#include <cstdint>
#include <span>

namespace veldrix {

// What each switch sets, its value when unset. A value that does not parse as the table in the
// README says is ignored: the run goes on as if the switch were unset.
struct RunSettings {
  // VELDRIX_BAND_BYTES: a positive count. Large enough that a grid of 2501 x 2501 cells is read
  // once, small enough that the run's resident memory stays far below 64 MiB; tests lower it so
  // that a small grid takes several bands.
  std::uint64_t band_bytes = std::uint64_t{32} << 20;
  bool spill = true;            // VELDRIX_SPILL: 0 or 1
  bool read_on_cores = true;    // VELDRIX_READ_ON_CORES: 0 or 1
  double progress_after = 2.0;  // VELDRIX_PROGRESS_AFTER: milliseconds, held in seconds
};

// The settings of an environment of "NAME=value" entries; of a name given twice the first entry
// counts, as for getenv(3).
RunSettings SETTINGS_FROM(std::span<const char* const> environment);

// The settings of this process's environment.
RunSettings READ_SETTINGS();

}  // namespace veldrix

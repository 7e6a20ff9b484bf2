// The cores the work on the cells may run on.
#pragma once

#include <cstddef>

#include "textio/ending/open_files.hpp"

namespace veldrix {

// The most threads that share the work on the cells: one filling run of the output each.
inline constexpr std::size_t kMaxCores = kMaxRuns;

// The cores this process may run on (its affinity), at most kMaxCores; read once.
std::size_t CORES();

// Does work(i, context) for every i below parts (at most kMaxCores) at once: part 0 on the
// calling thread, every other on a thread of its own that leaves console events and requests to
// end to the main thread; a part whose thread cannot be started is done on the calling thread.
// Returns when every part is done.
void ON_CORES(std::size_t parts, void (*work)(std::size_t part, void* context), void* context);

}  // namespace veldrix

// The work on the cells shared among the cores: the writer's records in runs of slots, one run a
// thread (record_slots.hpp), and the reader's second reading of a band in parts, one part a
// thread. Both share by the same rule (SHARES): a thread for every kLeastShare cells, at most one
// a core. kMaxCores is defined in the ending floor, beside the runs' progress that it counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "textio/ending/open_files.hpp"

namespace veldrix {

// The cores this process may run on (its affinity), at most kMaxCores; read once.
std::size_t CORES();

// A thread's share of the cells: fewer would cost more to start than they save.
inline constexpr std::size_t kLeastShare = 16384;

// How many threads share `cells` cells: one for every kLeastShare of them, at most CORES(),
// at least 1 (the calling thread alone).
std::size_t SHARES(std::uint64_t cells);

// Of `items` shared among `shares`: where share i starts (SHARE_START(shares, ...) is `items`),
// and the share of item k. Each share holds items / shares, rounded down or up.
inline std::int64_t SHARE_START(std::int64_t i, std::int64_t items, std::int64_t shares) {
  return i * items / shares;
}
inline std::int64_t SHARE_OF(std::int64_t k, std::int64_t items, std::int64_t shares) {
  return ((k + 1) * shares - 1) / items;
}

// Does work(i) for every i below parts (at most kMaxCores) at once: part 0 on the calling thread,
// every other on a thread of its own that leaves console events and requests to end to the main
// thread; a part whose thread cannot be started is done on the calling thread. Returns when every
// part is done.
void ON_CORES(std::size_t parts, const std::function<void(std::size_t part)>& work);

}  // namespace veldrix

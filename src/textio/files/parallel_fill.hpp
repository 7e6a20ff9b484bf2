// The work on the cells shared among the cores: the writer's records in runs of slots, one run a
// thread, and the reader's second reading of a band in parts, one part a thread. Both share by
// the same rule (SHARES): a thread for every kLeastShare cells, at most one a core.
//
// The progress of the runs sits in the ending floor (FillingRun in ending/open_files.hpp), not
// here: every way the run ends, a signal handler among them, trims the output to its completed
// records, and what a handler reads must be there, in signal-safe words, before any of this
// starts. This file only sets those words; kMaxCores, their count, is defined beside them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "textio/ending/open_files.hpp"
#include "textio/files/record_slots.hpp"

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

// A run of mapped slots that one thread fills while other threads fill the runs after it: the
// slots [next, limit), the progress of the run's entry in the open files.
struct SlotRun {
  char* next = nullptr;
  char* limit = nullptr;
  std::size_t length = 0;
  std::atomic<std::int64_t>* done = nullptr;
};

// Splits the next n slots handed out (mapped ones, n at most what SLOTS_MORE handed out) into
// runs.size() runs (at most kMaxCores) as SHARE_START splits them, to be filled at once; from now
// on every ending keeps the records of the runs as far as they are all complete from the first.
void SLOTS_SPLIT(RecordSlots& s, std::size_t n, std::span<SlotRun> runs);

// The record in the run's slot at r.next is complete.
inline void RUN_SLOT_DONE(SlotRun& r) {
  r.next += r.length;
  r.done->store(r.done->load(std::memory_order_relaxed) + static_cast<std::int64_t>(r.length),
                std::memory_order_release);
}

// Every run of the split is filled (their threads have ended): the n slots count as done.
void SLOTS_JOINED(RecordSlots& s, std::size_t n);

}  // namespace veldrix

#include "textio/files/parallel_fill.hpp"

#include <algorithm>
#include <array>

#include "os/os.hpp"
#include "textio/files/connection.hpp"

namespace veldrix {
namespace {

struct Part {
  const std::function<void(std::size_t)>* work;
  std::size_t index;
};

void ON_HELPER(void* part) {
  const Part& p = *static_cast<const Part*>(part);
  (*p.work)(p.index);
}

}  // namespace

std::size_t CORES() { return std::clamp<std::size_t>(OS_CORES(), 1, kMaxCores); }

std::size_t SHARES(std::uint64_t cells) {
  return static_cast<std::size_t>(std::clamp<std::uint64_t>(cells / kLeastShare, 1, CORES()));
}

void ON_CORES(std::size_t parts, const std::function<void(std::size_t)>& work) {
  parts = std::min(parts, kMaxCores);
  std::array<Part, kMaxCores> each;
  std::array<Worker, kMaxCores> helpers;
  std::array<bool, kMaxCores> started{};
  for (std::size_t i = 1; i < parts; ++i) {
    each[i] = {&work, i};
    helpers[i] = {ON_HELPER, &each[i]};
    started[i] = OS_START_WORKER(helpers[i]);
  }
  work(0);
  for (std::size_t i = 1; i < parts; ++i) {
    if (!started[i]) work(i);
  }
  for (std::size_t i = 1; i < parts; ++i) {
    if (started[i]) OS_JOIN_WORKER(helpers[i]);
  }
}

void SLOTS_SPLIT(RecordSlots& s, std::size_t n, std::span<SlotRun> runs) {
  FillingRun* entries = FILE_OF(*s.c).runs;
  auto parts = static_cast<std::int64_t>(std::min(runs.size(), kMaxCores));
  auto length = static_cast<std::int64_t>(s.length);
  for (std::int64_t i = 0; i < static_cast<std::int64_t>(kMaxCores); ++i) {
    FillingRun& e = entries[i];
    // Out of use while it changes, so that no ending counts a stale run's progress.
    e.start.store(-1, std::memory_order_release);
    if (i >= parts) continue;
    auto items = static_cast<std::int64_t>(n);
    std::int64_t from = SHARE_START(i, items, parts) * length;
    std::int64_t to = SHARE_START(i + 1, items, parts) * length;
    e.done.store(0, std::memory_order_relaxed);
    e.end.store(s.done + to, std::memory_order_relaxed);
    e.start.store(s.done + from, std::memory_order_release);
    runs[static_cast<std::size_t>(i)] = {s.next + from, s.next + to, s.length, &e.done};
  }
}

void SLOTS_JOINED(RecordSlots& s, std::size_t n) {
  s.next += n * s.length;
  s.done += static_cast<std::int64_t>(n * s.length);
  s.kept->store(s.done, std::memory_order_release);
}

}  // namespace veldrix

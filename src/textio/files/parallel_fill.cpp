#include "textio/files/parallel_fill.hpp"

#include <algorithm>
#include <array>

#include "os/os.hpp"

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

}  // namespace veldrix

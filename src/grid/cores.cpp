#include "grid/cores.hpp"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <array>

#include "textio/ending/interrupt.hpp"

namespace veldrix {
namespace {

struct Part {
  void (*work)(std::size_t, void*);
  void* context;
  std::size_t index;
};

void* ON_HELPER(void* part) {
  LEAVE_ENDING_SIGNALS();
  const Part& p = *static_cast<const Part*>(part);
  p.work(p.index, p.context);
  return nullptr;
}

}  // namespace

std::size_t CORES() {
  static const std::size_t cores = [] {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0) return std::size_t{1};
    return std::clamp<std::size_t>(static_cast<std::size_t>(CPU_COUNT(&set)), 1, kMaxCores);
  }();
  return cores;
}

void ON_CORES(std::size_t parts, void (*work)(std::size_t, void*), void* context) {
  parts = std::min(parts, kMaxCores);
  std::array<Part, kMaxCores> each;
  std::array<pthread_t, kMaxCores> helpers;
  std::array<bool, kMaxCores> started{};
  for (std::size_t i = 1; i < parts; ++i) {
    each[i] = {work, context, i};
    started[i] = ::pthread_create(&helpers[i], nullptr, ON_HELPER, &each[i]) == 0;
  }
  work(0, context);
  for (std::size_t i = 1; i < parts; ++i) {
    if (!started[i]) work(i, context);
  }
  for (std::size_t i = 1; i < parts; ++i) {
    if (started[i]) ::pthread_join(helpers[i], nullptr);
  }
}

}  // namespace veldrix

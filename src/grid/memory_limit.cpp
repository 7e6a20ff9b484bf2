#include "grid/memory_limit.hpp"

#include <algorithm>

#include "os/os.hpp"

namespace veldrix {

std::uint64_t RESIDENT_BYTES() { return OS_RESIDENT_BYTES(); }

std::uint64_t MEMORY_LIMIT() {
  MemoryFacts facts = OS_MEMORY();
  return std::min({facts.machine, facts.group, facts.process});
}

std::uint64_t MEMORY_FOR_FILES() {
  MemoryFacts facts = OS_MEMORY();
  return std::min(facts.machine, facts.group);
}

}  // namespace veldrix

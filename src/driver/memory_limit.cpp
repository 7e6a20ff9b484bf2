#include "driver/memory_limit.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <span>

namespace veldrix {
namespace {

constexpr std::uint64_t kNoLimit = UINT64_MAX;

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

bool HAS_MEMORY(std::string_view controllers) {
  while (!controllers.empty()) {
    std::size_t comma = controllers.find(',');
    if (controllers.substr(0, comma) == "memory") return true;
    controllers = comma == std::string_view::npos ? "" : controllers.substr(comma + 1);
  }
  return false;
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

bool CGROUP_LIMIT_FILE(std::string_view self_cgroup, CgroupLimitFile& where) {
  bool unified = false;
  while (!self_cgroup.empty()) {
    std::size_t end = self_cgroup.find('\n');
    std::string_view line = self_cgroup.substr(0, end);
    self_cgroup = end == std::string_view::npos ? "" : self_cgroup.substr(end + 1);
    std::size_t first = line.find(':');
    std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos || line.size() == second + 1) continue;
    std::string_view controllers = line.substr(first + 1, second - first - 1);
    std::string path(line.substr(second + 1));
    if (HAS_MEMORY(controllers)) {
      where = {"/sys/fs/cgroup/memory", path, "memory.limit_in_bytes"};
      return true;
    }
    if (line.substr(0, first) != "0" || !controllers.empty() || unified) continue;
    where = {"/sys/fs/cgroup", path, "memory.max"};
    unified = true;
  }
  return unified;
}

std::uint64_t LIMIT_VALUE(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  std::uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return kNoLimit;
  return value;
}

std::uint64_t MEMORY_LIMIT() {
  return std::min(
      {PHYSICAL_MEMORY(), CGROUP_LIMIT(), RESOURCE_LIMIT(RLIMIT_AS), RESOURCE_LIMIT(RLIMIT_DATA)});
}

}  // namespace veldrix

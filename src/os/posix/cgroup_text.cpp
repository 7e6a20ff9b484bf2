#include "os/posix/cgroup_text.hpp"

#include <charconv>

namespace veldrix {
namespace {

bool HAS_MEMORY(std::string_view controllers) {
  while (!controllers.empty()) {
    std::size_t comma = controllers.find(',');
    if (controllers.substr(0, comma) == "memory") return true;
    controllers = comma == std::string_view::npos ? "" : controllers.substr(comma + 1);
  }
  return false;
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

}  // namespace veldrix

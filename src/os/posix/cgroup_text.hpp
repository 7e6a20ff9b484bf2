// What the system's texts say about a memory cgroup: where it keeps its limit, and the limit a
// limit file holds. Texts in, values out; the memory limit reads the files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "os/os.hpp"

namespace veldrix {

// Where a memory cgroup keeps its limit: the file in root + path, and in the folders above it up
// to root.
struct CgroupLimitFile {
  std::string_view root;
  std::string path;  // the cgroup below root, "/" for root itself
  std::string_view file;
};

// Reads the text of /proc/self/cgroup. A hierarchy of the memory controller's own (cgroup v1)
//   "4:memory:/a/b"  -> /sys/fs/cgroup/memory, /a/b, memory.limit_in_bytes
// comes before the unified hierarchy (cgroup v2)
//   "0::/a/b"        -> /sys/fs/cgroup, /a/b, memory.max
// False when neither is there.
bool CGROUP_LIMIT_FILE(std::string_view self_cgroup, CgroupLimitFile& where);

// A limit file's value: a count of bytes; "max", or anything that is not a count, is no limit.
std::uint64_t LIMIT_VALUE(std::string_view text);

}  // namespace veldrix

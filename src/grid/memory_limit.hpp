// How much memory this process may take, from every limit that can end it.
#pragma once

#include <cstdint>

namespace veldrix {

// The least of the machine's physical memory, the limit of the process's memory cgroup and of
// every cgroup above it, RLIMIT_AS and RLIMIT_DATA. A store beyond it would be killed by the
// system as it fills, with no word from the program.
std::uint64_t MEMORY_LIMIT();

// The least of the machine's physical memory and the limits of the process's memory cgroups: what
// a file in a folder held in memory (tmpfs, ramfs) may take, its pages charged to the cgroup of
// the process that writes them, where they cannot be reclaimed. The process's own resource limits
// do not count them.
std::uint64_t MEMORY_FOR_FILES();

// The bytes this process holds in memory now, its resident set (from /proc/self/statm); 0 where
// that cannot be read.
std::uint64_t RESIDENT_BYTES();

}  // namespace veldrix

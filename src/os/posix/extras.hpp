// What Linux offers beyond POSIX, each with a portable path: linux_extras.cpp has the calls,
// portable_extras.cpp the twin that any POSIX system builds (VELDRIX_LINUX_EXTRAS picks one).
// Inside the floor only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "os/os.hpp"

namespace veldrix {

// Reserves the blocks of [at, at + bytes), growing the file to its end. kGrown (nothing done)
// where the file system or the platform cannot reserve; kRefused with errno set.
Room RESERVE_BLOCKS(int fd, std::int64_t at, std::int64_t bytes);

// Makes the pages of [at, at + bytes) writable in one call; false where that fails or is not
// offered.
bool POPULATE(void* at, std::size_t bytes);

// Asks for large pages behind anonymous memory [at, at + bytes); nothing where not offered.
void LARGE_PAGES(void* at, std::size_t bytes);

// A read-write file in the folder with no name, or -1 (errno set).
int OPEN_NAMELESS(const char* folder);

// Whether a folder's file system keeps its files in memory, or may.
struct FolderKind {
  bool in_memory = false;
  bool may_be_in_memory = false;
};
FolderKind FOLDER_KIND(const char* folder);

// The least limit of the process's memory cgroups; kNoLimit where there is none or none is known.
std::uint64_t GROUP_LIMIT();

// The process's resident bytes; 0 where they cannot be told.
std::uint64_t RESIDENT();

// The cores the process may run on; 0 where that cannot be told.
std::size_t AFFINITY();

// The calling thread, as a number that is never 0. Async-signal-safe.
std::uintptr_t THREAD_KEY();

// A second read-only descriptor of the same open file with its own position, or -1.
int REOPEN(int fd);

}  // namespace veldrix

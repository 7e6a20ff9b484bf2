// The twins of the Linux calls behind extras.hpp, in POSIX alone: what a macOS or BSD build
// runs, and what the portable preset tests on Linux.
#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <string>

#include "os/posix/extras.hpp"

namespace veldrix {

// Nothing reserves blocks here, and a file grown without them would meet a full disk as a fault
// on a page: the records go out through write(), which meets it as a refused write.
Room RESERVE_BLOCKS(int, std::int64_t, std::int64_t) {
  errno = EOPNOTSUPP;
  return Room::kRefused;
}

bool POPULATE(void*, std::size_t) { return false; }

void LARGE_PAGES(void*, std::size_t) {}

// A unique name, taken away at once: the file lives on in its descriptor alone.
int OPEN_NAMELESS(const char* folder) {
  std::string name = std::string(folder) + "/.veldrix-spill-XXXXXX";
  int fd = ::mkstemp(name.data());
  if (fd < 0) return -1;
  if (::unlink(name.c_str()) != 0 || ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
    int refused = errno;
    ::unlink(name.c_str());
    ::close(fd);
    errno = refused;
    return -1;
  }
  return fd;
}

FolderKind FOLDER_KIND(const char*) { return {}; }  // taken as a disk

std::uint64_t GROUP_LIMIT() { return kNoLimit; }

std::uint64_t RESIDENT() { return 0; }

std::size_t AFFINITY() { return 0; }

// The parts of a band are then read in turn through the one handle.
int REOPEN(int) {
  errno = ENOSYS;
  return -1;
}

std::uintptr_t THREAD_KEY() { return std::bit_cast<std::uintptr_t>(::pthread_self()); }

}  // namespace veldrix

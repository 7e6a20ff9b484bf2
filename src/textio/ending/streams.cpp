#include "textio/ending/streams.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace veldrix {

void OPEN_STANDARD_STREAMS() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    int access = fd == STDIN_FILENO ? O_RDONLY : O_WRONLY;
    int opened = ::open("/dev/null", access);
    // Without /dev/null the descriptor is still taken, by a folder that refuses reads and writes.
    if (opened < 0) opened = ::open("/", O_RDONLY | O_DIRECTORY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

}  // namespace veldrix

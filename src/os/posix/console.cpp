// The console streams, and the one-call reads and writes that serve them and the files alike.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "os/os.hpp"

namespace veldrix {

FileHandle OS_STREAM(Stream stream) {
  switch (stream) {
    case Stream::kInput: return STDIN_FILENO;
    case Stream::kOutput: return STDOUT_FILENO;
    case Stream::kError: return STDERR_FILENO;
  }
  return kNoFile;
}

void OS_OPEN_MISSING_STREAMS() {
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

bool OS_IS_TERMINAL(FileHandle stream) { return ::isatty(static_cast<int>(stream)) == 1; }

std::size_t OS_TERMINAL_WIDTH(FileHandle stream) {
  winsize size = {};
  if (::ioctl(static_cast<int>(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

OsError OS_PIPE(FileHandle& read_end, FileHandle& write_end) {
  int fds[2];
  if (::pipe(fds) != 0) return errno;
  read_end = fds[0];
  write_end = fds[1];
  return 0;
}

OsError OS_READ(FileHandle file, std::span<char> into, std::size_t& got) {
  got = 0;
  ssize_t n = ::read(static_cast<int>(file), into.data(), into.size());
  if (n < 0) return errno;
  got = static_cast<std::size_t>(n);
  return 0;
}

OsError OS_WRITE_ALL(FileHandle file, std::string_view bytes, std::size_t& written,
                     bool (*abandon)()) {
  written = 0;
  while (written < bytes.size()) {
    ssize_t n = ::write(static_cast<int>(file), bytes.data() + written, bytes.size() - written);
    if (n >= 0) {
      written += static_cast<std::size_t>(n);
      continue;
    }
    if (errno != EINTR) return errno;
    if (written == 0 && abandon != nullptr && abandon()) return kWriteAbandoned;
  }
  return 0;
}

}  // namespace veldrix

#include "textio/lines/record_output.hpp"

#include <unistd.h>

#include <cerrno>

#include "textio/ending/interrupt.hpp"

namespace veldrix {

int WRITE_ALL(int fd, std::string_view bytes, std::size_t& written) {
  written = 0;
  while (written < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n >= 0) {
      written += static_cast<std::size_t>(n);
      continue;
    }
    if (errno != EINTR) return errno;
    if (written == 0 && INTERRUPT_PENDING()) return kWriteAbandoned;
  }
  return 0;
}

}  // namespace veldrix

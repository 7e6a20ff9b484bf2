#include "textio/ending/error_stream.hpp"

#include <unistd.h>

#include <algorithm>

namespace veldrix {

void ERROR_WRITE(std::initializer_list<std::string_view> parts, std::string_view line_end) {
  char line[kErrorLineMax];
  std::size_t n = 0;
  auto put = [&](std::string_view part, std::size_t room) {
    std::size_t k = std::min(part.size(), room - n);
    std::copy_n(part.begin(), k, line + n);
    n += k;
  };
  for (std::string_view part : parts) put(part, sizeof line - line_end.size());
  put(line_end, sizeof line);
  ssize_t ignored = ::write(STDERR_FILENO, line, n);
  (void)ignored;
}

}  // namespace veldrix

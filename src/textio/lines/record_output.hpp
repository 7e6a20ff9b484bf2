// Records on their way out: the buffer a record is built in, and the one write() that hands a
// finished record to the system.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "os/os.hpp"

namespace veldrix {

// The longest record the layer builds; two more bytes hold its line end.
inline constexpr std::size_t kRecordMax = 254;

struct RecordBuffer {
  std::array<char, kRecordMax + 2> bytes;
  std::size_t length = 0;
};

// Writes bytes to a descriptor with one write() when the system takes them whole, going on after
// short writes and EINTR. Returns 0, kWriteAbandoned, or the errno of the refusal; `written`
// tells how many bytes are out.
int WRITE_ALL(int fd, std::string_view bytes, std::size_t& written);

}  // namespace veldrix

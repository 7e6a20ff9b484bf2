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

// Writes bytes to a file or stream with one write when the system takes them whole, going on
// after short and interrupted writes. Returns 0, kWriteAbandoned (a console event waits and
// nothing of the bytes is out yet), or the system's refusal; `written` tells how many bytes are
// out.
OsError WRITE_ALL(FileHandle file, std::string_view bytes, std::size_t& written);

}  // namespace veldrix

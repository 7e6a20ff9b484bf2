#include "textio/lines/record_output.hpp"

#include "textio/ending/interrupt.hpp"

namespace veldrix {
namespace {

bool EVENT_WAITS() { return INTERRUPT_PENDING(); }

}  // namespace

OsError WRITE_ALL(FileHandle file, std::string_view bytes, std::size_t& written) {
  return OS_WRITE_ALL(file, bytes, written, EVENT_WAITS);
}

}  // namespace veldrix

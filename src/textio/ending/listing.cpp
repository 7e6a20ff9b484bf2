#include "textio/ending/listing.hpp"

#include <algorithm>
#include <cstdint>
#include <span>

#include "os/os.hpp"
#include "textio/ending/error_stream.hpp"

namespace veldrix {
namespace {

// One frame line: image (cut to 17), the address as its offset in that image (8 hex digits), and
// "Unknown" in the routine, line and source columns; ends with CR LF. Returns its length.
//   ("veldrix", 0x1A2B) ->
//     "veldrix            00001A2B  Unknown               Unknown  Unknown\r\n"
std::size_t FRAME_LINE(std::string_view image, std::size_t offset, std::span<char> out) {
  // After the address, in the header's fields: the rest of PC's 10 columns, Routine's 19 (the
  // word on the left), Line's 12 (the word ending two columns short of its end), the source.
  constexpr std::string_view kTail = "  Unknown               Unknown  Unknown\r\n";
  static_assert(kTail.size() == (10 - 8) + 19 + 12 + 7 + 2);
  constexpr std::size_t kLength = 19 + 8 + kTail.size();  // Image's field, the address
  if (out.size() < kLength) return 0;
  std::fill_n(out.begin(), 19, ' ');
  std::copy_n(image.begin(), std::min<std::size_t>(image.size(), 17), out.begin());
  constexpr char kHex[] = "0123456789ABCDEF";
  auto address = static_cast<std::uint32_t>(offset);
  for (int i = 0; i < 8; ++i) out[19 + 7 - i] = kHex[(address >> (4 * i)) & 0xF];
  std::copy(kTail.begin(), kTail.end(), out.begin() + 27);
  return kLength;
}

}  // namespace

void PREPARE_LISTING() { OS_PREPARE_CALL_STACK(); }

void WRITE_LISTING() {
  ERROR_WRITE({kListingHeader});
  StackFrame frames[kListingFrames];
  // The listing starts with the routine that reported.
  std::size_t count = OS_CALL_STACK(frames, 0);
  for (std::size_t i = 0; i < count; ++i) {
    char line[96];
    ERROR_WRITE({std::string_view(line, FRAME_LINE(frames[i].image, frames[i].offset, line))});
  }
}

}  // namespace veldrix

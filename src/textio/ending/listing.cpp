#include "textio/ending/listing.hpp"

#include <dlfcn.h>
#include <execinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <span>

#include "textio/ending/error_stream.hpp"

namespace veldrix {
namespace {

std::string_view BASENAME(const char* path) {
  std::string_view p = path != nullptr ? path : "";
  std::size_t slash = p.rfind('/');
  if (slash != std::string_view::npos) p.remove_prefix(slash + 1);
  return p.empty() ? std::string_view("Unknown") : p;
}

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

void PREPARE_LISTING() {
  void* frames[4];
  (void)::backtrace(frames, 4);
}

void WRITE_LISTING() {
  ERROR_WRITE({kListingHeader});
  void* frames[kListingFrames + 1];
  int count = ::backtrace(frames, static_cast<int>(kListingFrames + 1));
  // frames[0] is this routine; the listing starts with the routine that reported.
  for (int i = 1; i < count; ++i) {
    auto pc = reinterpret_cast<std::uintptr_t>(frames[i]);
    Dl_info info = {};
    std::string_view image = "Unknown";
    if (::dladdr(frames[i], &info) != 0) {
      image = BASENAME(info.dli_fname);
      pc -= reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    }
    char line[96];
    ERROR_WRITE({std::string_view(line, FRAME_LINE(image, pc, line))});
  }
}

}  // namespace veldrix

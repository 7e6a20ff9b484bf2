// The call-stack listing that follows a failure report.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace veldrix {

inline constexpr std::size_t kListingFrames = 20;

// The header line: Image, PC, Routine, Line, Source in fields of 19, 10, 19, 12, 19 columns.
inline constexpr std::string_view kListingHeader =
    "Image              PC        Routine            Line        Source             \r\n";
static_assert(kListingHeader.size() == 79 + 2);

// Loads what backtrace() needs ahead of time, so that a failure never has to.
void PREPARE_LISTING();

// One frame line: image (cut to 17), the address as its offset in that image (8 hex digits), and
// "Unknown" in the routine, line and source columns; ends with CR LF. Returns its length.
//   ("veldrix", 0x1A2B) -> "veldrix            00001A2B  Unknown               Unknown Unknown\r\n"
std::size_t FRAME_LINE(std::string_view image, std::size_t offset, std::span<char> out);

// Writes the header and at most kListingFrames frame lines, innermost first.
void WRITE_LISTING(int fd);

}  // namespace veldrix

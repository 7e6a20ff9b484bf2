// The call-stack listing that follows a failure report.
#pragma once

#include <cstddef>
#include <string_view>

namespace veldrix {

inline constexpr std::size_t kListingFrames = 20;

// The header line: Image, PC, Routine, Line, Source in fields of 19, 10, 19, 12, 19 columns.
inline constexpr std::string_view kListingHeader =
    "Image              PC        Routine            Line        Source             \r\n";
static_assert(kListingHeader.size() == 79 + 2);

// Loads what backtrace() needs ahead of time, so that a failure never has to.
void PREPARE_LISTING();

// Writes the header and at most kListingFrames frame lines, innermost first, on the error stream.
void WRITE_LISTING();

}  // namespace veldrix

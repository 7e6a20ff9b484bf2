// The one writer of the error stream: failure reports and their listings, the interrupt lines
// and the messages of a stop all go out through it.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>

namespace veldrix {

// The longest line it writes; a longer one is cut.
inline constexpr std::size_t kErrorLineMax = 640;

// Writes the parts and the line end, joined, in one write(): a line is never split between two
// writers. A refused write is ignored: there is nowhere left to report it. Async-signal-safe.
void ERROR_WRITE(std::initializer_list<std::string_view> parts, std::string_view line_end = {});

// A line that tells how far a long run has come, on a terminal only (nothing when the error
// stream is not one): written over the one before it, and erased (blanks over it, the cursor
// back at its start) before anything else is written here and when the run ends, so that the
// screen ends as it would have without it. Cut to one column fewer than the terminal's width
// (never wrapped onto a second row), none where not even its first word fits; at most
// kErrorLineMax characters.
void SHOW_PROGRESS(std::string_view text);

// Erases the progress line, if one is shown. Async-signal-safe.
void ERASE_PROGRESS();

}  // namespace veldrix

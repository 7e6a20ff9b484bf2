#include "textio/ending/error_stream.hpp"

#include <algorithm>
#include <atomic>

#include "os/os.hpp"

namespace veldrix {

namespace {

// The length of the progress line on the screen; set before the line is written, so that an
// ending that comes meanwhile blanks at least as much as is there.
std::atomic<std::size_t> g_progress_shown{0};
static_assert(std::atomic<std::size_t>::is_always_lock_free, "read in signal handlers");

void WRITE_BYTES(const char* bytes, std::size_t n) {
  std::size_t written = 0;
  (void)OS_WRITE_ALL(OS_STREAM(Stream::kError), {bytes, n}, written);
}

// The columns a line may take on the terminal and stay one row: one fewer than its width, so the
// cursor never passes its edge; 80 where the terminal does not tell its width.
std::size_t LINE_ROOM() {
  std::size_t columns = OS_TERMINAL_WIDTH(OS_STREAM(Stream::kError));
  if (columns == 0) columns = 80;
  return std::min(columns - 1, kErrorLineMax);
}

}  // namespace

void SHOW_PROGRESS(std::string_view text) {
  static const bool terminal = OS_IS_TERMINAL(OS_STREAM(Stream::kError));
  if (!terminal) return;
  std::size_t room = LINE_ROOM();
  if (text.substr(0, text.find(' ')).size() > room) {  // not even its first word fits: no line
    ERASE_PROGRESS();
    return;
  }
  char line[kErrorLineMax + 1];
  std::size_t shown = g_progress_shown.load();
  std::size_t n = std::min(text.size(), room);
  // Blanks over the rest of a longer line before, as far as the terminal's width lets them.
  std::size_t width = std::min(std::max(n, shown), room);
  line[0] = '\r';
  std::copy_n(text.begin(), n, line + 1);
  std::fill(line + 1 + n, line + 1 + width, ' ');
  g_progress_shown.store(width);
  WRITE_BYTES(line, 1 + width);
}

void ERASE_PROGRESS() {
  std::size_t shown = g_progress_shown.load();
  if (shown == 0) return;
  char line[kErrorLineMax + 2];
  line[0] = '\r';
  std::fill(line + 1, line + 1 + shown, ' ');
  line[shown + 1] = '\r';
  WRITE_BYTES(line, shown + 2);
  g_progress_shown.store(0);
}

void ERROR_WRITE(std::initializer_list<std::string_view> parts, std::string_view line_end) {
  ERASE_PROGRESS();
  char line[kErrorLineMax];
  std::size_t n = 0;
  auto put = [&](std::string_view part, std::size_t room) {
    std::size_t k = std::min(part.size(), room - n);
    std::copy_n(part.begin(), k, line + n);
    n += k;
  };
  for (std::string_view part : parts) put(part, sizeof line - line_end.size());
  put(line_end, sizeof line);
  WRITE_BYTES(line, n);
}

}  // namespace veldrix

#include "grid/progress.hpp"

#include <algorithm>
#include <charconv>

#include "os/os.hpp"
#include "textio/ending/error_stream.hpp"

namespace veldrix {

void START_CELL_PHASE(CellPhase& p) {
  if (p.start < 0) p.start = OS_SECONDS();
}

void SHOW_HOW_FAR(CellPhase& p, std::string_view what, std::uint64_t done, std::uint64_t total) {
  if (total == 0 || p.start < 0 || OS_SECONDS() - p.start < p.after) return;
  int percent = static_cast<int>(std::min(done, total) * 100 / total);
  if (percent == p.percent && what == p.what) return;
  p.percent = percent;
  p.what = what;
  char line[kErrorLineMax];
  char* end = std::to_chars(line, line + 4, percent).ptr;
  constexpr std::string_view kOf = "% of the ";
  end = std::copy(kOf.begin(), kOf.end(), end);
  std::size_t room = static_cast<std::size_t>(line + sizeof line - end);
  end = std::copy_n(what.begin(), std::min(what.size(), room), end);
  SHOW_PROGRESS({line, static_cast<std::size_t>(end - line)});
}

}  // namespace veldrix

#include "driver/usage.hpp"

#include <string_view>

#include "textio/ending/failure.hpp"
#include "textio/files/connection.hpp"
#include "textio/lines/record_output.hpp"

namespace veldrix {
namespace {

constexpr std::string_view kUsage =
    "Usage: veldrix\n"
    "       veldrix --help | --version\n"
    "\n"
    "Converts one ARC ASCII grid into a DSAA text grid. It asks three questions,\n"
    "one answer a line:\n"
    "  the input file name (at most 60 bytes; a longer one is cut),\n"
    "  the output .grd file name (the same),\n"
    "  the conversion factor every valid cell is multiplied by.\n"
    "The answers can come from a pipe:\n"
    "\n"
    "    printf 'dem.asc\\ndem.grd\\n0.3048\\n' | veldrix\n"
    "\n"
    "Arguments other than a lone --help or --version are ignored: the questions\n"
    "are asked as usual. The manual page: man veldrix\n";

constexpr std::string_view kVersion = "veldrix " VELDRIX_VERSION "\n";

}  // namespace

void ANSWER_OPTION(std::span<char* const> arguments) {
  if (arguments.size() != 2) return;
  std::string_view option = arguments[1];
  if (option != "--help" && option != "--version") return;
  std::size_t written = 0;
  OsError error =
      WRITE_ALL(OS_STREAM(Stream::kOutput), option == "--help" ? kUsage : kVersion, written);
  if (error > 0) FAIL_IO(kWriteError, kConsoleOutput, CONNECTION(kConsoleOutput).name(), error);
  NORMAL_END();
}

}  // namespace veldrix

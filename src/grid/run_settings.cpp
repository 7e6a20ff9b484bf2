#include "grid/run_settings.hpp"

#include <charconv>
#include <cmath>
#include <string_view>

#include "os/os.hpp"

namespace veldrix {
namespace {

// The whole text as a number of type T, or false.
template <typename T>
bool WHOLE_NUMBER(std::string_view text, T& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

void SET_BAND_BYTES(std::string_view text, RunSettings& s) {
  std::uint64_t bytes = 0;
  if (WHOLE_NUMBER(text, bytes) && bytes > 0) s.band_bytes = bytes;
}

void SET_SPILL(std::string_view text, RunSettings& s) {
  if (text == "0" || text == "1") s.spill = text == "1";
}

void SET_READ_ON_CORES(std::string_view text, RunSettings& s) {
  if (text == "0" || text == "1") s.read_on_cores = text == "1";
}

void SET_PROGRESS_AFTER(std::string_view text, RunSettings& s) {
  double milliseconds = 0;
  if (WHOLE_NUMBER(text, milliseconds) && std::isfinite(milliseconds) && milliseconds >= 0) {
    s.progress_after = milliseconds / 1000.0;
  }
}

struct Switch {
  std::string_view name;
  void (*set)(std::string_view text, RunSettings& s);
};

constexpr Switch kSwitches[] = {{"VELDRIX_BAND_BYTES", SET_BAND_BYTES},
                                {"VELDRIX_SPILL", SET_SPILL},
                                {"VELDRIX_READ_ON_CORES", SET_READ_ON_CORES},
                                {"VELDRIX_PROGRESS_AFTER", SET_PROGRESS_AFTER}};

}  // namespace

RunSettings SETTINGS_FROM(std::span<const char* const> environment) {
  RunSettings s;
  for (const Switch& sw : kSwitches) {
    for (std::string_view text : environment) {
      if (!text.starts_with(sw.name) || text.substr(sw.name.size(), 1) != "=") continue;
      sw.set(text.substr(sw.name.size() + 1), s);
      break;
    }
  }
  return s;
}

RunSettings READ_SETTINGS() { return SETTINGS_FROM(OS_ENVIRONMENT()); }

}  // namespace veldrix

#include "grid/run_settings.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

namespace veldrix {
namespace {

RunSettings FROM(std::initializer_list<const char*> environment) {
  return SETTINGS_FROM(std::span(environment.begin(), environment.size()));
}

struct SettingCase {
  const char* entry;
  std::uint64_t band_bytes;
  bool spill;
  double progress_after;
  bool read_on_cores;
};

constexpr std::uint64_t kBand = std::uint64_t{32} << 20;

// Each switch: valid values, then empty, garbage, overflow and out-of-range values, which leave
// the default; names that only start or end like a switch are not it.
constexpr SettingCase kCases[] = {
    {"VELDRIX_BAND_BYTES=16", 16, true, 2.0, true},
    {"VELDRIX_BAND_BYTES=18446744073709551615", UINT64_MAX, true, 2.0, true},
    {"VELDRIX_BAND_BYTES=", kBand, true, 2.0, true},
    {"VELDRIX_BAND_BYTES=0", kBand, true, 2.0, true},
    {"VELDRIX_BAND_BYTES=16k", kBand, true, 2.0, true},
    {"VELDRIX_BAND_BYTES= 16", kBand, true, 2.0, true},
    {"VELDRIX_BAND_BYTES=-16", kBand, true, 2.0, true},
    {"VELDRIX_BAND_BYTES=18446744073709551616", kBand, true, 2.0, true},
    {"VELDRIX_SPILL=0", kBand, false, 2.0, true},
    {"VELDRIX_SPILL=1", kBand, true, 2.0, true},
    {"VELDRIX_SPILL=", kBand, true, 2.0, true},
    {"VELDRIX_SPILL=no", kBand, true, 2.0, true},
    {"VELDRIX_SPILL=00", kBand, true, 2.0, true},
    {"VELDRIX_READ_ON_CORES=0", kBand, true, 2.0, false},
    {"VELDRIX_READ_ON_CORES=1", kBand, true, 2.0, true},
    {"VELDRIX_READ_ON_CORES=off", kBand, true, 2.0, true},
    {"VELDRIX_PROGRESS_AFTER=0", kBand, true, 0.0, true},
    {"VELDRIX_PROGRESS_AFTER=60000", kBand, true, 60.0, true},
    {"VELDRIX_PROGRESS_AFTER=2.5", kBand, true, 0.0025, true},
    {"VELDRIX_PROGRESS_AFTER=", kBand, true, 2.0, true},
    {"VELDRIX_PROGRESS_AFTER=soon", kBand, true, 2.0, true},
    {"VELDRIX_PROGRESS_AFTER=-1", kBand, true, 2.0, true},
    {"VELDRIX_PROGRESS_AFTER=1e999", kBand, true, 2.0, true},
    {"VELDRIX_PROGRESS_AFTER=nan", kBand, true, 2.0, true},
    {"VELDRIX_PROGRESS_AFTER=inf", kBand, true, 2.0, true},
    {"VELDRIX_SPILLS=0", kBand, true, 2.0, true},
    {"XVELDRIX_SPILL=0", kBand, true, 2.0, true},
    {"VELDRIX_SPILL", kBand, true, 2.0, true},
};

TEST(RunSettings, OneSwitch) {
  for (const SettingCase& c : kCases) {
    RunSettings s = FROM({"HOME=/", c.entry, "PATH=/bin"});
    EXPECT_EQ(s.band_bytes, c.band_bytes) << c.entry;
    EXPECT_EQ(s.spill, c.spill) << c.entry;
    EXPECT_DOUBLE_EQ(s.progress_after, c.progress_after) << c.entry;
    EXPECT_EQ(s.read_on_cores, c.read_on_cores) << c.entry;
  }
}

// Every switch at once, and of a name given twice the first, as getenv(3) finds it.
TEST(RunSettings, AllSwitchesAndTheFirstOfTwice) {
  RunSettings s = FROM({"VELDRIX_PROGRESS_AFTER=500", "VELDRIX_SPILL=0", "VELDRIX_BAND_BYTES=320",
                        "VELDRIX_BAND_BYTES=640", "VELDRIX_SPILL=1"});
  EXPECT_EQ(s.band_bytes, 320u);
  EXPECT_FALSE(s.spill);
  EXPECT_DOUBLE_EQ(s.progress_after, 0.5);
}

}  // namespace
}  // namespace veldrix

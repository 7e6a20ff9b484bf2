#include "input/arc_reader.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "textio/ending/failure_table.hpp"
#include "textio/files/connection.hpp"

namespace veldrix {
namespace {

constexpr std::int32_t kUnit = 71;

// A grid of 2 columns and 6 rows read in bands of 2 rows with no spill file, so that every band
// but the southern one is read a second time.
struct BandedGrid {
  BandedGrid() {
    g.cells.band_bytes = 16;
    g.cells.spill.allowed = false;
    std::ofstream(path, std::ios::binary) << "ncols 2\nnrows 6\nxllcorner 0\nyllcorner 0\n"
                                             "cellsize 1\nNODATA_value -9999\n"
                                             "11 12\n21 22\n31 32\n41 42\n51 52\n61 62\n";
    READ_ARC(kUnit, path.string(), 1.0f, g, source, phase, [](std::int32_t) {});
  }
  ~BandedGrid() { std::filesystem::remove(path); }
  std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("vdx_arc_" + std::to_string(::getpid()));
  GridStore g;
  FileIdentity source;
  CellPhase phase;
};

std::vector<float> BAND_CELLS(const GridStore& g) {
  return {g.cells.z.begin(), g.cells.z.begin() + 4};
}

// The identity checks around a second reading pass here (the file is not touched): what ends
// these runs is each part's own check against what the first reading recorded.
struct Tamper {
  const char* name;
  void (*apply)(GridStore& g);
};

const Tamper kTampers[] = {
    {"ChecksumOfThePart", [](GridStore& g) { g.cells.bands[1].checksum[0] ^= 1; }},
    {"WhereTheBandSouthOfItStarts", [](GridStore& g) { g.cells.bands[0].start[0] += 3; }},
};

TEST(ReadBandDeathTest, APartThatReadsOtherwiseThanTheFirstTimeIsAChangedFile) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  BandedGrid grid;
  ASSERT_EQ(grid.g.cells.bands.size(), 3u);
  EXPECT_EQ(BAND_CELLS(grid.g), (std::vector<float>{61, 62, 51, 52}));  // the southern band
  for (const Tamper& t : kTampers) {
    EXPECT_EXIT((::dup2(2, 1), t.apply(grid.g), READ_BAND(kUnit, 1.0f, grid.g, 1, grid.source)),
                testing::ExitedWithCode(kReadError),
                testing::ContainsRegex("File changed by another program while it was read"))
        << t.name;
  }
  READ_BAND(kUnit, 1.0f, grid.g, 1, grid.source);
  EXPECT_EQ(BAND_CELLS(grid.g), (std::vector<float>{41, 42, 31, 32}));
  READ_BAND(kUnit, 1.0f, grid.g, 2, grid.source);
  EXPECT_EQ(BAND_CELLS(grid.g), (std::vector<float>{21, 22, 11, 12}));
  DISCONNECT(kUnit);
}

}  // namespace
}  // namespace veldrix

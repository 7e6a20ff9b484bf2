#include "grid/spill.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "input/arc_reader.hpp"
#include "textio/files/connection.hpp"

namespace veldrix {
namespace {

constexpr std::int32_t kUnit = 73;

// A grid of 2 columns and 7 rows in bands of 2 rows (the northern band the one row left), read
// with every band but the southern one handed to the spill.
struct SpilledGrid {
  explicit SpilledGrid(bool allowed) {
    g.cells.band_bytes = 16;
    g.cells.spill.allowed = allowed;
    g.cells.spill.folder = std::filesystem::temp_directory_path().string();
    std::ofstream(path, std::ios::binary) << "ncols 2\nnrows 7\nxllcorner 0\nyllcorner 0\n"
                                             "cellsize 1\nNODATA_value -9999\n"
                                             "71 72\n61 62\n51 52\n41 42\n31 32\n21 22\n11 12\n";
    READ_ARC(kUnit, path.string(), 1.0f, g, source, phase,
             [this](std::int32_t b) { SPILL_BAND(g.cells, b, g.nx, g.ny); });
    DISCONNECT(kUnit);
  }
  ~SpilledGrid() { std::filesystem::remove(path); }
  std::int64_t SPILL_SIZE() const {
    std::int64_t length = -1;
    return OS_LENGTH(g.cells.spill.fd, length) == 0 ? length : -1;
  }
  std::vector<float> CELLS(std::size_t rows) const {
    return {g.cells.z.begin(), g.cells.z.begin() + static_cast<std::ptrdiff_t>(2 * rows)};
  }
  std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("vdx_spill_" + std::to_string(::getpid()));
  GridStore g;
  FileIdentity source;
  CellPhase phase;
};

// Each band comes back from where it was put, and the file is cut back to the bands north of it.
TEST(Spill, EveryBandComesBackFromItsOwnPlace) {
  if (OUTPUT_IN_MEMORY((std::filesystem::temp_directory_path() / "x").string())) {
    GTEST_SKIP() << "the temporary folder is held in memory: no spill is made there";
  }
  SpilledGrid grid(true);
  GridCells& cells = grid.g.cells;
  ASSERT_EQ(cells.bands.size(), 4u);
  ASSERT_NE(cells.spill.fd, kNoFile) << "no spill was made";
  EXPECT_FALSE(cells.spill.given_up);
  EXPECT_EQ(grid.SPILL_SIZE(), 5 * 2 * 4);  // every row but the southern band's two
  EXPECT_EQ(grid.CELLS(2), (std::vector<float>{11, 12, 21, 22}));
  struct Back {
    std::int32_t b;
    std::vector<float> cells;
    std::int64_t left;  // the spill's bytes after it, -1: closed
  };
  const Back kBack[] = {
      {1, {31, 32, 41, 42}, 3 * 2 * 4}, {2, {51, 52, 61, 62}, 1 * 2 * 4}, {3, {71, 72}, -1}};
  for (const Back& back : kBack) {
    std::fill(cells.z.begin(), cells.z.end(), 0.0f);
    ASSERT_TRUE(RECALL_BAND(cells, back.b, grid.g.nx, grid.g.ny)) << back.b;
    EXPECT_EQ(grid.CELLS(back.cells.size() / 2), back.cells) << back.b;
    EXPECT_EQ(back.left < 0 ? cells.spill.fd : grid.SPILL_SIZE(), back.left) << back.b;
  }
  EXPECT_FALSE(RECALL_BAND(cells, 1, grid.g.nx, grid.g.ny));
}

TEST(Spill, NotAllowedIsGivenUpAndNothingComesBack) {
  SpilledGrid grid(false);
  EXPECT_TRUE(grid.g.cells.spill.given_up);
  EXPECT_EQ(grid.g.cells.spill.fd, kNoFile);
  EXPECT_FALSE(RECALL_BAND(grid.g.cells, 1, grid.g.nx, grid.g.ny));
}

}  // namespace
}  // namespace veldrix

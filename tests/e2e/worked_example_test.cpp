#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "e2e/harness.hpp"

namespace veldrix_test {
namespace {

TEST(WholeRun, ThreeByTwoGridGivesTheDialogueAndTheElevenLines) {
  Folder f;
  WRITE_FILE(f / "grid.asc", kWorkedGrid);
  Outcome run = RUN(f, "grid.asc\ngrid.grd\n2\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(SHOWN(run.out), SHOWN(kDialogue + " ncols          3\r\n"
                                              " nrows          2\r\n"
                                              " mx:            3\r\n"
                                              " ny:            2\r\n"
                                              " xllcorner     100.00000    \r\n"
                                              " yllcorner     200.00000    \r\n"
                                              " cellsize     10.000000    \r\n"
                                              " NODATA_value    -9999.0000    \r\n"));
  EXPECT_EQ(SHOWN(READ_FILE(f / "grid.grd")),
            SHOWN("DSAA\r\n"
                  "           3           2\r\n"
                  "   105.000000000000        125.000000000000     \r\n"
                  "   205.000000000000        215.000000000000     \r\n"
                  "   2.00000000000000        12.0000000000000     \r\n"
                  " 8.0000000    \r\n"
                  "  1.70141e+038\r\n"
                  " 12.000000    \r\n"
                  " 2.0000000    \r\n"
                  " 4.0000000    \r\n"
                  " 6.0000000    \r\n"));
  std::string grd = READ_FILE(f / "grid.grd");
  if (!ON_WINDOWS())  // FIFOs are Linux's
    EXPECT_SAME_RUN(RUN_TO_FIFO(f, "grid.asc\ngrid.grd\n2\n", "grid.grd"), run, grd);
}

// The README's first conversion. CI converts the same grid with the program from the Debian package
// and compares its output with the same file.
TEST(WholeRun, SampleGridInMetresGivesTheExpectedFile) {
  const std::filesystem::path source = VELDRIX_SOURCE;
  Folder f;
  std::filesystem::copy_file(source / "examples/valley.asc", f / "valley.asc");
  Outcome run = RUN(f, "valley.asc\nvalley.grd\n0.3048\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  std::string expected = READ_FILE(source / "tests/e2e/data/valley.grd");
  // What the README says of it: the origin moved half a cell, 16 x 24 records, a no-data cell.
  EXPECT_EQ(expected.find("DSAA\r\n          24          16\r\n   512312.500000000 "), 0u);
  EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 5 + 24 * 16);
  EXPECT_NE(expected.find("\r\n  1.70141e+038\r\n"), std::string::npos);
  EXPECT_EQ(SHOWN(READ_FILE(f / "valley.grd")), SHOWN(expected));
}

}  // namespace
}  // namespace veldrix_test

// The first reading on several cores against the serial reader (VELDRIX_READ_ON_CORES=0) on
// seeded random grids: mostly a row a line, with the lines the serial reader alone takes sprinkled
// in (a row over two lines, values beyond a row, repeats, nulls, a slash, a blank line, a value
// that fails), in one band and in several. Each run must give the same status, console streams
// and output bytes.
#include <gtest/gtest.h>
#include <sched.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "e2e/harness.hpp"

namespace veldrix_test {
namespace {

// The lines of a row that the parallel reader takes (kinds 0 and 1) or leaves to the serial one.
std::string ROW_LINES(std::mt19937& rng, int nx, int kind) {
  std::uniform_int_distribution<int> digits(1, 4), whole(-50, 50), percent(0, 99);
  std::uniform_real_distribution<double> value(-1000.0, 1000.0);
  std::vector<std::string> cells;
  for (int i = 0; i < nx; ++i) {
    int p = percent(rng);
    char text[32];
    if (p < 5) {
      cells.emplace_back(p == 0 ? "-9999.05" : "-9999");  // blanked near NODATA_value, or equal
    } else if (p < 10) {
      cells.push_back(std::to_string(whole(rng)));
    } else {
      std::snprintf(text, sizeof text, "%.*f", digits(rng), value(rng));
      cells.emplace_back(text);
    }
  }
  auto join = [&cells](std::size_t from, std::size_t to, const char* between) {
    std::string line;
    for (std::size_t i = from; i < to; ++i) line += (i > from ? between : "") + cells[i];
    return line;
  };
  std::size_t n = cells.size(), half = n / 2;
  switch (kind) {
    case 1: return join(0, n, " ") + "  \t";                        // trailing blanks
    case 2: return join(0, half, " ") + "\n" + join(half, n, " ");  // a row over two lines
    case 3: return join(0, n, " ") + " 1 2";                        // values beyond the row
    case 4: return join(0, n - 3, " ") + " 3*1.5";                  // a repeat
    case 5: return join(0, half, " ") + " /";                       // a slash ends the row
    case 6: return "\n" + join(0, n, " ");                          // a blank line before
    case 7: return join(0, n, ",") + ",,";                          // commas, nulls after
    case 8: return join(0, 3, " ") + " 1e2 " + join(4, n, " ");     // a value in another form
    case 9: return join(0, 7, " ") + " x1 " + join(8, n, " ");      // a value that fails
    default: return join(0, n, " ");
  }
}

// A grid of 150 to 400 columns and 100 to 300 rows: enough cells for two cores in a band of
// 140000 bytes. Odd lines come at one of four rates (none at all in a quarter of the grids).
std::string RANDOM_GRID(unsigned seed) {
  std::mt19937 rng(seed);
  int nx = std::uniform_int_distribution<int>(150, 400)(rng);
  int ny = std::uniform_int_distribution<int>(100, 300)(rng);
  double odd = std::vector<double>{0.0, 0.002, 0.02, 0.1}[seed % 4];
  std::string end = rng() % 2 == 0 ? "\n" : "\r\n";
  std::string grid = "ncols " + std::to_string(nx) + end + "nrows " + std::to_string(ny) + end +
                     "xllcorner 1.5" + end + "yllcorner 2.5" + end + "cellsize 0.5" + end +
                     "NODATA_value -9999" + end;
  std::bernoulli_distribution is_odd(odd);
  std::uniform_int_distribution<int> kind(2, 9);
  for (int j = 0; j < ny; ++j) {
    int k = is_odd(rng) ? kind(rng) : static_cast<int>(rng() % 8 == 0);
    if (k == 9 && seed % 3 != 0) k = 0;  // failures in a third of the grids only
    std::string lines = ROW_LINES(rng, nx, k);
    for (std::size_t at = 0; (at = lines.find('\n', at)) != std::string::npos; at += end.size())
      lines.replace(at, 1, end);
    grid += lines;
    if (j + 1 < ny || rng() % 4 != 0) grid += end;  // a last line without its end, at times
  }
  return grid;
}

bool TWO_CORES() {
  cpu_set_t set;
  return sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) >= 2;
}

TEST(ReadOnCores, SameRunAsTheSerialReaderOnRandomGrids) {
  if (!TWO_CORES()) GTEST_SKIP() << "one core: the rows are read on it alone";
  Folder f;
  for (unsigned seed = 1; seed <= 24; ++seed) {
    WRITE_FILE(f / "in.asc", RANDOM_GRID(seed));
    // One band; bands of 140000 bytes, each but the southern kept in a spill file or read again
    // (which checks the first reading's part starts and checksums).
    for (std::string bands : {"VELDRIX_SPILL=1", "VELDRIX_BAND_BYTES=140000 VELDRIX_SPILL=1",
                              "VELDRIX_BAND_BYTES=140000 VELDRIX_SPILL=0"}) {
      std::vector<std::string> prefix = {"env"};
      for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 1)
        prefix.push_back(bands.substr(at, (end = bands.find(' ', at)) - at));
      Outcome cores = RUN(f, "in.asc\nout.grd\n2\n", prefix);
      std::string cores_grd = cores.status == 0 ? READ_FILE(f / "out.grd") : "";
      prefix.push_back("VELDRIX_READ_ON_CORES=0");
      Outcome serial = RUN(f, "in.asc\nout.grd\n2\n", prefix);
      std::string serial_grd = serial.status == 0 ? READ_FILE(f / "out.grd") : "";
      EXPECT_EQ(cores.status, serial.status) << seed << " " << bands;
      EXPECT_EQ(cores.out, serial.out) << seed << " " << bands;
      EXPECT_EQ(cores.err, serial.err) << seed << " " << bands;
      EXPECT_TRUE(cores_grd == serial_grd) << seed << " " << bands;
    }
  }
}

}  // namespace
}  // namespace veldrix_test

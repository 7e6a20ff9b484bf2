// Whole conversions of grid files written by other tools, kept in tests/data/realdata (see
// PROVENANCE.tsv and SHA256SUMS beside them). The files are linked into the run's folder, never
// copied.
#include <gtest/gtest.h>

#include <cctype>
#include <utility>
#include <vector>

#include "e2e/harness.hpp"

namespace veldrix_test {
namespace {

namespace fs = std::filesystem;

const fs::path kRealData = VELDRIX_REALDATA;

struct RealFile {
  const char* file;
  const char* factor;
  std::string out_tail;           // standard output after the dialogue
  std::vector<std::string> head;  // records 1 to 5; none when the file is refused
  std::size_t line_count = 0;
  std::vector<std::pair<std::size_t, std::string>> cells = {};  // line number from 1, text
  std::string err = "";                                         // standard error
};

const std::string kBlankCell = "  1.70141e+038";

// clang-format off
const RealFile kFiles[] = {
  {"crlf_cmap.asc", "2",
   " ncols        220\r\n nrows        270\r\n mx:          220\r\n ny:          270\r\n"
   " xllcorner    -116.00000    \r\n yllcorner     30.500000    \r\n"
   " cellsize    0.50000000E-01\r\n NODATA_value    -9999.0000    \r\n",
   {"DSAA", "         220         270", "  -115.975000000000       -105.025000000000     ",
    "   30.5250000000000        43.9750000000000     ",
    "   2.00000000000000        8.00000000000000     "},
   5 + 220 * 270,  // file rows 270 and 1 start with 4 and 1, row 1 ends with 4
   {{6, " 8.0000000    "}, {5 + 269 * 220 + 1, " 2.0000000    "}, {59405, " 8.0000000    "}}},
  {"tabs_flowdir_test.asc", "1",
   " ncols         48\r\n nrows         32\r\n mx:           48\r\n ny:           32\r\n"
   " xllcorner    -121.96900    \r\n yllcorner     37.031000    \r\n"
   " cellsize    0.62000000E-01\r\n NODATA_value    -9999.0000    \r\n",
   {"DSAA", "          48          32", "  -121.938000000000       -119.024000000000     ",
    "   37.0620000000000        38.9840000000000     ",
    "  0.000000000000000E+000   8.00000000000000     "},
   5 + 48 * 32,  // file row 13, columns 33 and 34: 6.000 and 7.000
   {{6, " 0.0000000    "}, {5 + 19 * 48 + 33, " 6.0000000    "},
    {5 + 19 * 48 + 34, " 7.0000000    "}}},
  {"lf_west_bijou_gully.asc", "1",
   " ncols         43\r\n nrows         89\r\n mx:           43\r\n ny:           89\r\n"
   " xllcorner     559705.00    \r\n yllcorner     4380220.0    \r\n"
   " cellsize     3.0000000    \r\n NODATA_value     0.0000000    \r\n",
   {"DSAA", "          43          89", "   559706.500000000        559832.500000000     ",
    "   4380221.50000000        4380485.50000000     ",
    "   1680.77941894531        1725.43261718750     "},
   5 + 43 * 89,  // file row 3, columns 27 and 28: 1725.327880859375 and 1725.3796657986110858
   {{6, kBlankCell}, {5 + 86 * 43 + 27, " 1725.3279    "}, {5 + 86 * 43 + 28, " 1725.3796    "}}},
  {"grass_gdal_aspect.ascii", "1",  // its blank 1.70141e+38 reads back as the nodata's rounding
   " ncols         10\r\n nrows         10\r\n mx:           10\r\n ny:           10\r\n"
   " xllcorner     15.000000    \r\n yllcorner     10.000000    \r\n"
   " cellsize     1.0000000    \r\n NODATA_value    0.17014100E+39\r\n",
   {"DSAA", "          10          10", "   15.5000000000000        24.5000000000000     ",
    "   10.5000000000000        19.5000000000000     ",
    "   1.37959015369415        359.786376953125     "},
   5 + 10 * 10,  // file row 9 column 2: 54.044281005859; row 2 column 2: 281.6360168457
   {{6, kBlankCell}, {5 + 10 + 2, " 54.044281    "}, {5 + 80 + 2, " 281.63602    "}}},
  {"upper_center_rainfall.asc", "1", " Fatal error reading ncols\r\n", {}, 0, {},
   HINTED("ncols", "NCOLS")},
  {"upper_trailing_blanks_dem.asc", "1", " Fatal error reading ncols\r\n", {}, 0, {},
   HINTED("ncols", "NCOLS")},
  {"lower_center_3x3.asc", "1", " ncols          3\r\n nrows          3\r\n mx:            3\r\n"
   " ny:            3\r\n Fatal error reading xllcorner\r\n", {}, 0, {},
   HINTED("xllcorner", "xllcenter")},
  {"dxdy_manning3.asc", "1", " ncols          5\r\n nrows          5\r\n mx:            5\r\n"
   " ny:            5\r\n xllcorner     340929.56    \r\n yllcorner     1173810.3    \r\n"
   " Fatal error reading cellsize\r\n", {}, 0, {}, HINTED("cellsize", "dx")},
  {"no_nodata_4x3.asc", "1", " ncols          3\r\n nrows          4\r\n mx:            3\r\n"
   " ny:            4\r\n xllcorner     1.0000000    \r\n yllcorner     2.0000000    \r\n"
   " cellsize     10.000000    \r\n Fatal error reading NODATA_value\r\n", {}},
  {"gdal_pixel_per_line.asc", "1", " ncols         15\r\n nrows         12\r\n mx:           15\r\n"
   " ny:           12\r\n xllcorner     100000.00    \r\n yllcorner     650000.00    \r\n"
   " cellsize     50.000000    \r\n Fatal error reading NODATA_value\r\n", {}, 0, {},
   HINTED("NODATA_value", "nodata_value")},
};
// clang-format on

// A failing case is shown by its name, not by its bytes.
void PrintTo(const RealFile& c, std::ostream* os) { *os << c.file; }

class RealData : public testing::TestWithParam<RealFile> {};

// An accepted file converts with its header echo, output header and cells; a refused one ends
// after its fatal line with status 1 and no output file.
TEST_P(RealData, ConvertsOrEndsAfterItsFatalLine) {
  const RealFile& r = GetParam();
  Folder f;
  fs::create_symlink(fs::absolute(kRealData / r.file), f / "in.asc");
  Outcome run = RUN(f, std::string("in.asc\nout.grd\n") + r.factor + "\n");
  EXPECT_EQ(run.status, r.head.empty() ? 1 : 0) << run.err;
  EXPECT_EQ(run.err, r.err);
  EXPECT_EQ(SHOWN(run.out), SHOWN(kDialogue + r.out_tail));
  ASSERT_EQ(fs::exists(f / "out.grd"), !r.head.empty());
  std::string grd = r.head.empty() ? "" : READ_FILE(f / "out.grd");
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = grd.find("\r\n", at)) != std::string::npos; at = end + 2) {
    lines.push_back(grd.substr(at, end - at));
  }
  ASSERT_EQ(lines.size(), r.line_count);
  for (std::size_t k = 0; k < r.head.size(); ++k) EXPECT_EQ(SHOWN(lines[k]), SHOWN(r.head[k]));
  for (const auto& [line, text] : r.cells) EXPECT_EQ(SHOWN(lines[line - 1]), SHOWN(text)) << line;
  if (!ON_WINDOWS())  // FIFOs are Linux's
    EXPECT_SAME_RUN(RUN_TO_FIFO(f, std::string("in.asc\nout.grd\n") + r.factor + "\n", "out.grd"),
                    run, grd);
  // The serial reader alone, where the rows were read on several cores: the same run (the output
  // named alike, for the same console streams, in a folder of its own).
  Folder serial_folder;
  fs::create_symlink(fs::absolute(kRealData / r.file), serial_folder / "in.asc");
  Outcome serial = RUN(serial_folder, std::string("in.asc\nout.grd\n") + r.factor + "\n",
                       {"env", "VELDRIX_READ_ON_CORES=0"});
  EXPECT_EQ(serial.status, run.status);
  EXPECT_EQ(serial.out + serial.err, run.out + run.err);
  EXPECT_TRUE((r.head.empty() ? "" : READ_FILE(serial_folder / "out.grd")) == grd);
}

// Each case is named after its file, with everything but letters and digits dropped.
INSTANTIATE_TEST_SUITE_P(RealFiles, RealData, testing::ValuesIn(kFiles),
                         [](const testing::TestParamInfo<RealFile>& info) {
                           std::string name;
                           for (const char* c = info.param.file; *c != '\0'; ++c) {
                             if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                           }
                           return name;
                         });

}  // namespace
}  // namespace veldrix_test

// Whole conversions: small grids that each pin one rule of the dialogue, the reader, the
// conversion pass or the writer, and one grid beyond the static store checked cell by cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "e2e/harness.hpp"

namespace veldrix_test {
namespace {

namespace fs = std::filesystem;

// A grid header with its corner at the origin and unit cells, 2 x 2 unless told otherwise.
std::string HEAD2(const std::string& nodata = "-9999", const std::string& size = "2\nnrows 2") {
  return "ncols " + size + "\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value " + nodata + "\n";
}

// clang-format off
const std::string kCornerEcho = " xllcorner     0.0000000    \r\n yllcorner     0.0000000    \r\n"
                                " cellsize     1.0000000    \r\n";
const std::string kNodataEcho = " NODATA_value    -9999.0000    \r\n";
const std::string kEcho2 = " ncols          2\r\n nrows          2\r\n mx:            2\r\n"
                           " ny:            2\r\n" + kCornerEcho;
// Records 1 to 4 of the output of a HEAD2 grid.
const std::string kGrd2 = "DSAA\r\n           2           2\r\n"
                          "  0.500000000000000        1.50000000000000     \r\n"
                          "  0.500000000000000        1.50000000000000     \r\n";
const std::string kBlank = "  1.70141e+038\r\n";
const std::string kNone = "none";

// North row 1 2, south row nodata 4: the output's cells run south first.
const std::string kOneBlankIn = HEAD2() + "1 2\n-9999 4\n";
const std::string kOneBlankOut = kGrd2 + "   1.00000000000000        4.00000000000000     \r\n" +
                                 kBlank + " 4.0000000    \r\n 1.0000000    \r\n 2.0000000    \r\n";

struct Case {
  const char* name;
  std::string input;           // in.asc
  std::string output = kNone;  // out.grd after the run
  std::string factor = "1";
  std::string answers = "in.asc\nout.grd\n";  // the two names, then the factor
  std::string old_output = "";                   // out.grd before the run, "" when there is none
  int status = 0;
  std::string out_tail = kEcho2 + kNodataEcho;  // standard output after the dialogue
  std::string err_head = "";// standard error up to the file name, "" for a warning or none
  std::string band_bytes = "";  // the band size the run is given, "" for its own
  std::string warned = "";  // all of standard error when it holds only warnings
};

const std::string kWrapWarned = "Warning: 1 line held values beyond the end of its row, which were "
    "skipped, as a row starts on a new line; the first is line 8, with 1 more. The file's rows "
    "are likely wrapped at a fixed count of values a line\r\n";

const Case kCases[] = {
  {.name = "OneNoDataCellOfFour", .input = kOneBlankIn, .output = kOneBlankOut},
  {.name = "LeadingBlanksInTheInputName", .input = kOneBlankIn, .output = kOneBlankOut,
   .answers = "   in.asc\nout.grd\n"},
  {.name = "LongerOldOutputKeepsOnlyTheNewRecords", .input = kOneBlankIn, .output = kOneBlankOut,
   .old_output = std::string(3000, 'x') + "\r\nold\r\n"},
  {.name = "RowsWrappedOverSeveralLines", .input = HEAD2() + "1\n2 99\n\n-9999\n 4\n",
   .output = kOneBlankOut, .warned = kWrapWarned},
  {.name = "CrLfLinesAndCtrlZAfterTheData", .input = "ncols 2\r\nnrows 2\r\nxllcorner 0\r\n"
   "yllcorner 0\r\ncellsize 1\r\nNODATA_value -9999\r\n1 2\r\n-9999 4\r\n\x1a\r\nxyz\r\n",
   .output = kOneBlankOut},
  {.name = "KeywordAfterCtrlZIsNotFound", .input = "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\n"
   "cellsize 1\n#\n1 2\n3 4\n\x1a\nNODATA_value 0\n", .status = 1,
   .out_tail = kEcho2 + " Fatal error reading NODATA_value\r\n"},
  {.name = "NoValidCellKeepsTheSentinels", .input = HEAD2() + "-9999 -9999\n-9999.05 -9998.95\n",
   .output = kGrd2 + "   99999.9921875000       -99999.9921875000     \r\n" + kBlank + kBlank
   + kBlank + kBlank, .factor = "2", .warned = "Warning: 2 cells were written as no-data for lying "
   "within 0.1 of NODATA_value -9999 without being equal to it; the first is in row 2 from the "
   "top, column 1, value -9999.05\r\n"},
  {.name = "FactorInFeetRangeInDoubleCellInSingle", .input = HEAD2() + "100 -9999\n-9999 -9999\n",
   .output = kGrd2 + "   30.4800003767014        30.4800003767014     \r\n" + kBlank + kBlank
   + " 30.480000    \r\n" + kBlank, .factor = "0.3048"},
  {.name = "NegativeFactorFlipsSignsAndZeroHasNoMinus", .input = HEAD2() + "0 5\n-9999 -0.5\n",
   .output = kGrd2 + "  -5.00000000000000       0.500000000000000     \r\n" + kBlank
   + "0.50000000    \r\n 0.0000000    \r\n-5.0000000    \r\n", .factor = "-1"},
  {.name = "ZeroFactorGivesUnsignedZeros", .input = HEAD2() + "3 -9999\n-7 0\n",
   .output = kGrd2 + "  0.000000000000000E+000  0.000000000000000E+000\r\n 0.0000000    \r\n"
   " 0.0000000    \r\n 0.0000000    \r\n" + kBlank, .factor = "0"},
  {.name = "ScaledValueOnNodataIsWrittenAsItsValue", .input = HEAD2() + "-4999.5 1\n-9999 3\n",
   .output = kGrd2 + "  -9999.00000000000        6.00000000000000     \r\n" + kBlank
   + " 6.0000000    \r\n-9999.0000    \r\n 2.0000000    \r\n", .factor = "2"},
  // |0 - 0.1| is exactly the double 0.1: the cell is no-data, though it is not nodata itself.
  {.name = "CellExactlyATenthFromNodataIsNoData", .input = HEAD2("0.1") + "0 1\n2 3\n",
   .output = kGrd2 + "   1.00000000000000        3.00000000000000     \r\n 2.0000000    \r\n"
   " 3.0000000    \r\n" + kBlank + " 1.0000000    \r\n",
   .out_tail = kEcho2 + " NODATA_value    0.10000000    \r\n", .warned = "Warning: 1 cell was "
   "written as no-data for lying within 0.1 of NODATA_value 0.1 without being equal to it; the "
   "first is in row 1 from the top, column 1, value 0\r\n"},
  {.name = "NodataWithoutSinglePrecisionFormMatchesItsRounding",
   .input = HEAD2("-2147483647") + "-2147483647 5\n-2147483648 -2147483520\n",
   .output = kGrd2 + "  -2147483520.00000        5.00000000000000     \r\n" + kBlank
   + "-.21474835E+10\r\n" + kBlank + " 5.0000000    \r\n",
   .out_tail = kEcho2 + " NODATA_value    -.21474836E+10\r\n"},
  {.name = "HeaderLinesInAnotherOrder", .input = "NODATA_value -1\ncellsize 2.5\nnrows 1\n"
   "yllcorner -10\nncols 3\nxllcorner 1000.25\n5 -1 7.25\n",
   .output = "DSAA\r\n           3           1\r\n"
   "   1001.50000000000        1006.50000000000     \r\n"
   "  -8.75000000000000       -8.75000000000000     \r\n"
   "   5.00000000000000        7.25000000000000     \r\n 5.0000000    \r\n" + kBlank
   + " 7.2500000    \r\n",
   .out_tail = " ncols          3\r\n nrows          1\r\n mx:            3\r\n"
   " ny:            1\r\n"
   " xllcorner     1000.2500    \r\n yllcorner    -10.000000    \r\n"
   " cellsize     2.5000000    \r\n NODATA_value    -1.0000000    \r\n"},
  {.name = "SeventhHeaderLineBreaksTheFirstRow", .input = HEAD2() + "cellsize 1\n1 2\n-9999 4\n",
   .status = 59, .err_head = "forrtl: severe (59): list-directed I/O syntax error, unit 50, file "},
  {.name = "UpperCaseKeywordsAreNotFound", .input = "NCOLS 2\nNROWS 2\nXLLCORNER 0\nYLLCORNER 0\n"
   "CELLSIZE 1\nNODATA_VALUE -9999\n1 2\n3 4\n", .status = 1,
   .out_tail = " Fatal error reading ncols\r\n", .warned = HINTED("ncols", "NCOLS")},
  {.name = "MissingNodataValue", .input = "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\n"
   "cellsize 1\n1 2\n3 4\n", .status = 1,
   .out_tail = kEcho2 + " Fatal error reading NODATA_value\r\n"},
  // Bands of one row: the southern row is written from the first reading, the other again.
  {.name = "OneNoDataCellOfFourInBandsOfOneRow", .input = kOneBlankIn, .output = kOneBlankOut,
   .band_bytes = "8"},
  {.name = "RowsWrappedOverSeveralLinesInBandsOfOneRow",
   .input = HEAD2() + "1\n2 99\n\n-9999\n 4\n", .output = kOneBlankOut, .band_bytes = "8",
   .warned = kWrapWarned},
  // A cell a row leaves unread (a slash, a null) holds 0, whatever the band's store held.
  {.name = "CellsLeftUnreadInBandsOfOneRow", .input = HEAD2("-9999", "2\nnrows 3")
   + "1 /\n3 4\n5 ,,\n", .output = "DSAA\r\n           2           3\r\n"
   "  0.500000000000000        1.50000000000000     \r\n"
   "  0.500000000000000        2.50000000000000     \r\n"
   "  0.000000000000000E+000   5.00000000000000     \r\n 5.0000000    \r\n 0.0000000    \r\n"
   " 3.0000000    \r\n 4.0000000    \r\n 1.0000000    \r\n 0.0000000    \r\n",
   .out_tail = " ncols          2\r\n nrows          3\r\n mx:            2\r\n"
   " ny:            3\r\n" + kCornerEcho + kNodataEcho, .band_bytes = "8"},
  {.name = "TooFewValuesLeavesTheOldOutput", .input = HEAD2() + "1 2\n3\n", .old_output = "old\r\n",
   .status = 24, .err_head = "forrtl: severe (24): end-of-file during read, unit 50, file "},
};
// clang-format on

// A failing case is shown by its name, not by its bytes.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Conversion : public testing::TestWithParam<Case> {};

TEST_P(Conversion, GivesItsDialogueStatusAndOutputBytes) {
  const Case& c = GetParam();
  Folder f;
  WRITE_FILE(f / "in.asc", c.input);
  if (!c.old_output.empty()) WRITE_FILE(f / "out.grd", c.old_output);
  std::vector<std::string> band;
  // With its progress line due at once: none, when the error stream is not a terminal.
  if (!c.band_bytes.empty())
    band = {"env", "VELDRIX_BAND_BYTES=" + c.band_bytes, "VELDRIX_PROGRESS_AFTER=0"};
  Outcome run = RUN(f, c.answers + c.factor + "\n", band);
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(SHOWN(run.out), SHOWN(kDialogue + c.out_tail));
  std::string err = c.err_head.empty() ? run.err : run.err.substr(0, run.err.find('\n') + 1);
  EXPECT_EQ(err, c.err_head.empty() ? c.warned : c.err_head + SHOWN_PATH(f / "in.asc") + "\r\r\n");
  std::string left = fs::exists(f / "out.grd") ? READ_FILE(f / "out.grd") : kNone;
  bool kept = c.output == kNone && !c.old_output.empty();  // a failed read leaves the old file
  EXPECT_EQ(SHOWN(left), SHOWN(kept ? c.old_output : c.output));
  std::string written = kept || c.output == kNone ? "" : left;
  if (!ON_WINDOWS())  // FIFOs are Linux's
    EXPECT_SAME_RUN(RUN_TO_FIFO(f, c.answers + c.factor + "\n", "out.grd", band), run, written);
}

INSTANTIATE_TEST_SUITE_P(WholeRun, Conversion, testing::ValuesIn(kCases), CASE_NAME<Case>);

TEST(WholeRun, RunsCleanUnderValgrind) {
  SKIP_UNLESS_LINUX("valgrind");
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(__has_feature)
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || \
    __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  GTEST_SKIP() << "the program is built with a sanitizer, whose runtime valgrind cannot run";
#endif
#endif
  if (std::system("command -v valgrind >/dev/null 2>&1") != 0) GTEST_SKIP() << "no valgrind";
  Folder f;
  WRITE_FILE(f / "in.asc", kOneBlankIn);
  Outcome run =
      RUN(f, "in.asc\nout.grd\n1\n", {"valgrind", "-q", "--error-exitcode=1", "--leak-check=no"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(READ_FILE(f / "out.grd"), kOneBlankOut);
}

// 3000 x 2600 cells, in one band and in 26; the cell in file
// row r, column i (both from 0) is i / 2 - r, and no-data on the diagonal i == r.
TEST(WholeRun, LargeGridConvertsEveryCellInOneBandOrMany) {
  constexpr int kNx = 3000, kNy = 2600;
  auto cell = [](int i, int r) { return i == r ? -9999.0f : static_cast<float>(i * 0.5 - r); };
  std::string in = HEAD2("-9999", "3000\nnrows 2600");
  char digits[32];
  for (int r = 0; r < kNy; ++r, in += '\n') {
    for (int i = 0; i < kNx; ++i, in += ' ')
      in.append(digits, std::to_chars(digits, digits + 32, cell(i, r)).ptr);
  }
  Folder f;
  WRITE_FILE(f / "in.asc", in);
  Outcome run = RUN(f, "in.asc\nout.grd\n0.5\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, kDialogue +
                         " ncols       3000\r\n nrows       2600\r\n mx:         3000\r\n"
                         " ny:         2600\r\n" +
                         kCornerEcho + kNodataEcho);
  const std::string head =
      "DSAA\r\n        3000        2600\r\n"
      "  0.500000000000000        2999.50000000000     \r\n"
      "  0.500000000000000        2599.50000000000     \r\n"
      "  -1299.50000000000        749.750000000000     \r\n";
  std::string grd = READ_FILE(f / "out.grd");
  ASSERT_EQ(SHOWN(grd.substr(0, head.size())), SHOWN(head));
  ASSERT_EQ(std::count(grd.begin(), grd.end(), '\n'), 5 + std::int64_t{kNx} * kNy);
  ASSERT_EQ(grd.size(), head.size() + std::size_t{16} * kNx * kNy);  // 14 columns and CR LF
  std::size_t at = head.size(), wrong = 0;
  for (int r = kNy - 1; r >= 0; --r) {  // the south row is the file's last
    for (int i = 0; i < kNx; ++i, at += 16) {
      std::string_view text(grd.data() + at, 16);
      char field[15] = {};  // the 14 columns, ended for strtof
      text.copy(field, 14);
      char* end = nullptr;
      bool ok = i == r ? text == kBlank
                       : std::strtof(field, &end) == 0.5f * cell(i, r) && end == field + 10 &&
                             text.substr(10) == "    \r\n";
      if (!ok && wrong++ < 5)
        ADD_FAILURE() << "row " << r << " column " << i << ": " << SHOWN(std::string(text));
    }
  }
  EXPECT_EQ(wrong, 0u);
  if (!ON_WINDOWS()) EXPECT_SAME_RUN(RUN_TO_FIFO(f, "in.asc\nout.grd\n0.5\n", "out.grd"), run, grd);
  // Bands of 99 rows (the northern one 26), each but the southern kept in a spill file, or read
  // again (in parts, one per core): the same bytes. With descriptors for the streams, the input
  // and the output alone (any the test inherited closed), no spill is made: the bands are read
  // again.
  const std::vector<std::string> kBanded[] = {
      {"VELDRIX_SPILL=1"},
      {"VELDRIX_SPILL=0"},
      {"VELDRIX_SPILL=1", "sh", "-c", "exec 3<&- 4<&- && ulimit -n 5 && exec \"$0\" \"$@\""}};
  for (const auto& banding : kBanded) {
    if (ON_WINDOWS() && banding.size() > 1) continue;  // ulimit -n is Linux's
    std::vector<std::string> prefix = {"env", "VELDRIX_BAND_BYTES=1188000"};
    prefix.insert(prefix.end(), banding.begin(), banding.end());
    Outcome banded = RUN(f, "in.asc\nbanded.grd\n0.5\n", prefix);
    EXPECT_EQ(banded.status, 0) << banded.err;
    EXPECT_TRUE(READ_FILE(f / "banded.grd") == grd) << banding.back();
  }
  // Without /proc a part has no descriptor of its own: the parts are read one after the other.
  SKIP_UNLESS_LINUX("a mount over /proc");
  const std::string kNoProc =
      "mount -t tmpfs none /proc && exec env VELDRIX_BAND_BYTES=1188000 VELDRIX_SPILL=0 \"$0\" "
      "\"$@\"";
  if (std::system("unshare -m mount -t tmpfs none /proc 2>/dev/null") != 0)
    GTEST_SKIP() << "unshare -m or a mount over /proc is refused here";
  Outcome serial = RUN(f, "in.asc\nserial.grd\n0.5\n", {"unshare", "-m", "sh", "-c", kNoProc});
  EXPECT_EQ(serial.status, 0) << serial.err;
  EXPECT_TRUE(READ_FILE(f / "serial.grd") == grd);
}

}  // namespace
}  // namespace veldrix_test

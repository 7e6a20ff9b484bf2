// Hostile input files: each gets a clear report or a correct conversion, in bounded memory, and
// no output file when the input was refused.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <fstream>

#include "e2e/harness.hpp"

namespace veldrix_test {
namespace {

const std::string kCorner = "xllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n";
const std::string kCornerEcho =
    " xllcorner     0.0000000    \r\n yllcorner     0.0000000    \r\n"
    " cellsize     1.0000000    \r\n NODATA_value    -9999.0000    \r\n";
const std::string kOneByOne = "ncols 1\nnrows 1\n" + kCorner;
const std::string kOneByOneEcho =
    " ncols          1\r\n nrows          1\r\n mx:            1\r\n ny:            1\r\n" +
    kCornerEcho;

struct Case {
  const char* name;
  std::string (*input)();  // made when the case runs: some are hundreds of megabytes
  int status;
  std::string out_tail;        // standard output after the dialogue
  std::string err_head;        // standard error up to ", file " ("" when it must stay empty)
  std::string last_cell = "";  // the output's last line; "" when there must be no output
  bool in_8_gib = false;       // run with 8 GiB of address space, whatever the machine has
};

std::string REPEAT(const std::string& piece, std::size_t times) {
  std::string s;
  s.reserve(piece.size() * times);
  while (times-- > 0) s += piece;
  return s;
}

const std::string kSevere = "forrtl: severe (";

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

const Case kCases[] = {
    {"LineOf200MegabytesOfValues",
     [] { return kOneByOne + "7 " + REPEAT("1 ", 100u << 20) + "\n"; }, 0, kOneByOneEcho,
     "Warning: 1 line held values beyond the end of its row, which were skipped, as a row starts "
     "on a new line; the first is line 7, with 104857600 more. The file's rows are likely wrapped "
     "at a fixed count of values a line\r\n",
     " 7.0000000    \r\n"},
    {"EndlessTokenOf200Megabytes",
     [] { return kOneByOne + "1" + std::string(200u << 20, '0') + "\n"; }, 64, kOneByOneEcho,
     kSevere + "64): input conversion error, unit 50"},
    {"MegabyteTokenConvertsExactly",
     [] { return kOneByOne + "0." + std::string(1u << 20, '0') + "5E+1048576\n"; }, 0,
     kOneByOneEcho, "", "0.50000000    \r\n"},
    {"SizeBeyondAnyMemory", [] { return "ncols 2147483647\nnrows 2147483647\n" + kCorner; }, 1,
     " ncols    *******\r\n nrows    *******\r\n",
     "Grid too large for this machine's memory: ncols 2147483647, nrows 2147483647\r\n", "", true},
    {"NegativeColumnsPassOverOneLinePerRow",
     [] { return "ncols -3\nnrows 2\n" + kCorner + "x\ny\n"; }, 0,
     " ncols         -3\r\n nrows          2\r\n mx:           -3\r\n ny:            2\r\n" +
         kCornerEcho,
     "", "   99999.9921875000       -99999.9921875000     \r\n"},
    // Regressions: rows with no cells past the static store's 2501 were read beyond the store.
    // The input that broke it: "ncols 0" (or -3) and "nrows 3000", then 3000 lines.
    {"ZeroColumnRowsPastTheStoreStayInsideIt",
     [] { return "ncols 0\nnrows 3000\n" + kCorner + REPEAT("x\n", 3000); }, 0,
     " ncols          0\r\n nrows       3000\r\n mx:            0\r\n ny:         3000\r\n" +
         kCornerEcho,
     "", "   99999.9921875000       -99999.9921875000     \r\n"},
    {"NegativeColumnRowsPastTheStoreStayInsideIt",
     [] { return "ncols -3\nnrows 3000\n" + kCorner + REPEAT("1 2 3\n", 3000); }, 0,
     " ncols         -3\r\n nrows       3000\r\n mx:           -3\r\n ny:         3000\r\n" +
         kCornerEcho,
     "", "   99999.9921875000       -99999.9921875000     \r\n"},
    {"NegativeColumnRowsPastTheStoreOneLineShortEndTheData",
     [] { return "ncols -3\nnrows 3000\n" + kCorner + REPEAT("x\n", 2999); }, 24,
     " ncols         -3\r\n nrows       3000\r\n mx:           -3\r\n ny:         3000\r\n" +
         kCornerEcho,
     kSevere + "24): end-of-file during read, unit 50"},
    {"ZeroRows", [] { return "ncols 2\nnrows 0\n" + kCorner; }, 0,
     " ncols          2\r\n nrows          0\r\n mx:            2\r\n ny:            0\r\n" +
         kCornerEcho,
     "", "   99999.9921875000       -99999.9921875000     \r\n"},
    {"NulByteAmongTheValues", [] { return kOneByOne + std::string("1\0002\n", 4); }, 59,
     kOneByOneEcho, kSevere + "59): list-directed I/O syntax error, unit 50"},
    {"FileEndsInsideANumber", [] { return kOneByOne + "12.5"; }, 0, kOneByOneEcho, "",
     " 12.500000    \r\n"},
    {"FileEndsInsideAnExponent", [] { return kOneByOne + "12.5E"; }, 59, kOneByOneEcho,
     kSevere + "59): list-directed I/O syntax error, unit 50"},
    {"ValueOfTenToThe400", [] { return kOneByOne + "1e400\n"; }, 64, kOneByOneEcho,
     kSevere + "64): input conversion error, unit 50"},
    {"MillionHeaderLikeLinesAndNoNodata",
     [] {
       return "ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n" +
              REPEAT("cellsize 2\n", 1000000);
     },
     1,
     " ncols          1\r\n nrows          1\r\n mx:            1\r\n ny:            1\r\n"
     " xllcorner     0.0000000    \r\n yllcorner     0.0000000    \r\n"
     " cellsize     1.0000000    \r\n Fatal error reading NODATA_value\r\n",
     ""},
};

// A failing case is shown by its name, not by its bytes.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Hostile : public testing::TestWithParam<Case> {};

TEST_P(Hostile, GetsAClearReportOrACorrectConversion) {
  const Case& c = GetParam();
  Folder f;
  WRITE_FILE(f / "in.asc", c.input());
  std::vector<std::string> prefix;
  // A row of 8 GiB is more than a quarter of the memory of this machine only below 32 GiB; the
  // sanitizers' shadow needs far more address space than that. (Windows has no prlimit: there the
  // machine's own memory decides.)
  if (c.in_8_gib && !kSanitized && !ON_WINDOWS()) prefix = {"prlimit", "--as=8589934592"};
  Outcome run = RUN(f, "in.asc\nout.grd\n1\n", prefix);
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(SHOWN(run.out), SHOWN(kDialogue + c.out_tail));
  EXPECT_EQ(SHOWN(run.err.substr(0, c.err_head.size())), SHOWN(c.err_head));
  if (c.err_head.empty()) {
    EXPECT_EQ(run.err, "");
  }
  bool written = std::filesystem::exists(f / "out.grd");
  ASSERT_EQ(written, !c.last_cell.empty());
  if (!written) return;
  std::string grd = READ_FILE(f / "out.grd");
  EXPECT_EQ(SHOWN(grd.substr(grd.size() - std::min(grd.size(), c.last_cell.size()))),
            SHOWN(c.last_cell));
  if (!ON_WINDOWS())  // FIFOs are Linux's
    EXPECT_SAME_RUN(RUN_TO_FIFO(f, "in.asc\nout.grd\n1\n", "out.grd"), run, grd);
}

INSTANTIATE_TEST_SUITE_P(Files, Hostile, testing::ValuesIn(kCases), CASE_NAME<Case>);

// A 200 MiB line: a reader that held it whole would need far more.
TEST(Hostile, LongLinesAreReadInBoundedMemory) {
  SKIP_UNLESS_LINUX("getrusage of the program alone, without Wine's own memory");
  Folder f;
  // Written a piece at a time: the child starts as a copy of this process, and a sanitized test
  // process would keep a freed 200 MiB text resident in its quarantine.
  {
    std::ofstream in(f / "in.asc", std::ios::binary);
    in << kOneByOne << "7 ";
    const std::string piece = REPEAT("1 ", 1u << 20);
    for (int k = 0; k < 100; ++k) in << piece;
    in << "\n";
  }
  Outcome run = RUN(f, "in.asc\nout.grd\n1\n");
  ASSERT_EQ(run.status, 0);
  rusage usage = {};
  getrusage(RUSAGE_CHILDREN, &usage);  // the largest child so far: this run or a smaller one
  EXPECT_LT(usage.ru_maxrss, 40 * 1024) << "KiB";
}

TEST(Hostile, FifoAsInputCannotBeRewound) {
  SKIP_UNLESS_LINUX("FIFOs");
  Folder f;
  ASSERT_EQ(mkfifo((f / "in.asc").c_str(), 0666), 0);
  Outcome run = RUN(f, "in.asc\nout.grd\n1\n");
  EXPECT_EQ(run.status, 20);
  std::string head = "forrtl: Illegal seek\r\nforrtl: severe (20): REWIND error, unit 50, file " +
                     (f / "in.asc").string() + "\r\r\n";
  EXPECT_EQ(SHOWN(run.err.substr(0, head.size())), SHOWN(head));
  EXPECT_FALSE(std::filesystem::exists(f / "out.grd"));
}

TEST(Hostile, SixtyCharacterNameWithBlanksInside) {
  Folder f;
  std::string name = "a grid with blanks inside its name, sixty characters long.asc";
  name.resize(60, 'x');
  WRITE_FILE(f / name, kOneByOne + "3\n");
  Outcome run = RUN(f, name + "\nout.grd\n1\n");
  EXPECT_EQ(run.status, 0) << run.err;
  std::string grd = READ_FILE(f / "out.grd");
  EXPECT_EQ(grd.substr(grd.size() - 16), " 3.0000000    \r\n");
  if (!ON_WINDOWS())  // FIFOs are Linux's
    EXPECT_SAME_RUN(RUN_TO_FIFO(f, name + "\nout.grd\n1\n", "out.grd"), run, grd);
}

}  // namespace
}  // namespace veldrix_test

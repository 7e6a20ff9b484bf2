#include "input/header_values.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>

#include "textio/files/connection.hpp"
#include "textio/records/fixed.hpp"

namespace veldrix {
namespace {

constexpr std::int32_t kUnit = 70;

// A file holding the bytes, connected as kUnit while the object lives.
struct Connected {
  explicit Connected(const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
    CONNECT(kUnit, path.string(), "old");
  }
  ~Connected() {
    DISCONNECT(kUnit);
    std::filesystem::remove(path);
  }
  std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("vdx_hv_" + std::to_string(::getpid()));
};

// Every lookup below starts with 42 in val, has the default -5 and policy 1. An empty `out`
// stands for the two warning records of a failed lookup.
struct LookupCase {
  std::string file, key;
  std::int32_t keylen;
  bool real;  // DREADFIL3, else IREADFIL3
  double want;
  std::string out;
};

TEST(HeaderLookup, FindsTheKeywordLineOrWarns) {
  const std::string k79(79, 'k'), nc = "ncols";
  // clang-format off
  const LookupCase cases[] = {
      {"ncols 100\n", nc, 5, false, 100, " ncols        100\r\n"},
      {"a 1\nb 2\nc 3\nd 4\ne 5\nncols 6\r\n", nc, 5, false, 6, " ncols          6\r\n"},
      {"nrows 2\n1 2 3\n4 5 6\nncols 3\n", nc, 5, false, 3, " ncols          3\r\n"},
      {"ncols 1\nncols 2\n", nc, 5, false, 1, " ncols          1\r\n"},
      {"ncols\t7\n", nc, 5, false, 7, " ncols          7\r\n"},
      {"ncols  \t   8 9\n", nc, 5, false, 8, " ncols          8\r\n"},
      {"ncols ,\n", nc, 5, false, 42, " ncols         42\r\n"},  // a null keeps what val held
      {"ncols -1234567\n", nc, 5, false, -1234567, " ncols    *******\r\n"},
      {"nco   7\n", "nco", 5, false, 7, " nco          7\r\n"},  // the key padded with blanks
      {nc + std::string(72, ' ') + "12345\n", nc, 5, false, 123, " ncols        123\r\n"},
      {"ncols100\n ncols 100\nNCOLS 100\nNcols 100\nncolsx 100\n", nc, 5, false, -5, ""},
      {"ncols\nncols 100\n", nc, 5, false, -5, ""}, {"ncols \t\nncols 1\n", nc, 5, false, -5, ""},
      {"ncols abc\nncols 1\n", nc, 5, false, -5, ""}, {"ncols 3000000000\n", nc, 5, false, -5, ""},
      {nc + std::string(75, ' ') + "5\n", nc, 5, false, -5, ""}, {"", nc, 5, false, -5, ""},
      {k79 + "\t5\n", k79, 79, false, -5, ""},
      {"cellsize 30 40\n", "cellsize", 8, true, 30, " cellsize     30.000000    \r\n"},
      {"NODATA_value -9999\n", "NODATA_value", 12, true, -9999,
       " NODATA_value    -9999.0000    \r\n"},
      {"cellsize 1e100\n", "cellsize", 8, true, 1e100, " cellsize    0.10000000+101\r\n"},
      {"cellsize 1e400\n", "cellsize", 8, true, -5, ""},
  };
  // clang-format on
  for (const LookupCase& c : cases) {
    Connected file(c.file);
    std::int32_t ival = 42;
    double dval = 42;
    testing::internal::CaptureStdout();
    if (c.real)
      DREADFIL3(kUnit, c.key, c.keylen, -5, kPolicyWarn, dval);
    else
      IREADFIL3(kUnit, c.key, c.keylen, -5, kPolicyWarn, ival);
    std::string warned = " Warning: Could not read " + c.key +
                         "\r\n Using default value of: " + (c.real ? "-5.00000    " : "      -5") +
                         "\r\n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out.empty() ? warned : c.out) << c.file;
    EXPECT_EQ(c.real ? dval : ival, c.want) << c.file;
  }
}

TEST(HeaderLookup, SilentPolicyAndAnUncheckedPolicy) {
  Connected file("ncols 100\n");
  std::int32_t val = 42;
  testing::internal::CaptureStdout();
  IREADFIL3(kUnit, "nrows", 5, -5, kPolicySilent, val);
  EXPECT_EQ(val, -5);
  IREADFIL3(kUnit, "ncols", 5, -5, 3, val);  // a policy is looked at only after a failure
  EXPECT_EQ(val, 100);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " ncols        100\r\n");
  EXPECT_TRUE(ISBOT(" x") && ISBOT("\t") && !ISBOT("x ") && !ISBOT("\v") && !ISBOT("\r"));
}

// Standard output joins standard error, so the console record is checked with the stop text.
TEST(HeaderLookupDeathTest, StopsUnderPolicyZeroAndOnABadPolicy) {
  Connected file("ncols 100\n");
  std::int32_t i = 0;
  double d = 0;
  EXPECT_EXIT((::dup2(2, 1), DREADFIL3(kUnit, "NODATA_value", 12, 0, 0, d)),
              testing::ExitedWithCode(1), testing::Eq(" Fatal error reading NODATA_value\r\n"));
  EXPECT_EXIT((::dup2(2, 1), IREADFIL3(kUnit, "nrows", 5, 0, 3, i)), testing::ExitedWithCode(1),
              testing::Eq("Bad value of ifail passed to ireadfil3.\r\n"));
  EXPECT_EXIT((::dup2(2, 1), DREADFIL3(kUnit, "nrows", 5, 0, -1, d)), testing::ExitedWithCode(1),
              testing::Eq("Bad value of ifail passed to dreadfil3.\r\n"));
}

TEST(SkipRecordsDeathTest, PassesOverLinesAndFailsAtTheEnd) {
  Connected file("a\n\nc");
  std::array<char, 1> first;
  const FieldSpec layout[] = {TEXT()};
  SKIP_REC(kUnit, 0);
  SKIP_REC(kUnit, -2);
  EXPECT_EQ(READ_FIXED_STATUS(kUnit, layout, {INTO(std::span(first))}), 0);
  EXPECT_EQ(first[0], 'a');
  REWIND(kUnit);
  SKIP_REC(kUnit, 3);  // the empty line counts, and so does the last one without LF
  EXPECT_EQ(READ_FIXED_STATUS(kUnit, layout, {INTO(std::span(first))}), -1);
  REWIND(kUnit);
  std::string name = std::filesystem::absolute(file.path).lexically_normal().string();
  EXPECT_EXIT(SKIP_REC(kUnit, 4), testing::ExitedWithCode(24),
              testing::ContainsRegex("^forrtl: severe \\(24\\): end-of-file during read, unit 70, "
                                     "file " +
                                     name + "\r\r\n"));
}

}  // namespace
}  // namespace veldrix

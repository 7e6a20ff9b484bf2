// The records of the console dialogue, the header lookups and the grid writer, built in memory.
#include "record_build.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "input/lookup_layouts.hpp"
#include "textio/records/fixed.hpp"
#include "textio/records/free.hpp"

namespace veldrix {
namespace {

constexpr FieldSpec kBanner[] = {SKIP(1), TEXT()};
constexpr FieldSpec kMarker[] = {TEXT(4)};
constexpr FieldSpec kCellText[] = {TEXT(14)};
constexpr FieldSpec kCellValue[] = {REAL(14, 8)};
constexpr FieldSpec kTrailingSkip[] = {SKIP(3), LITERAL("ab"), SKIP(5)};

std::string FIXED(Layout layout, const std::vector<Value>& items) {
  std::array<char, 128> out;
  return {out.data(), BUILD_FIXED(out, layout, items)};
}
std::string FREE(const std::vector<Value>& items) {
  std::array<char, kFreeRecordLength> out;
  return {out.data(), BUILD_FREE(out, items)};
}

TEST(FixedRecord, ConsoleAndFileLayouts) {
  const std::string_view banner = "veldrix, version of October 10,2000     ";
  const std::int32_t hundred = 100, zero = 0, million = -1000000;
  const double xll = 523456.5, huge = 1.0e100, nodata = -9999.0, none = 0.0;
  // clang-format off
  const struct { Layout layout; std::vector<Value> items; std::string_view want; } rows[] = {
      {kBanner, {ITEM(banner)}, " veldrix, version of October 10,2000     "},  // 41 columns
      {kIntEcho, {ITEM("ncols"), ITEM(hundred)}, " ncols        100"},
      {kIntEcho, {ITEM("nrows"), ITEM(million)}, " nrows    *******"},
      {kRealEcho, {ITEM("xllcorner"), ITEM(xll)}, " xllcorner     523456.50    "},
      {kRealEcho, {ITEM("cellsize"), ITEM(huge)}, " cellsize    0.10000000+101"},
      {kWarning, {ITEM("nrows")}, " Warning: Could not read nrows"},
      {kFatal, {ITEM("NODATA_value")}, " Fatal error reading NODATA_value"},
      {kIntDefault, {ITEM(zero)}, " Using default value of:        0"},
      {kIntDefault, {ITEM(million)}, " Using default value of: -1000000"},
      {kRealDefault, {ITEM(nodata)}, " Using default value of: -9999.00    "},
      {kRealDefault, {ITEM(none)}, " Using default value of:  0.00000    "},
      {kMarker, {ITEM("DSAA")}, "DSAA"},
      {kTrailingSkip, {}, "   ab"},  // the length is the last column written, not skipped
  };
  // clang-format on
  for (const auto& r : rows) EXPECT_EQ(FIXED(r.layout, r.items), r.want);
}

TEST(FixedRecord, WorkTextIsBlankFilledThenBuilt) {
  std::array<char, 14> text;
  text.fill('x');
  const float cell = 99999.99f, negative_zero = -0.0f;
  WRITE_FIXED_STR(text, kCellValue, {ITEM(cell)});
  EXPECT_EQ(std::string_view(text.data(), 14), " 99999.992    ");
  WRITE_FIXED_STR(text, kCellText, {ITEM("  1.70141e+038")});
  EXPECT_EQ(std::string_view(text.data(), 14), "  1.70141e+038");
  WRITE_FIXED_STR(text, kCellValue, {ITEM(negative_zero)});
  EXPECT_EQ(std::string_view(text.data(), 14), " 0.0000000    ");
  std::array<char, 18> wide;
  wide.fill('x');
  WRITE_FIXED_STR(wide, kCellValue, {ITEM(cell)});
  EXPECT_EQ(std::string_view(wide.data(), 18), " 99999.992        ");
}

TEST(FreeRecord, TextsIntegersAndDoubles) {
  const std::int32_t nx = 2501, five = 5, four = 4;
  const double x0 = 650000.25, x1 = 651000.25, z0 = -99999.9921875, z1 = 99999.9921875;
  const std::string_view note = "   Note: corrects for ARC export by increasing";
  // clang-format off
  const struct { std::vector<Value> items; std::string_view want; } rows[] = {
      {{ITEM("mx: "), ITEM(nx)}, " mx:         2501"},
      {{ITEM("mx: "), ITEM(five)}, " mx:            5"},
      {{ITEM(five), ITEM(four)}, "           5           4"},
      {{ITEM(x0), ITEM(x1)}, "   650000.250000000        651000.250000000     "},
      {{ITEM(z0), ITEM(z1)}, "  -99999.9921875000        99999.9921875000     "},
      {{ITEM(note)}, "    Note: corrects for ARC export by increasing"},
      {{ITEM(five), ITEM("mx: ")}, "           5mx: "},  // only a text that starts the record
  };
  // clang-format on
  for (const auto& r : rows) EXPECT_EQ(FREE(r.items), r.want);
}

}  // namespace
}  // namespace veldrix

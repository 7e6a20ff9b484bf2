// The records of the console dialogue, the header lookups and the grid writer, built in memory.
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

const std::string_view kBannerText = "veldrix, version of October 10,2000     ";
const std::int32_t kHundred = 100, kZero = 0, kMillion = -1000000;
const double kXll = 523456.5, kHuge = 1.0e100, kNodata = -9999.0, kNone = 0.0;

struct FixedCase {
  const char* case_name;
  Layout layout;
  std::vector<Value> items;
  std::string_view want;
};

// clang-format off
const FixedCase kFixedCases[] = {
    {"BannerOf41Columns", kBanner, {ITEM(kBannerText)},
     " veldrix, version of October 10,2000     "},
    {"IntegerEcho", kIntEcho, {ITEM("ncols"), ITEM(kHundred)}, " ncols        100"},
    {"IntegerTooWideIsAsterisks", kIntEcho, {ITEM("nrows"), ITEM(kMillion)}, " nrows    *******"},
    {"RealEcho", kRealEcho, {ITEM("xllcorner"), ITEM(kXll)}, " xllcorner     523456.50    "},
    {"RealEchoWithAThreeDigitExponent", kRealEcho, {ITEM("cellsize"), ITEM(kHuge)},
     " cellsize    0.10000000+101"},
    {"Warning", kWarning, {ITEM("nrows")}, " Warning: Could not read nrows"},
    {"Fatal", kFatal, {ITEM("NODATA_value")}, " Fatal error reading NODATA_value"},
    {"IntegerDefaultZero", kIntDefault, {ITEM(kZero)}, " Using default value of:        0"},
    {"IntegerDefaultNegative", kIntDefault, {ITEM(kMillion)}, " Using default value of: -1000000"},
    {"RealDefault", kRealDefault, {ITEM(kNodata)}, " Using default value of: -9999.00    "},
    {"RealDefaultZero", kRealDefault, {ITEM(kNone)}, " Using default value of:  0.00000    "},
    {"Marker", kMarker, {ITEM("DSAA")}, "DSAA"},
    {"LengthIsTheLastColumnWrittenNotSkipped", kTrailingSkip, {}, "   ab"},
};
// clang-format on

class FixedLayouts : public testing::TestWithParam<FixedCase> {};

TEST_P(FixedLayouts, BuildTheirRecord) {
  const FixedCase& r = GetParam();
  EXPECT_EQ(FIXED(r.layout, r.items), r.want);
}

INSTANTIATE_TEST_SUITE_P(FixedRecord, FixedLayouts, testing::ValuesIn(kFixedCases),
                         [](const testing::TestParamInfo<FixedCase>& info) {
                           return info.param.case_name;
                         });

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

const std::int32_t kNx = 2501, kFive = 5, kFour = 4;
const double kX0 = 650000.25, kX1 = 651000.25, kZ0 = -99999.9921875, kZ1 = 99999.9921875;
const std::string_view kNote = "   Note: corrects for ARC export by increasing";

struct FreeCase {
  const char* case_name;
  std::vector<Value> items;
  std::string_view want;
};

// clang-format off
const FreeCase kFreeCases[] = {
    {"TextThenInteger", {ITEM("mx: "), ITEM(kNx)}, " mx:         2501"},
    {"TextThenOneDigitInteger", {ITEM("mx: "), ITEM(kFive)}, " mx:            5"},
    {"TwoIntegers", {ITEM(kFive), ITEM(kFour)}, "           5           4"},
    {"TwoDoubles", {ITEM(kX0), ITEM(kX1)}, "   650000.250000000        651000.250000000     "},
    {"NegativeAndPositiveDoubles", {ITEM(kZ0), ITEM(kZ1)},
     "  -99999.9921875000        99999.9921875000     "},
    {"TextStartingWithBlanks", {ITEM(kNote)}, "    Note: corrects for ARC export by increasing"},
    {"OnlyATextThatStartsTheRecordGetsABlank", {ITEM(kFive), ITEM("mx: ")}, "           5mx: "},
};
// clang-format on

class FreeItems : public testing::TestWithParam<FreeCase> {};

TEST_P(FreeItems, BuildTheirRecord) {
  const FreeCase& r = GetParam();
  EXPECT_EQ(FREE(r.items), r.want);
}

INSTANTIATE_TEST_SUITE_P(FreeRecord, FreeItems, testing::ValuesIn(kFreeCases),
                         [](const testing::TestParamInfo<FreeCase>& info) {
                           return info.param.case_name;
                         });

}  // namespace
}  // namespace veldrix

// Digits of the number fields: the worked tables, then sweeps against snprintf("%.*e") in the C
// locale, which produces the correctly rounded decimal digits of a double's exact value.
#include "textio/numbers/number_format.hpp"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <string_view>

namespace veldrix {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A field named as in the layouts: Iw, Gw.d of a double item, Sw.d of a single-precision item
// (the value converted to float), and the free-form fields F12 (integer) and F24 (double).
std::string FIELD(std::string_view field, double v) {
  std::size_t point = field.find('.');
  int d = point == field.npos ? 0 : std::atoi(field.data() + point + 1);
  std::string s(static_cast<std::size_t>(std::atoi(field.data() + 1)), '?');
  auto i = static_cast<std::int32_t>(field[0] == 'I' || field == "F12" ? v : 0);
  if (field == "F12") FORMAT_FREE_INT(i, std::span<char, kFreeIntWidth>(s.data(), s.size()));
  if (field == "F24") FORMAT_FREE_DOUBLE(v, std::span<char, kFreeDoubleWidth>(s.data(), s.size()));
  if (field[0] == 'I') FORMAT_I(i, s);
  if (field[0] == 'G') FORMAT_G(v, d, s);
  if (field[0] == 'S') FORMAT_G(static_cast<float>(v), d, s);
  return s;
}

// clang-format off
struct Case { std::string_view field; double value; std::string_view want; };
// clang-format on

void REPLAY(std::span<const Case> cases) {
  for (const Case& c : cases) EXPECT_EQ(FIELD(c.field, c.value), c.want) << c.field << c.value;
}

TEST(GeneralField, WorkedTableSingleAndDouble) {
  // clang-format off
  struct Row { double value; const char* single; const char* g14; const char* g12; };
  // clang-format on
  // clang-format off
  const Row rows[] = {
      {0.0, " 0.0000000    ", " 0.0000000    ", " 0.00000    "},
      {1.0, " 1.0000000    ", " 1.0000000    ", " 1.00000    "},
      {-1.0, "-1.0000000    ", "-1.0000000    ", "-1.00000    "},
      {0.5, "0.50000000    ", "0.50000000    ", "0.500000    "},
      {-0.5, "-.50000000    ", "-.50000000    ", "-.500000    "},
      {30.0, " 30.000000    ", " 30.000000    ", " 30.0000    "},
      {123.456, " 123.45600    ", " 123.45600    ", " 123.456    "},
      {99999.99, " 99999.992    ", " 99999.990    ", " 100000.    "},
      {-99999.99, "-99999.992    ", "-99999.990    ", "-100000.    "},
      {12345678.0, " 12345678.    ", " 12345678.    ", "0.123457E+08"},
      {0.09999999, "0.99999987E-01", "0.99999990E-01", "0.100000    "},
      {1.0e-5, "0.99999997E-05", "0.10000000E-04", "0.100000E-04"},
      {1.0e35, "0.10000000E+36", "0.10000000E+36", "0.100000E+36"},
      {1.70141e38, "0.17014100E+39", "0.17014100E+39", "0.170141E+39"},
      {-0.001, "-.10000000E-02", "-.10000000E-02", "-.100000E-02"},
      {1.0e100, nullptr, "0.10000000+101", "0.100000+101"},
  };
  // clang-format on
  for (const Row& r : rows) {
    if (r.single) {
      EXPECT_EQ(FIELD("S14.8", r.value), r.single) << r.value;
    }
    EXPECT_EQ(FIELD("G14.8", r.value), r.g14) << r.value;
    EXPECT_EQ(FIELD("G12.6", r.value), r.g12) << r.value;
  }
}

TEST(NumberFields, EdgeCases) {
  // clang-format off
  const Case cases[] = {
      {"I7", -1234567, "*******"}, {"I7", -1000000, "*******"}, {"I8", -1000000, "-1000000"},
      {"I7", 9999999, "9999999"}, {"I11", -2147483648.0, "-2147483648"},
      {"I10", -2147483648.0, "**********"}, {"F12", 0, "           0"}, {"F12", 7, "           7"},
      {"F12", -1, "          -1"}, {"F12", 2501, "        2501"}, {"F12", 123456, "      123456"},
      {"F12", -2147483648.0, " -2147483648"}, {"F12", 2147483647, "  2147483647"},
      {"F24", -0.0, "  0.000000000000000E+000"}, {"F24", 0.5, "  0.500000000000000     "},
      {"F24", 12345.678, "   12345.6780000000     "}, {"F24", -0.1, " -0.100000000000000     "},
      {"F24", 650000.25, "   650000.250000000     "}, {"F24", 1.0e-7, "  1.000000000000000E-007"},
      {"F24", 99999.9921875, "   99999.9921875000     "},
      {"F24", -99999.9921875, "  -99999.9921875000     "},
      {"F24", 123456789012345.0, "   123456789012345.     "},
      {"F24", -1.0e100, " -1.000000000000000E+100"},
      {"F24", 0.09999999999999999, "  0.100000000000000     "},  // 15 digits reach 0.1
      {"F24", 0.099999999999999, "  9.999999999999901E-002"},
      {"F24", 999999999999999.0, "   999999999999999.     "},
      {"F24", 999999999999999.9, "  9.999999999999999E+014"},  // 15 digits reach 1e15
      {"G14.8", 0.0999999999, "0.10000000    "}, {"G14.8", 0.099999999, "0.99999999E-01"},
      {"S14.8", 1.0e8, "0.10000000E+09"}, {"S14.8", 99999999.0, "0.10000000E+09"},
      {"G14.8", 99999999.4, " 99999999.    "}, {"G14.8", 99999999.6, "0.10000000E+09"},
      {"G14.8", 1.0e100, "0.10000000+101"}, {"G14.8", -1.0e100, "-.10000000+101"},
      {"G14.8", 1.0e-100, "0.10000000E-99"}, {"G14.8", 1.0e-101, "0.10000000-100"},
      {"S13.8", -1234.5, "*********    "}, {"S13.8", 1234.5, "1234.5000    "},
      {"S14.8", -0.0, " 0.0000000    "}, {"G14.8", -0.0, " 0.0000000    "},
      {"G12.6", -0.0, " 0.00000    "},
      {"S14.8", 1.4e-45, "0.14012985E-44"}, {"S14.8", 3.4028235e38, "0.34028235E+39"},
      {"S14.8", 1.00390625, " 1.0039062    "}, {"S14.8", 1.01171875, " 1.0117188    "},  // ties
      {"S14.8", -0.99999994, "-.99999994    "}, {"S14.8", 0.099999994, "0.99999994E-01"},
      {"S14.8", 0.1, "0.10000000    "}, {"S14.8", -1.0e-40, "-.99999461E-40"},
      {"S14.8", 16777215.0, " 16777215.    "}, {"S14.8", 1.17549435e-38, "0.11754944E-37"},
      {"S14.8", 99999992.0, " 99999992.    "}, {"S14.8", 999.99994, " 999.99994    "},  // below 10^k
      {"S14.8", kInf, " Infinity     "}, {"S14.8", -kInf, " -Infinity    "},
      {"S14.8", kNaN, " NaN          "}, {"G14.8", -kInf, " -Infinity    "},
      {"G12.6", kInf, " Infinity   "}, {"G12.6", kNaN, " NaN        "},
  };
  // clang-format on
  REPLAY(cases);
}

// The examples above the routines in number_format.hpp, line by line.
TEST(NumberFields, HeaderExamples) {
  // clang-format off
  const Case cases[] = {
      {"I8", 0, "       0"}, {"I7", 2501, "   2501"}, {"I7", -123456, "-123456"},
      {"I7", 12345678, "*******"}, {"I8", 123456789, "********"},
      {"S14.8", 1.0, " 1.0000000    "}, {"S14.8", 99999.99, " 99999.992    "},
      {"G14.8", -0.5, "-.50000000    "}, {"S14.8", 1.0e-5, "0.99999997E-05"},
      {"G14.8", 1.0e100, "0.10000000+101"}, {"G12.6", 99999.99, " 100000.    "},
      {"G14.8", 0.0, " 0.0000000    "}, {"G14.8", -0.0, " 0.0000000    "},
      {"G14.8", -kInf, " -Infinity    "}, {"S14.8", -kInf, " -Infinity    "},
      {"F24", 1.0, "   1.00000000000000     "}, {"F24", -1.5, "  -1.50000000000000     "},
      {"F24", 1.0e35, "  1.000000000000000E+035"}, {"F24", 0.0, "  0.000000000000000E+000"},
      {"F24", 0.05, "  5.000000000000000E-002"},
  };
  // clang-format on
  REPLAY(cases);
}
// The Gw.d field with w = d + 6 that snprintf's d significant digits of the value call for.
std::string EXPECTED_G(double v, int d) {
  bool negative = std::signbit(v);
  if (std::isnan(v) || std::isinf(v)) {
    std::string word = std::isnan(v) ? " NaN" : negative ? " -Infinity" : " Infinity";
    return word + std::string(static_cast<std::size_t>(d + 6) - word.size(), ' ');
  }
  if (v == 0) return " 0." + std::string(static_cast<std::size_t>(d - 1), '0') + "    ";
  char e[48];
  std::snprintf(e, sizeof e, "%.*e", d - 1, std::fabs(v));  // D.DDDDDDDe+XX
  std::string digits = e[0] + std::string(e + 2, static_cast<std::size_t>(d - 1));
  int k = std::atoi(e + d + 2) + 1;  // v ~ 0.D1...Dd x 10^k
  std::string sign = negative ? "-" : "";
  if (k >= 0 && k <= d) {
    std::size_t width = static_cast<std::size_t>(d + 2);
    std::string body = sign + digits.substr(0, k) + "." + digits.substr(k);
    if (k == 0 && body.size() < width) body = sign + "0." + digits;
    return std::string(width - body.size(), ' ') + body + "    ";
  }
  char exponent[16];
  std::snprintf(exponent, sizeof exponent, std::abs(k) <= 99 ? "E%c%02d" : "%c%03d",
                k < 0 ? '-' : '+', std::abs(k));
  return (negative ? "-." : "0.") + digits + exponent;
}

// The 24-column free-form field: 15 digits decide the form, 16 digits fill the exponent form.
std::string EXPECTED_FREE(double v) {
  char e[48], exponent[16];
  std::snprintf(e, sizeof e, "%.14e", std::fabs(v));
  int p = std::atoi(e + 17);
  std::string sign = std::signbit(v) ? "-" : "";
  if (p >= -1 && p <= 14) {
    std::string digits = e[0] + std::string(e + 2, 14);
    std::size_t g = static_cast<std::size_t>(p + 1);
    std::string body = sign + (g == 0 ? "0" : "") + digits.substr(0, g) + "." + digits.substr(g);
    return std::string(19 - body.size(), ' ') + body + "     ";
  }
  std::snprintf(e, sizeof e, "%.15e", std::fabs(v));
  int q = std::atoi(e + 18);
  std::snprintf(exponent, sizeof exponent, "E%c%03d", q < 0 ? '-' : '+', std::abs(q));
  std::string body = sign + std::string(e, 17) + exponent;
  return std::string(24 - body.size(), ' ') + body;
}

// The integer estimate of a decimal exponent that picks the digit scaling of every value.
TEST(NumberFields, DecimalExponentOfPowersOfTwo) {
  for (int e = -1000; e <= 1000; ++e) {
    ASSERT_EQ(FLOOR_LOG10_POW2(e), static_cast<int>(std::floor(e * std::log10(2.0)))) << e;
  }
}

constexpr int kSweep = 1'000'000;

// Random bit patterns over all exponents, at least a million of them finite and non-zero.
TEST(NumberFieldSweep, SingleG14_8AgreesWithSnprintf) {
  std::mt19937_64 rng(148);
  for (int n = 0; n < kSweep;) {
    float v = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
    ASSERT_EQ(FIELD("S14.8", v), EXPECTED_G(v, 8)) << std::hexfloat << v;
    n += std::isfinite(v) && v != 0;  // the few NaNs and infinities are checked on top
  }
}

// Every other double gets an exponent near the fixed forms (0.1 to 1e15), which random bit
// patterns alone seldom reach.
TEST(NumberFieldSweep, DoubleFieldsAgreeWithSnprintf) {
  std::mt19937_64 rng(24);
  for (int n = 0; n < kSweep;) {
    std::uint64_t bits = rng();
    if (n % 2) bits = (bits & ~(0x7ffULL << 52)) | ((1015 + rng() % 64) << 52);
    double v = std::bit_cast<double>(bits);
    if (!std::isfinite(v) || v == 0) continue;
    ++n;
    ASSERT_EQ(FIELD("G14.8", v), EXPECTED_G(v, 8)) << std::hexfloat << v;
    ASSERT_EQ(FIELD("G12.6", v), EXPECTED_G(v, 6)) << std::hexfloat << v;
    ASSERT_EQ(FIELD("F24", v), EXPECTED_FREE(v)) << std::hexfloat << v;
  }
}

// The cell's own G14.8 and the general routine's (the library's digits) on one value.
void SAME_CELL_TEXT(std::uint32_t bits) {
  float v = std::bit_cast<float>(bits);
  std::array<char, 14> cell{}, general{};
  FORMAT_G(v, 8, cell);
  FORMAT_G_GENERAL(v, 8, general);
  ASSERT_EQ(std::string_view(cell.data(), 14), std::string_view(general.data(), 14))
      << std::hexfloat << v << " bits " << std::hex << bits;
}

// Ten million values, half of random bit patterns, half with the exponents of the fixed form
// (0.1 to 10^8) where the cells of a grid lie; the exhaustive sweep below covers the rest.
TEST(NumberFieldSweep, CellG14_8AgreesWithGeneralRoutine) {
  std::mt19937 rng(19);
  for (int n = 0; n < 10'000'000; ++n) {
    std::uint32_t bits = rng();
    if (n % 2) bits = (bits & 0x807FFFFF) | ((123 + bits % 31) << 23);
    SAME_CELL_TEXT(bits);
    if (HasFatalFailure()) return;
  }
}

// Every binary32 pattern, zeros, infinities and NaNs included, against the general routine.
TEST(NumberFieldSweep, EverySingleValue) {
  const char* on = std::getenv("VELDRIX_EXHAUSTIVE");
  if (on == nullptr || std::string_view(on) != "1") {
    GTEST_SKIP()
        << "all 2^32 values take about 5 minutes on one core; VELDRIX_EXHAUSTIVE=1 runs them";
  }
  std::uint32_t bits = 0;
  do {
    SAME_CELL_TEXT(bits);
    if (HasFatalFailure()) return;
  } while (++bits != 0);
}

}  // namespace
}  // namespace veldrix

// Digits of numbers in the fixed columns of records. Every routine fills exactly the columns it is
// given; nothing here depends on a locale, and the decimal mark is always a point.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

namespace veldrix {

// The columns of the free-form number fields.
inline constexpr int kFreeIntWidth = 12;
inline constexpr int kFreeDoubleWidth = 24;

// Iw: the integer right-justified in out.size() columns; asterisks when it needs more.
//   I8 of 0 -> "       0"   I7 of 2501 -> "   2501"   I7 of -123456 -> "-123456"
//   I7 of 12345678 -> "*******"   I8 of 123456789 -> "********"
void FORMAT_I(std::int32_t value, std::span<char> out);

// Gw.d with w = out.size(), from the exact binary value of the item in its own width
// (rounded half to even). Fixed form plus four blanks while the rounded value has 0..d integer
// digits, the exponent form otherwise ("+101" without E beyond exponent 99).
//   G14.8 of 1.0f       -> " 1.0000000    "    G14.8 of 99999.99f -> " 99999.992    "
//   G14.8 of -0.5       -> "-.50000000    "    G14.8 of 1.0e-5f   -> "0.99999997E-05"
//   G14.8 of 1.0e100    -> "0.10000000+101"    G12.6 of 99999.99  -> " 100000.    "
//   G14.8 of 0.0 or -0.0 -> " 0.0000000    "   G14.8 of -inf      -> " -Infinity    "
void FORMAT_G(float value, int digits, std::span<char> out);
void FORMAT_G(double value, int digits, std::span<char> out);

// floor(e x log10 2) for |e| <= 1000: the decimal exponent of 2^e, by integer arithmetic (the
// estimate behind the exact digits of the G field, reached from outside by its test).
int FLOOR_LOG10_POW2(int e);

// FORMAT_G of a single-precision value by the library's digits: every width, and the oracle of
// the cell's own G14.8.
void FORMAT_G_GENERAL(float value, int digits, std::span<char> out);

// G14.8 of a single-precision cell from one integer product, kept in this header so that the grid
// writer's loop calls nothing for the usual cell. Its three tables are built in number_format.cpp.

__extension__ using U128 = unsigned __int128;

inline constexpr int kLeastBinaryExponent = -149;
inline constexpr int kMostBinaryExponent = 127;
inline constexpr int kLeastExponent = -50;

// For each binary exponent E of a single-precision value (2^E <= |v| < 2^(E+1)), the two scales
// that can give it 8 digits before the point, 10^(7-p) and 10^(6-p) with p = floor(E log10 2):
// each as a 64-bit power of ten, how far the 24-bit significand moves up so that the point of the
// product falls between its two words, and the row of its k in kCellForms. The second scale is
// taken from the significand `threshold` on (2^24: never), chosen before the multiply.
struct alignas(32) CellScale {
  std::uint64_t ten[2];
  std::uint32_t threshold;
  std::uint8_t up[2];    // 0 to 5
  std::uint8_t form[2];  // 2 x (k - kLeastExponent), k = p + 1 of the scale
};

// How the 14 columns are laid out for each k (|v| ~ 0.D1...D8 x 10^k) and sign: the fixed form
// puts its point after k digits (0 to 8), the exponent form after none and ends in E+kk. Columns
// 2 to 9 are the digits before the point, the point and the digits after it; column 10 is the
// last digit, or the point when all eight stand before it.
struct alignas(32) CellForm {
  std::uint64_t before;  // the mask of the digits before the point
  std::uint64_t point;   // the point in columns 2 to 9, or 0
  std::uint64_t rest;    // the point in column 10 (bits 24 to 31), the last four columns above it
  std::uint64_t lead;    // the first column
};

extern const std::array<CellScale, kMostBinaryExponent - kLeastBinaryExponent + 1> kCellScales;
extern const std::array<CellForm, 200> kCellForms;

extern const std::array<std::uint32_t, 10000> kFourDigits;

// The eight digits of n < 10^8 (leading zeros included) as the eight characters of one word,
// the first in its lowest byte: two looked-up groups of four.
inline std::uint64_t EIGHT_DIGITS(std::uint32_t n) {
  return kFourDigits[n / 10000] | std::uint64_t{kFourDigits[n % 10000]} << 32;
}

// The 8 digits of |v| = m x 2^(e-23) (finite, non-zero, m normalized to 24 bits) rounded to
// nearest, and the row of kCellForms for its k, from the product of the significand and a power
// of ten in 64 bits; adding one half to the product rounds it. That power is exact for 10^0 to
// 10^27 and off by under 2^-35 of the unit of the last digit otherwise, so false when the bits
// below the last digit lie within 2^-35 of one half, a tie included: the general routine decides.
inline bool CELL_DIGITS(std::uint64_t m, int e, std::uint32_t& digits, unsigned& form) {
  const CellScale& c = kCellScales[static_cast<std::size_t>(e - kLeastBinaryExponent)];
  unsigned i = 0;
  U128 product = U128{m << c.up[0]} * c.ten[0] + (std::uint64_t{1} << 63);
  if (m >= c.threshold) [[unlikely]]
    product = U128{m << c.up[i = 1]} * c.ten[1] + (std::uint64_t{1} << 63);
  if (static_cast<std::uint64_t>(product) + (1u << 29) < (1u << 30)) return false;
  digits = static_cast<std::uint32_t>(product >> 64);
  form = c.form[i];
  if (digits == 100'000'000) digits = 10'000'000, form += 2;  // 9.9999999x rounds to 10.000000
  return true;
}

// The 14 columns from the digits and the form, put together in two words that overlap.
inline void CELL_COLUMNS(std::uint32_t digits, const CellForm& f, char* out) {
  std::uint64_t d = EIGHT_DIGITS(digits);
  std::uint64_t low = d & f.before;
  std::uint64_t body = low | f.point | ((d - low) << 8);  // columns 2 to 9
  std::uint64_t tenth = ((d - low) >> 32) & 0xFF000000;   // column 10, at bit 24
  std::uint64_t first = f.lead | body << 8;               // columns 1 to 8
  std::uint64_t second = body >> 40 | tenth | f.rest;     // columns 7 to 14
  std::memcpy(out, &first, 8);
  std::memcpy(out + 6, &second, 8);
}

// G14.8 of a single-precision value into out[0, 14): every finite value but for the rare one
// whose digits CELL_DIGITS leaves to the general routine (false then, and for infinities and
// NaNs).
inline bool CELL_G14_8(float value, char* out) {
  auto bits = std::bit_cast<std::uint32_t>(value);
  std::uint32_t magnitude = bits & 0x7FFFFFFF;
  std::uint64_t m = (bits & 0x7FFFFF) | 0x800000;
  int e = static_cast<int>(magnitude >> 23) - 127;
  if (magnitude - 0x800000 >= 0x7F000000) [[unlikely]] {  // zero, subnormal, infinite or NaN
    if (magnitude >= 0x7F800000) return false;
    if (magnitude == 0) {
      std::memcpy(out, " 0.0000000    ", 14);
      return true;
    }
    int z = std::countl_zero(magnitude) - 8;  // a subnormal, normalized to 24 bits
    m = std::uint64_t{magnitude} << z;
    e = -126 - z;
  }
  std::uint32_t digits = 0;
  unsigned form = 0;
  if (!CELL_DIGITS(m, e, digits, form)) [[unlikely]]
    return false;
  CELL_COLUMNS(digits, kCellForms[form + (bits >> 31)], out);
  return true;
}

// Fast path: 55% of a whole 2501 x 2501 run against the general routine (median of 7 interleaved
// runs pinned to one core: 0.725 s against 1.604 s). Inline here, with the digits from a table of
// four and the scale chosen before the multiply: 9% more (7 pairs, 0.202 s against 0.221 s), and
// the benchmark's cell mix 7.7 ns against 11.0 (medians of 5 interleaved runs).
inline void FORMAT_G(float value, int digits, std::span<char> out) {
  if (digits != 8 || out.size() != 14 || !CELL_G14_8(value, out.data()))
    FORMAT_G_GENERAL(value, digits, out);
}

// The 12-column free-form integer field: FORMAT_I in 12 columns (every 32-bit value fits).
void FORMAT_FREE_INT(std::int32_t value, std::span<char, kFreeIntWidth> out);

// The 24-column free-form double field. 15 significant digits in fixed form (right-justified in
// 19 columns, then 5 blanks) while the 15-digit rounding lies in [0.1, 1e15); otherwise 16 digits
// in exponent form with a three-digit exponent, right-justified in all 24 columns.
//   1.0      -> "   1.00000000000000     "    -1.5 -> "  -1.50000000000000     "
//   1.0e35   -> "  1.000000000000000E+035"    0.0  -> "  0.000000000000000E+000"
//   0.05     -> "  5.000000000000000E-002"
void FORMAT_FREE_DOUBLE(double value, std::span<char, kFreeDoubleWidth> out);

}  // namespace veldrix

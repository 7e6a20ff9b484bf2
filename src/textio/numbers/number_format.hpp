// Digits of numbers in the fixed columns of records. Every routine fills exactly the columns it is
// given; nothing here depends on a locale, and the decimal mark is always a point.
#pragma once

#include <cstdint>
#include <span>

#include "textio/numbers/cell_g14_8.hpp"

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

#include "textio/numbers/number_format.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace veldrix {

// floor(e x log10 2) for |e| <= 1000: the decimal exponent of 2^e, by integer arithmetic
// (78913 / 2^18 ~ log10 2). Only its test reaches it from outside, through its own declaration.
int FLOOR_LOG10_POW2(int e) { return (e * 78913) >> 18; }

namespace {

// Significant digits of a positive finite value and its decimal exponent p (value ~ D.DDD x 10^p).
struct Digits {
  char text[24];
  int count = 0;
  int exponent = 0;
};

template <class F>
Digits SIGNIFICANT(F magnitude, int count) {
  char buf[48];
  auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, count - 1);
  (void)ec;  // the buffer holds every scientific form of these precisions
  Digits d;
  const char* p = buf;
  d.text[d.count++] = *p++;
  if (*p == '.') ++p;
  while (*p != 'e') d.text[d.count++] = *p++;
  std::from_chars(p + (p[1] == '+' ? 2 : 1), end, d.exponent);
  return d;
}

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3,  1e4,  1e5, 1e6,
                                   1e7, 1e8, 1e9, 1e10, 1e11, 1e12};

// The digits of a single-precision value by exact arithmetic: its 24-bit significand times
// 5^s (below 2^28) fits in the 53 bits of a double, so v x 10^s is exact for 0 <= s <= 12 and
// rounding that to an integer (half to even) is the rounding of the exact value: the count digits
// as a number, and p with the value ~ D.DDD x 10^p. False when the value lies outside what this
// covers (below about 1e-5 or from 1e8 on, with 8 digits).
inline bool SIGNIFICANT_EXACT(float magnitude, int count, std::uint32_t& digits, int& p) {
  if (count > 8) return false;
  // 2^e <= v < 2^(e+1) for a normal value; a subnormal one gets e = -127 and is refused below.
  int e = static_cast<int>(std::bit_cast<std::uint32_t>(magnitude) >> 23) - 127;
  p = FLOOR_LOG10_POW2(e);  // 10^p <= v < 10^(p+1) with p this estimate or one more
  int s = count - 1 - p;
  if (s < 1 || s > 12) return false;
  double t = static_cast<double>(magnitude) * kPowersOfTen[s];
  if (t >= kPowersOfTen[count]) t = static_cast<double>(magnitude) * kPowersOfTen[--s], ++p;
  double rounded = (t + 0x1p52) - 0x1p52;  // to an integer, half to even, as nearbyint: t < 2^52
  if (rounded >= kPowersOfTen[count]) rounded = kPowersOfTen[count - 1], ++p;  // 9.99.. -> 10.0..
  digits = static_cast<std::uint32_t>(rounded);
  return true;
}

// Right-justifies text in out, blanks on the left; asterisks when it does not fit.
void RIGHT_JUSTIFY(std::string_view text, std::span<char> out) {
  if (text.size() > out.size()) {
    std::fill(out.begin(), out.end(), '*');
    return;
  }
  auto start = out.size() - text.size();
  std::fill(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(start), ' ');
  std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(start));
}

// The eight digits of n < 10^8 (leading zeros included) as the eight characters of one word,
// the first in its lowest byte: the halves, quarters and digits are split in parallel lanes, so
// that no digit passes through memory on its way.
inline std::uint64_t EIGHT_DIGITS(std::uint32_t n) {
  std::uint64_t x = (n / 10000) | (std::uint64_t{n % 10000} << 32);
  std::uint64_t hundreds = ((x * 10486) >> 20) & 0x0000007F0000007F;  // x / 100 below 10^4
  x = ((x - hundreds * 100) << 16) | hundreds;
  std::uint64_t tens = ((x * 103) >> 10) & 0x000F000F000F000F;  // x / 10 below 100
  x = ((x - tens * 10) << 8) | tens;
  return x | 0x3030303030303030;
}

constexpr std::uint64_t kEightBlanks = 0x2020202020202020;

// The usual fixed form: 8 digits with 1 to 8 before the point, in 9 to 16 columns. The text is
// put together in a word and a byte or two and stored over a word of blanks; nothing is read
// back from memory, so nothing waits on its own stores.
inline void FIXED_EIGHT(bool negative, std::uint32_t digits, int k, std::span<char> out) {
  std::uint64_t x = EIGHT_DIGITS(digits);
  std::uint64_t word = x;  // the first eight characters of the text, then `last`
  char last = '.';
  if (k < 8) {
    std::uint64_t integer = x & ((std::uint64_t{1} << (8 * k)) - 1);
    word = integer | (std::uint64_t{'.'} << (8 * k)) | ((x - integer) << 8);
    last = static_cast<char>(x >> 56);
  }
  char after_last = last;
  if (negative) {
    last = static_cast<char>(word >> 56);
    word = (word << 8) | '-';
  }
  std::memcpy(out.data(), &kEightBlanks, 8);
  char* p = out.data() + out.size() - 9 - negative;
  std::memcpy(p, &word, 8);
  p[8] = last;
  if (negative) p[9] = after_last;
}

// The fixed form of a general field: its digits, k of them before the point, right-justified
// after blanks and the sign, with a "0" before the point of a value below 1 where it still fits;
// asterisks when the text does not fit.
void FIXED_FORM(bool negative, const Digits& d, int k, std::span<char> out) {
  auto length = static_cast<std::size_t>(negative + d.count + 1);
  if (length > out.size()) {
    std::fill(out.begin(), out.end(), '*');
    return;
  }
  bool zero = k == 0 && length < out.size();
  char* p = out.data() + out.size() - length - zero;
  std::fill(out.data(), p, ' ');
  if (negative) *p++ = '-';
  if (zero) *p++ = '0';
  std::copy_n(d.text, k, p);
  p[k] = '.';
  std::copy(d.text + k, d.text + d.count, p + k + 1);
}

// The significant digits of a positive finite value: by exact arithmetic for the usual single
// value, by the library's scientific conversion to that many digits for every other: the one
// digit source of every number field.
template <class F>
Digits DIGITS_OF(F magnitude, int count) {
  if constexpr (std::is_same_v<F, float>) {
    // Fast path: 43% of a whole 2501 x 2501 run (median of 7 A/B pairs), 646 instructions a cell.
    Digits d;
    std::uint32_t exact = 0;
    if (SIGNIFICANT_EXACT(magnitude, count, exact, d.exponent)) {
      std::uint64_t text = EIGHT_DIGITS(exact) >> (8 * (8 - count));  // the count digits
      std::memcpy(d.text, &text, 8);
      d.count = count;
      return d;
    }
  }
  return SIGNIFICANT(magnitude, count);
}

// Exponent form of a general field: 0.D1...Dd with E+kk, or +kkk without E beyond two digits.
void EXPONENT_FORM(bool negative, const Digits& d, int k, std::span<char> out) {
  char text[48];
  int n = 0;
  if (negative) text[n++] = '-';
  int zero_at = n;
  text[n++] = '.';
  for (int i = 0; i < d.count; ++i) text[n++] = d.text[i];
  int magnitude = std::abs(k);
  if (magnitude <= 99) text[n++] = 'E';
  text[n++] = k < 0 ? '-' : '+';
  if (magnitude > 99) text[n++] = static_cast<char>('0' + magnitude / 100 % 10);
  text[n++] = static_cast<char>('0' + magnitude / 10 % 10);
  text[n++] = static_cast<char>('0' + magnitude % 10);
  if (static_cast<std::size_t>(n) < out.size()) {
    std::copy_backward(text + zero_at, text + n, text + n + 1);
    text[zero_at] = '0';
    ++n;
  }
  RIGHT_JUSTIFY(std::string_view(text, static_cast<std::size_t>(n)), out);
}

void NOT_FINITE(bool nan, bool negative, std::span<char> out) {
  std::string_view word = nan ? "NaN" : (negative ? "-Infinity" : "Infinity");
  std::fill(out.begin(), out.end(), ' ');
  if (word.size() + 1 > out.size()) {
    std::fill(out.begin(), out.end(), '*');
    return;
  }
  std::copy(word.begin(), word.end(), out.begin() + 1);
}

// Kept out of line so that the usual single-precision cell, which never comes here, pays for no
// saved registers or stack frame of its own.
template <class F>
[[gnu::noinline]] void GENERAL(F value, int d, std::span<char> out) {
  if (out.size() < 5 || d < 1 || d > 17) {
    std::fill(out.begin(), out.end(), '*');
    return;
  }
  std::span<char> fixed = out.first(out.size() - 4);
  std::fill(out.end() - 4, out.end(), ' ');
  if (!std::isfinite(value)) return NOT_FINITE(std::isnan(value), value < 0, out);
  if (value == 0) {
    Digits zeros;
    zeros.count = d - 1;
    std::fill(zeros.text, zeros.text + zeros.count, '0');
    return FIXED_FORM(false, zeros, 0, fixed);
  }
  bool negative = value < 0;
  Digits digits = DIGITS_OF(negative ? -value : value, d);
  int k = digits.exponent + 1;  // value ~ 0.D1...Dd x 10^k
  if (k >= 0 && k <= d) return FIXED_FORM(negative, digits, k, fixed);
  EXPONENT_FORM(negative, digits, k, out);
}

}  // namespace

void FORMAT_I(std::int32_t value, std::span<char> out) {
  char text[16];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  (void)ec;
  RIGHT_JUSTIFY(std::string_view(text, static_cast<std::size_t>(end - text)), out);
}

// G of 8 digits in 13 to 20 columns where the value takes the fixed form with 1 to 8 digits
// before the point: what nearly every cell of a grid comes to. Zeros, subnormals, infinities
// and NaNs all fall outside the exponents SIGNIFICANT_EXACT takes; false for them and for every
// other case, which the general routine then writes.
// Fast path: 6.5% of a whole 2501 x 2501 run (median of 7 A/B pairs), 105 instructions a cell.
inline bool USUAL_SINGLE(float value, int digits, std::span<char> out) {
  if (digits != 8 || out.size() > 20) return false;
  auto bits = std::bit_cast<std::uint32_t>(value);
  bool negative = (bits >> 31) != 0;
  if (out.size() < 13u + negative) return false;  // the text needs 9 columns, 10 with its sign
  float magnitude = std::bit_cast<float>(bits & 0x7FFFFFFF);
  std::uint32_t exact = 0;
  int p = 0;
  if (!SIGNIFICANT_EXACT(magnitude, 8, exact, p) || p < 0 || p > 7) return false;
  FIXED_EIGHT(negative, exact, p + 1, out.first(out.size() - 4));
  std::memcpy(out.data() + out.size() - 4, &kEightBlanks, 4);
  return true;
}

void FORMAT_G(float value, int digits, std::span<char> out) {
  if (!USUAL_SINGLE(value, digits, out)) GENERAL(value, digits, out);
}
void FORMAT_G(double value, int digits, std::span<char> out) { GENERAL(value, digits, out); }

void FORMAT_FREE_INT(std::int32_t value, std::span<char, kFreeIntWidth> out) {
  FORMAT_I(value, out);
}

void FORMAT_FREE_DOUBLE(double value, std::span<char, kFreeDoubleWidth> out) {
  if (!std::isfinite(value)) {
    std::string_view word = std::isnan(value) ? "NaN" : (value < 0 ? "-Infinity" : "Infinity");
    return RIGHT_JUSTIFY(word, out);
  }
  if (value == 0) return RIGHT_JUSTIFY("0.000000000000000E+000", out);
  bool negative = value < 0;
  double magnitude = negative ? -value : value;
  char text[32];
  int n = 0;
  if (negative) text[n++] = '-';
  Digits r = DIGITS_OF(magnitude, 15);
  if (r.exponent >= -1 && r.exponent <= 14) {
    int before_point = r.exponent + 1;
    if (before_point == 0) text[n++] = '0';
    for (int i = 0; i < before_point; ++i) text[n++] = r.text[i];
    text[n++] = '.';
    for (int i = before_point; i < 15; ++i) text[n++] = r.text[i];
    std::fill(out.end() - 5, out.end(), ' ');
    return RIGHT_JUSTIFY(std::string_view(text, static_cast<std::size_t>(n)), out.first(19));
  }
  Digits e = DIGITS_OF(magnitude, 16);
  text[n++] = e.text[0];
  text[n++] = '.';
  for (int i = 1; i < 16; ++i) text[n++] = e.text[i];
  text[n++] = 'E';
  text[n++] = e.exponent < 0 ? '-' : '+';
  int p = std::abs(e.exponent);
  text[n++] = static_cast<char>('0' + p / 100);
  text[n++] = static_cast<char>('0' + p / 10 % 10);
  text[n++] = static_cast<char>('0' + p % 10);
  RIGHT_JUSTIFY(std::string_view(text, static_cast<std::size_t>(n)), out);
}

}  // namespace veldrix

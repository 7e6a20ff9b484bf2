#include "textio/numbers/number_format.hpp"

#include <algorithm>
#include <array>
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
// (78913 / 2^18 ~ log10 2).
constexpr int LOG10_POW2(int e) { return (e * 78913) >> 18; }
int FLOOR_LOG10_POW2(int e) { return LOG10_POW2(e); }

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

// The significant digits of a positive finite value by the library's scientific conversion: the
// digit source of every number field but the single-precision cell's.
template <class F>
Digits DIGITS_OF(F magnitude, int count) {
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

// --- G14.8 of a single-precision cell, from one integer product ---------------------------------

// 10^s ~ m x 2^b with m a 64-bit integer whose top bit is set, rounded to nearest; exact where
// 10^s is (0 <= s <= 27: 5^s fits in 64 bits).
struct PowerOfTen {
  std::uint64_t m;
  int b;
};

constexpr int BIT_LENGTH(U128 x) {
  int n = 0;
  for (; x != 0; x >>= 1) ++n;
  return n;
}

// 5^s for s >= 0 is exact in 128 bits up to s = 55; 5^-t is 2^(63+c) / 5^t by long division,
// one quotient bit a step, where 5^t < 2^c.
constexpr PowerOfTen POWER_OF_TEN(int s) {
  U128 five = 1;
  for (int i = 0; i < (s < 0 ? -s : s); ++i) five *= 5;
  int c = BIT_LENGTH(five);
  if (s >= 0) {
    int drop = c > 64 ? c - 64 : 0;
    U128 m = (five << (64 - c + drop)) >> drop;  // normalized, the dropped bits below it
    U128 rest = drop > 0 ? five & ((U128{1} << drop) - 1) : 0;
    bool up = drop > 0 && (rest >> (drop - 1)) != 0;
    return {static_cast<std::uint64_t>(m) + up, s + c - 64};
  }
  U128 r = 1, q = 0;
  for (int i = 0; i < 63 + c; ++i) {
    r <<= 1;
    q = (q << 1) | (r >= five ? 1 : 0);
    if (r >= five) r -= five;
  }
  return {static_cast<std::uint64_t>(q) + (2 * r >= five ? 1 : 0), s - 63 - c};
}

// The least 24-bit significand whose product with the first scale reaches 10^8 (2^24 if none),
// by bisection: the product grows with the significand.
constexpr std::uint32_t SECOND_SCALE_FROM(const CellScale& c) {
  std::uint64_t low = std::uint64_t{1} << 23, high = std::uint64_t{1} << 24;
  while (low < high) {
    std::uint64_t mid = (low + high) / 2;
    if (((U128{mid << c.up[0]} * c.ten[0]) >> 64) >= 100'000'000) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  return static_cast<std::uint32_t>(low);
}

constexpr std::array<CellScale, kMostBinaryExponent - kLeastBinaryExponent + 1> CELL_SCALES() {
  std::array<CellScale, kMostBinaryExponent - kLeastBinaryExponent + 1> t{};
  for (int e = kLeastBinaryExponent; e <= kMostBinaryExponent; ++e) {
    CellScale& c = t[static_cast<std::size_t>(e - kLeastBinaryExponent)];
    int p = LOG10_POW2(e);
    for (int i = 0; i < 2; ++i) {
      PowerOfTen ten = POWER_OF_TEN(7 - p - i);
      c.ten[i] = ten.m;
      c.up[i] = static_cast<std::uint8_t>(64 + (e - 23) + ten.b);
      c.form[i] = static_cast<std::uint8_t>(2 * (p + i + 1 - kLeastExponent));
    }
    c.threshold = SECOND_SCALE_FROM(c);
  }
  return t;
}

constexpr CellForm CELL_FORM(int k, bool negative) {
  bool fixed = k >= 0 && k <= 8;
  int before = fixed ? k : 0;
  int a = k < 0 ? -k : k;
  std::uint64_t tail =
      fixed ? 0x20202020
            : ('E' | std::uint64_t(k < 0 ? '-' : '+') << 8 | std::uint64_t('0' + a / 10) << 16 |
               std::uint64_t('0' + a % 10) << 24);
  CellForm f{};
  f.before = before == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * before)) - 1;
  f.point = before == 8 ? 0 : std::uint64_t{'.'} << (8 * before);
  f.rest = (before == 8 ? std::uint64_t{'.'} << 24 : 0) | tail << 32;
  f.lead = negative ? '-' : (fixed && k > 0 ? ' ' : '0');
  return f;
}

constexpr std::array<CellForm, 200> CELL_FORMS() {
  std::array<CellForm, 200> t{};
  for (int i = 0; i < 200; ++i) {
    t[static_cast<std::size_t>(i)] = CELL_FORM(i / 2 + kLeastExponent, i % 2 != 0);
  }
  return t;
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

constinit const std::array<CellScale, kMostBinaryExponent - kLeastBinaryExponent + 1> kCellScales =
    CELL_SCALES();
constinit const std::array<CellForm, 200> kCellForms = CELL_FORMS();
constinit const std::array<std::uint32_t, 10000> kFourDigits = [] {
  std::array<std::uint32_t, 10000> t{};
  for (std::uint32_t n = 0; n < 10000; ++n) {
    t[n] = 0x30303030 | n / 1000 | (n / 100 % 10) << 8 | (n / 10 % 10) << 16 | (n % 10) << 24;
  }
  return t;
}();

void FORMAT_I(std::int32_t value, std::span<char> out) {
  char text[16];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  (void)ec;
  RIGHT_JUSTIFY(std::string_view(text, static_cast<std::size_t>(end - text)), out);
}

void FORMAT_G_GENERAL(float value, int digits, std::span<char> out) { GENERAL(value, digits, out); }
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

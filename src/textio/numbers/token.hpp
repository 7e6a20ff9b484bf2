// A free-form value token, taken in runs of characters as the input holds them and kept in bounded
// form: at most kTokenDigits significant digits (a non-zero digit dropped beyond them is
// remembered), so a token of any length converts to the nearest value without being held whole.
// The usual grid token has a quicker way in, at the end.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

namespace veldrix {

// Enough for correct rounding: a binary64 halfway point has at most 767 significant digits.
inline constexpr int kTokenDigits = 800;

enum class TokenState : std::uint8_t { Start, Sign, Mantissa, ExpLetter, ExpSign, ExpDigits, Bad };

struct Token {
  TokenState state;
  bool truth;        // a truth value: T, F, .T or .F and whatever follows up to a separator
  bool truth_value;  // true for T
  bool negative;
  bool has_point;
  bool has_exponent;
  bool only_digits;  // nothing but digits so far: a repeat count when an asterisk follows
  bool sticky;       // a non-zero digit beyond kTokenDigits was dropped
  bool exp_negative;
  std::int64_t mantissa_digits;  // digits of the mantissa, leading zeros included
  std::int64_t shift;            // value = digits x 10^(shift + exponent)
  std::int64_t exponent;         // saturates at kExponentLimit
  int ndigits;                   // significant digits kept
  std::uint64_t leading;         // the first kLeadingDigits kept digits as a number
  char digits[kTokenDigits];     // the kept digits from kLeadingDigits on (the first are unused)
};

inline constexpr int kLeadingDigits = 19;  // every 19-digit number fits 64 bits

inline constexpr std::int64_t kExponentLimit = 1'000'000'000;

// The value of a digit; above 9 for any other character.
inline unsigned DIGIT_VALUE(char c) {
  return static_cast<unsigned>(static_cast<unsigned char>(c)) - '0';
}
inline bool IS_DIGIT(char c) { return DIGIT_VALUE(c) <= 9; }

// Blanks and tabs by a table: one load where two compares cost the row read 2%.
constexpr std::array<bool, 256> BLANKS() {
  std::array<bool, 256> table{};
  table[' '] = table['\t'] = true;
  return table;
}
inline constexpr std::array<bool, 256> kBlanks = BLANKS();
inline bool IS_BLANK(char c) { return kBlanks[static_cast<unsigned char>(c)]; }

inline void TOKEN_RESET(Token& t) {
  t.state = TokenState::Start;
  t.truth = t.truth_value = t.negative = t.has_point = t.has_exponent = false;
  t.only_digits = true;
  t.sticky = t.exp_negative = false;
  t.mantissa_digits = t.shift = t.exponent = 0;
  t.ndigits = 0;
  t.leading = 0;
}

// Takes the characters of a number token from p on, while they are digits, signs, points or
// exponent letters (E, D, Q in either case), in the order sign, mantissa with one point, letter,
// sign, exponent digits; anything out of that order makes the token bad. Returns the first
// character not taken (end when all are). A token split between two fills of the input goes on
// in a second call from where the first stopped.
const char* TOKEN_TAKE(Token& t, const char* p, const char* end);

// Makes the token bad: the caller met a character that no number holds before its separator.
inline void TOKEN_BAD(Token& t) { t.state = TokenState::Bad; }

// A complete number: mantissa digits, and exponent digits after a letter.
inline bool TOKEN_VALID(const Token& t) {
  return (t.state == TokenState::Mantissa && t.mantissa_digits > 0) ||
         t.state == TokenState::ExpDigits;
}

inline constexpr float kFloatPowers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                         1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
inline constexpr double kDoublePowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                           1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                           1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// n x 10^e when n and the power of ten are both exact in the item's type: one multiplication
// or division then rounds correctly (the common case of grid data). False when either is not.
template <class F>
bool EXACT_VALUE(std::uint64_t n, std::int64_t e, bool negative, F& out) {
  constexpr bool kFloat = std::is_same_v<F, float>;
  constexpr std::uint64_t kExactUpTo = std::uint64_t{1} << (kFloat ? 24 : 53);
  constexpr std::int64_t kPower = kFloat ? 10 : 22;
  if (n > kExactUpTo || e < -kPower || e > kPower) return false;
  const F* powers = nullptr;
  if constexpr (kFloat)
    powers = kFloatPowers;
  else
    powers = kDoublePowers;
  F value = static_cast<F>(n);
  value = e < 0 ? value / powers[-e] : value * powers[e];
  out = negative ? -value : value;
  return true;
}

// Conversions of a valid token: 0, or 64 when the value does not fit the type. An integer token
// (no point, no letter) must lie in the 32-bit range; any other converts as a double, truncated
// toward zero. Reals round to nearest; an underflow gives zero or a subnormal.
int TOKEN_TO_INT(const Token& t, std::int32_t& out);
int TOKEN_TO_REAL(const Token& t, float& out);
int TOKEN_TO_REAL(const Token& t, double& out);

// The usual grid token, [-]digits.digits, read eight bytes at a time, kept in this header so that
// the free-form statement's loop calls nothing for the usual value. Whatever it leaves (nullptr)
// the general scanner takes: every value it stores is the one the general scanner stores.

// A run of usual tokens reads ahead of each: this many bytes from a token's first on must lie in
// the record, the longest token (a sign, nine digits and a point) and its blank or tab.
inline constexpr std::ptrdiff_t kUsualTail = 12;

// Digits and the power of ten below this are both exact in single precision: one rounding.
inline constexpr std::uint64_t kExactSingle = std::uint64_t{1} << 24;

// The high bit of each byte of w that is not a digit (no carry crosses a byte).
inline std::uint64_t NOT_DIGITS(std::uint64_t w) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7F, kHigh = 0x8080808080808080;
  std::uint64_t above_nine = (w & kLow7) + 0x4646464646464646;  // high bit from ':' on
  std::uint64_t from_zero = (w & kLow7) + 0x5050505050505050;   // high bit from '0' on
  return (above_nine | ~from_zero | w) & kHigh;
}

// The value of the first count (1 to 8) characters of w, digits, the first in the lowest byte:
// moved up so that the last is the highest byte, then pairs, quads and the eight, each step one
// multiplication.
inline std::uint64_t LEADING_DIGITS(std::uint64_t w, int count) {
  constexpr std::uint64_t kZeros = 0x3030303030303030;
  std::uint64_t v = (w - kZeros) << (64 - 8 * count);
  v = ((v * (10 * 256 + 1)) >> 8) & 0x00FF00FF00FF00FF;
  v = ((v * (100 * 65536 + 1)) >> 16) & 0x0000FFFF0000FFFF;
  return (v * (10000 * (std::uint64_t{1} << 32) + 1)) >> 32;
}

// The bytes below the k-th of a word, for k = 0 to 8.
constexpr std::array<std::uint64_t, 9> FIRST_BYTES() {
  std::array<std::uint64_t, 9> masks{};
  for (std::size_t k = 1; k < masks.size(); ++k) masks[k] = masks[k - 1] << 8 | 0xFF;
  return masks;
}
inline constexpr std::array<std::uint64_t, 9> kFirstBytes = FIRST_BYTES();

// n / 10^places, n < 10^9 and places <= 9. Where n and the power are both exact in single
// precision, one division there; else one in double, then single precision. That second rounding
// is right: a double within half its unit of a point halfway between two singles (25 significant
// bits, M x 2^e with M odd) is that point itself, since n / 10^f differs from any such point
// other than itself by at least 1 / (M x 5^f) of it, above 2^-47, where half a unit of a double
// is 2^-53.
inline float USUAL_VALUE(std::uint64_t n, int places, bool negative) {
  if (n <= kExactSingle) {
    float f = static_cast<float>(n) / kFloatPowers[places];
    return negative ? -f : f;
  }
  double d = static_cast<double>(n) / kDoublePowers[places];
  return static_cast<float>(negative ? -d : d);
}

// The usual grid token at p: [-]digits.digits with 1 to 9 digits, or [-]digits with 1 to 7, ended
// by a blank or a tab; the caller sees to it that kUsualTail bytes from p on lie in the record.
// The first eight characters after the sign are looked at in one word, the point taken out of it
// with the word that starts one character further on. The character after its blank or tab, or
// nullptr: the general scanner decides then. Always inlined: called, it slows the row read by a
// sixth.
[[gnu::always_inline]] inline const char* USUAL_TOKEN(const char* p, float& out) {
  std::uint64_t words[2];  // from the sign and after it, both loaded before the sign is known
  std::memcpy(&words[0], p, 8);
  std::memcpy(&words[1], p + 1, 8);
  bool negative = (words[0] & 0xFF) == '-';
  p += negative;
  std::uint64_t w = negative ? words[1] : words[0];
  std::uint64_t other = NOT_DIGITS(w);
  if (other == 0) return nullptr;
  int before = std::countr_zero(other) >> 3, count = before;
  const char* stop = p + before;
  if (*stop == '.') {
    std::uint64_t rest = other & (other - 1);  // the next character that is not a digit
    int end = rest != 0 ? std::countr_zero(rest) >> 3 : 8;
    std::uint64_t below = kFirstBytes[static_cast<std::size_t>(before)];
    std::uint64_t after_point;
    std::memcpy(&after_point, p + 1, 8);
    w = (w & below) | (after_point & ~below);  // the point left out
    count = end - 1;
    stop = p + end;
    if (end == 8 && IS_DIGIT(*stop)) ++count, ++stop;  // the eighth digit, moved into w
  }
  if (count == 0) return nullptr;
  std::uint64_t n = LEADING_DIGITS(w, count);
  if (count == 8 && IS_DIGIT(*stop)) n = n * 10 + DIGIT_VALUE(*stop++), ++count;
  if (!IS_BLANK(*stop)) return nullptr;
  out = USUAL_VALUE(n, count - before, negative);
  return stop + 1;
}

// The usual tokens from p on, each after its blanks, into out while kUsualTail bytes of the
// record remain; returns how many, p left after the last one's blank or tab. Never inlined, so
// that its constants stay in registers through the loop.
// Fast path: a whole 2501 x 2501 run on one core 4% faster than the statement without it.
[[gnu::noinline]] inline std::size_t USUAL_RUN(const char*& p, const char* end,
                                               std::span<float> out) {
  if (end - p < kUsualTail) return 0;
  const char* last = end - kUsualTail;  // the last place a token may begin
  const char* q = p;
  float* to = out.data();
  float* const stop = to + out.size();
  for (; to != stop; ++to) {
    const char* at = q;
    if (at > last) break;
    if (IS_BLANK(*at)) [[unlikely]] {  // the token took one blank after it
      do ++at;
      while (at <= last && IS_BLANK(*at));
      if (at > last) break;
    }
    const char* after = USUAL_TOKEN(at, *to);
    if (after == nullptr) break;
    q = after;
  }
  p = q;
  return static_cast<std::size_t>(to - out.data());
}

}  // namespace veldrix

// A free-form value token, taken in runs of characters as the input holds them and kept in bounded
// form: at most kTokenDigits significant digits (a non-zero digit dropped beyond them is
// remembered), so a token of any length converts to the nearest value without being held whole.
#pragma once

#include <array>
#include <cstdint>
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

}  // namespace veldrix

// A free-form value token, taken in one character at a time and kept in bounded form: at most
// kTokenDigits significant digits (a non-zero digit dropped beyond them is remembered), so a
// token of any length converts to the nearest value without being held whole.
#pragma once

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
  std::uint64_t leading;         // the kept digits as a number, while there are kLeadingDigits
  char digits[kTokenDigits];     // the kept digits, read only when more than kLeadingDigits
};

inline constexpr int kLeadingDigits = 19;  // every 19-digit number fits 64 bits

inline constexpr std::int64_t kExponentLimit = 1'000'000'000;

inline void TOKEN_RESET(Token& t) {
  t.state = TokenState::Start;
  t.truth = t.truth_value = t.negative = t.has_point = t.has_exponent = false;
  t.only_digits = true;
  t.sticky = t.exp_negative = false;
  t.mantissa_digits = t.shift = t.exponent = 0;
  t.ndigits = 0;
  t.leading = 0;
}

inline bool IS_DIGIT(char c) { return c >= '0' && c <= '9'; }
inline bool IS_EXPONENT_LETTER(char c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q';
}

inline void KEEP_DIGIT(Token& t, char c) {
  if (t.ndigits < kLeadingDigits) t.leading = t.leading * 10 + static_cast<std::uint64_t>(c - '0');
  t.digits[t.ndigits++] = c;
}

inline void MANTISSA_DIGIT(Token& t, char c) {
  ++t.mantissa_digits;
  if (t.ndigits == 0 && c == '0') {
    if (t.has_point) --t.shift;
  } else if (t.ndigits < kTokenDigits) {
    KEEP_DIGIT(t, c);
    if (t.has_point) --t.shift;
  } else {
    t.sticky |= c != '0';
    if (!t.has_point) ++t.shift;
  }
}

// Takes the next character of a number token: digits, signs, one point, one exponent letter
// (E, D, Q in either case, never first) in the order sign, mantissa, letter, sign, digits.
inline void TOKEN_ADD(Token& t, char c) {
  if (t.state == TokenState::Mantissa && IS_DIGIT(c)) return MANTISSA_DIGIT(t, c);  // most of it
  switch (t.state) {
    case TokenState::Start:
      if (c == '+' || c == '-') {
        t.negative = c == '-';
        t.only_digits = false;
        t.state = TokenState::Sign;
        return;
      }
      [[fallthrough]];
    case TokenState::Sign:
    case TokenState::Mantissa:
      if (IS_DIGIT(c)) {
        MANTISSA_DIGIT(t, c);
        t.state = TokenState::Mantissa;
      } else if (c == '.' && !t.has_point) {
        t.has_point = true;
        t.only_digits = false;
        t.state = TokenState::Mantissa;
      } else if (IS_EXPONENT_LETTER(c) && t.mantissa_digits > 0) {
        t.has_exponent = true;
        t.only_digits = false;
        t.state = TokenState::ExpLetter;
      } else {
        t.state = TokenState::Bad;
      }
      return;
    case TokenState::ExpLetter:
      if (c == '+' || c == '-') {
        t.exp_negative = c == '-';
        t.state = TokenState::ExpSign;
        return;
      }
      [[fallthrough]];
    case TokenState::ExpSign:
    case TokenState::ExpDigits:
      if (!IS_DIGIT(c)) {
        t.state = TokenState::Bad;
        return;
      }
      if (t.exponent < kExponentLimit) t.exponent = t.exponent * 10 + (c - '0');
      t.state = TokenState::ExpDigits;
      return;
    case TokenState::Bad: return;
  }
}

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

#include "textio/numbers/token.hpp"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <system_error>

#include "textio/ending/failure_table.hpp"

namespace veldrix {
namespace {

bool IS_EXPONENT_LETTER(char c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q';
}
bool IS_NUMBER_CHARACTER(char c) {
  return IS_DIGIT(c) || c == '+' || c == '-' || c == '.' || IS_EXPONENT_LETTER(c);
}

// Takes a run of mantissa digits. Zeros before the first non-zero digit only hold places; from
// it on, up to kTokenDigits digits are kept and a non-zero digit beyond them is remembered.
// The first kLeadingDigits are kept as a number only: every grid value has fewer, and those
// go without a store each (to the compiler, a character stored into the token might be any of
// its fields; hence the locals).
const char* MANTISSA_RUN(Token& t, const char* p, const char* end) {
  const char* first = p;
  if (t.ndigits == 0)
    while (p < end && *p == '0') ++p;
  auto zeros = p - first;
  std::uint64_t leading = t.leading;
  std::ptrdiff_t room = std::max(0, kLeadingDigits - t.ndigits);
  const char* stop = p + std::min(end - p, room);
  const char* run = p;
  for (unsigned d = 0; p < stop && (d = DIGIT_VALUE(*p)) <= 9; ++p) leading = leading * 10 + d;
  int n = t.ndigits + static_cast<int>(p - run);
  bool sticky = t.sticky;
  if (n >= kLeadingDigits) {
    for (; p < end && IS_DIGIT(*p); ++p) {
      if (n < kTokenDigits)
        t.digits[n++] = *p;
      else
        sticky |= *p != '0';
    }
  }
  auto kept = n - t.ndigits;
  t.mantissa_digits += p - first;
  t.shift += t.has_point ? -(zeros + kept) : (p - first) - zeros - kept;
  t.leading = leading;
  t.ndigits = n;
  t.sticky = sticky;
  return p;
}

// A character after the exponent letter: one sign, then digits.
void EXPONENT_ADD(Token& t, char c) {
  if (t.state == TokenState::ExpLetter && (c == '+' || c == '-')) {
    t.exp_negative = c == '-';
    t.state = TokenState::ExpSign;
  } else if (!IS_DIGIT(c)) {
    t.state = TokenState::Bad;
  } else {
    if (t.exponent < kExponentLimit) t.exponent = t.exponent * 10 + (c - '0');
    t.state = TokenState::ExpDigits;
  }
}

// Any character of a number but a mantissa digit, in the order the grammar allows.
void TOKEN_ADD(Token& t, char c) {
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
      if (c == '.' && !t.has_point) {
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
    case TokenState::ExpSign:
    case TokenState::ExpDigits: return EXPONENT_ADD(t, c);
    case TokenState::Bad: return;
  }
}

template <class F>
bool EXACT_CONVERSION(const Token& t, std::int64_t e, F& out) {
  return !t.sticky && t.ndigits <= kLeadingDigits && EXACT_VALUE(t.leading, e, t.negative, out);
}

template <class F>
int TO_REAL(const Token& t, F& out) {
  if (t.truth) {
    out = t.truth_value ? F(-1) : F(0);
    return 0;
  }
  F zero = t.negative ? -F(0) : F(0);
  if (t.ndigits == 0) {
    out = zero;
    return 0;
  }
  std::int64_t e = (t.exp_negative ? -t.exponent : t.exponent) + t.shift;
  std::int64_t magnitude = e + t.ndigits;  // the value lies in [10^(magnitude-1), 10^magnitude)
  if (magnitude > 400) return kConversionError;
  if (magnitude < -400) {
    out = zero;
    return 0;
  }
  if (EXACT_CONVERSION(t, e, out)) return 0;
  char text[kTokenDigits + 32];
  char* p = text;
  if (t.negative) *p++ = '-';
  p = std::to_chars(p, text + sizeof text, t.leading).ptr;  // no leading zero: all its digits
  for (int i = kLeadingDigits; i < t.ndigits; ++i) *p++ = t.digits[i];
  if (t.sticky) {
    *p++ = '1';  // stands for the dropped digits: strictly between the same neighbours
    --e;
  }
  *p++ = 'e';
  p = std::to_chars(p, text + sizeof text, e).ptr;
  F value{};
  auto [end, ec] = std::from_chars(text, p, value);
  if (ec == std::errc::result_out_of_range) {
    if (magnitude > 0) return kConversionError;
    value = zero;
  }
  out = value;
  return 0;
}

}  // namespace

const char* TOKEN_TAKE(Token& t, const char* p, const char* end) {
  while (p < end) {
    bool in_mantissa = t.state == TokenState::Start || t.state == TokenState::Sign ||
                       t.state == TokenState::Mantissa;
    if (IS_DIGIT(*p) && in_mantissa) {
      p = MANTISSA_RUN(t, p, end);
      t.state = TokenState::Mantissa;
    } else if (IS_NUMBER_CHARACTER(*p)) {
      TOKEN_ADD(t, *p++);
    } else {
      break;
    }
  }
  return p;
}

int TOKEN_TO_REAL(const Token& t, float& out) { return TO_REAL(t, out); }
int TOKEN_TO_REAL(const Token& t, double& out) { return TO_REAL(t, out); }

int TOKEN_TO_INT(const Token& t, std::int32_t& out) {
  if (t.truth) {
    out = t.truth_value ? -1 : 0;
    return 0;
  }
  if (t.has_point || t.has_exponent) {
    double d = 0;
    if (TO_REAL(t, d) != 0 || !(d > -2147483649.0 && d < 2147483648.0)) return kConversionError;
    out = static_cast<std::int32_t>(d);
    return 0;
  }
  if (t.ndigits > 10) return kConversionError;
  auto v = static_cast<std::int64_t>(t.leading);
  if (t.negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return kConversionError;
  out = static_cast<std::int32_t>(v);
  return 0;
}

}  // namespace veldrix

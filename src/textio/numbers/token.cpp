#include "textio/numbers/token.hpp"

#include <charconv>
#include <system_error>

#include "textio/records/free.hpp"

namespace veldrix {
namespace {

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
  if (t.ndigits <= kLeadingDigits) {
    p = std::to_chars(p, text + sizeof text, t.leading).ptr;
  } else {
    for (int i = 0; i < t.ndigits; ++i) *p++ = t.digits[i];
  }
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

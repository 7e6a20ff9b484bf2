// The free-form string read into each item type: never anything but a status, the same split of
// the text whatever the type, and a plain decimal number converts to the nearest value of the
// type (strtod / strtof / strtoll as the independent path).
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "textio/records/free.hpp"

using namespace veldrix;

namespace {

void CHECK(bool ok, const char* what, std::string_view text) {
  if (ok) return;
  std::fprintf(stderr, "read_free_str: %s for \"%.*s\"\n", what, static_cast<int>(text.size()),
               text.data());
  std::abort();
}

bool KNOWN(int status) {
  return status == 0 || status == kEndOfData || status == kSyntaxError ||
         status == kConversionError;
}

bool DIGITS(std::string_view s, std::size_t& p) {
  std::size_t start = p;
  while (p < s.size() && s[p] >= '0' && s[p] <= '9') ++p;
  return p > start;
}

// [+-] (digits [. [digits]] | . digits) [(E|e) [+-] digits]; point_or_exponent tells the form.
bool PLAIN_NUMBER(std::string_view s, bool& point_or_exponent) {
  std::size_t p = 0;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
  bool mantissa = DIGITS(s, p);
  point_or_exponent = false;
  if (p < s.size() && s[p] == '.') {
    ++p;
    point_or_exponent = true;
    mantissa |= DIGITS(s, p);
  }
  if (!mantissa) return false;
  if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
    ++p;
    point_or_exponent = true;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
    if (!DIGITS(s, p)) return false;
  }
  return p == s.size();
}

std::string_view TRIMMED(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

template <class F>
bool SAME_BITS(F a, F b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void CHECK_PLAIN(std::string_view text, bool point_or_exponent, int si, std::int32_t i, int sf,
                 float f, int sd, double d) {
  std::string number(TRIMMED(text));
  double ref_d = std::strtod(number.c_str(), nullptr);
  float ref_f = std::strtof(number.c_str(), nullptr);
  if (std::isinf(ref_d)) {
    CHECK(sd == kConversionError, "a double overflow is not status 64", text);
  } else {
    CHECK(sd == 0 && SAME_BITS(d, ref_d), "double is not the nearest value", text);
  }
  if (std::isinf(ref_f)) {
    CHECK(sf == kConversionError, "a single overflow is not status 64", text);
  } else {
    CHECK(sf == 0 && SAME_BITS(f, ref_f), "single is not the nearest value", text);
  }
  bool fits;
  std::int64_t expected = 0;
  if (point_or_exponent) {
    fits = sd == 0 && d > -2147483649.0 && d < 2147483648.0;
    if (fits) expected = static_cast<std::int32_t>(d);
  } else {
    errno = 0;
    long long v = std::strtoll(number.c_str(), nullptr, 10);
    fits = errno == 0 && v >= INT32_MIN && v <= INT32_MAX;
    if (fits) expected = v;
  }
  CHECK(si == (fits ? 0 : kConversionError), "integer status", text);
  CHECK(i == expected, "integer value", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::int32_t i = 77;
  float f = 7.0f;
  double d = 7.0;
  int si = READ_FREE_STR(text, INTO(i));
  int sf = READ_FREE_STR(text, INTO(f));
  int sd = READ_FREE_STR(text, INTO(d));
  CHECK(KNOWN(si) && KNOWN(sf) && KNOWN(sd), "unknown status", text);
  // Scanning does not depend on the type: only the conversion (64) may differ.
  for (int s : {kEndOfData, kSyntaxError}) {
    CHECK((si == s) == (sd == s) && (sf == s) == (sd == s), "types split differently", text);
  }
  CHECK(sd != kConversionError || sf == kConversionError, "double fails where single fits", text);
  if (sd == kEndOfData) CHECK(i == 77 && f == 7.0f && d == 7.0, "blank text changed an item", text);
  bool point_or_exponent = false;
  if (PLAIN_NUMBER(TRIMMED(text), point_or_exponent)) {
    CHECK_PLAIN(text, point_or_exponent, si, i, sf, f, sd, d);
  }
  return 0;
}

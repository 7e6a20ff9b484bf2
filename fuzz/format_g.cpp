// The general real field: G14.8 of a single and of a double, G12.6 of a double, from the fuzz
// bytes. Every field is built again from snprintf's "%.*e" digits (exact, ties to even) and must
// match byte for byte; it also parses back within half a unit of its last digit.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "textio/numbers/number_format.hpp"

using namespace veldrix;

namespace {

[[noreturn]] void FAIL(const char* what, double value, int width, int digits, std::string_view got,
                       const std::string& expected) {
  std::fprintf(stderr, "format_g: %s: G%d.%d of %.17g gave \"%.*s\", expected \"%s\"\n", what,
               width, digits, value, static_cast<int>(got.size()), got.data(), expected.c_str());
  std::abort();
}

std::string RIGHT(std::string text, std::size_t width) {
  if (text.size() < width) text.insert(0, width - text.size(), ' ');
  return text;
}

// The field as the layout rules build it; k is the decimal exponent of the rounded value.
std::string EXPECTED(double v, int d, int w, int& k) {
  k = 0;
  auto width = static_cast<std::size_t>(w);
  if (std::isnan(v)) return " NaN" + std::string(width - 4, ' ');
  if (std::isinf(v)) {
    std::string t = v < 0 ? " -Infinity" : " Infinity";
    return t + std::string(width - t.size(), ' ');
  }
  if (v == 0)
    return RIGHT("0." + std::string(static_cast<std::size_t>(d - 1), '0'), width - 4) + "    ";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", d - 1, std::fabs(v));
  std::string digits(1, buf[0]);
  digits += std::string(buf + 2, static_cast<std::size_t>(d - 1));
  k = std::atoi(std::strchr(buf, 'e') + 1) + 1;
  std::string sign = v < 0 ? "-" : "";
  if (k >= 0 && k <= d) {
    auto whole = static_cast<std::size_t>(k);
    std::string text = sign + digits.substr(0, whole) + "." + digits.substr(whole);
    if (whole == 0 && text.size() < width - 4) text.insert(sign.size(), "0");
    return RIGHT(text, width - 4) + "    ";
  }
  char exponent[16];
  if (k >= -99 && k <= 99) {
    std::snprintf(exponent, sizeof exponent, "E%c%02d", k < 0 ? '-' : '+', std::abs(k));
  } else {
    std::snprintf(exponent, sizeof exponent, "%c%03d", k < 0 ? '-' : '+', std::abs(k));
  }
  std::string text = sign + "." + digits + exponent;
  if (text.size() < width) text.insert(sign.size(), "0");
  return text.size() > width ? std::string(width, '*') : RIGHT(text, width);
}

// The field read back: blanks removed, an E put before an exponent sign that has no letter.
double PARSED(std::string_view field) {
  std::string t;
  for (char c : field) {
    if (c == ' ') continue;
    if ((c == '+' || c == '-') && !t.empty() && t.back() != 'E') t += 'E';
    t += c;
  }
  return std::strtod(t.c_str(), nullptr);
}

template <class F>
void CHECK_FIELD(F value, int digits, int width) {
  char out[16];
  std::memset(out, 0, sizeof out);
  FORMAT_G(value, digits, std::span<char>(out, static_cast<std::size_t>(width)));
  std::string_view got(out, static_cast<std::size_t>(width));
  auto v = static_cast<double>(value);
  int k = 0;
  std::string expected = EXPECTED(v, digits, width, k);
  if (got.find('\0') != std::string_view::npos) {
    FAIL("a column left unwritten", v, width, digits, got, expected);
  }
  if (out[width] != '\0') FAIL("a column past the field written", v, width, digits, got, expected);
  if (got != expected) FAIL("wrong field", v, width, digits, got, expected);
  if (!std::isfinite(v)) return;
  double back = PARSED(got);
  double bound = 0.5 * std::pow(10.0, k - digits);
  // strtod itself rounds: allow a few units in the last place of v beyond the bound.
  double slack = 4 * std::numeric_limits<double>::epsilon() * std::fabs(v) + 1e-300;
  if (!(std::fabs(back - v) <= bound + slack)) {
    FAIL("does not read back within its precision", v, width, digits, got, expected);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  float f = 0;
  double d = 0;
  std::memcpy(&f, data, std::min(size, sizeof f));
  std::memcpy(&d, data, std::min(size, sizeof d));
  CHECK_FIELD(f, 8, 14);
  CHECK_FIELD(d, 8, 14);
  CHECK_FIELD(d, 6, 12);
  if (size >= 8) CHECK_FIELD(static_cast<float>(d), 8, 14);  // singles of every magnitude
  return 0;
}

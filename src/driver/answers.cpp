#include "driver/answers.hpp"

#include <charconv>

#include "textio/ending/error_stream.hpp"
#include "textio/files/connection.hpp"
#include "textio/numbers/token.hpp"

namespace veldrix {
namespace {

bool IS_TRAILING_BLANK(char c) { return IS_BLANK(c) || c == '\r'; }
bool IS_TRUTH_LETTER(char c) { return c == 'T' || c == 't' || c == 'F' || c == 'f'; }

std::size_t DIGITS_FROM(std::string_view s, std::size_t k) {
  while (k < s.size() && IS_DIGIT(s[k])) ++k;
  return k;
}

// The end of the plain number that starts at k, or k when none does.
std::size_t PLAIN_END(std::string_view s, std::size_t k) {
  std::size_t p = k + (k < s.size() && (s[k] == '+' || s[k] == '-'));
  std::size_t digits_end = DIGITS_FROM(s, p);
  std::size_t count = digits_end - p;
  p = digits_end;
  if (p < s.size() && s[p] == '.') {
    std::size_t fraction_end = DIGITS_FROM(s, p + 1);
    count += fraction_end - (p + 1);
    p = fraction_end;
  }
  if (count == 0) return k;
  if (p == s.size() || (s[p] != 'E' && s[p] != 'e' && s[p] != 'D' && s[p] != 'd')) return p;
  std::size_t e = p + 1 + (p + 1 < s.size() && (s[p + 1] == '+' || s[p + 1] == '-'));
  std::size_t exponent_end = DIGITS_FROM(s, e);
  return exponent_end > e ? exponent_end : k;
}

bool IS_CONTINUATION(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Whether the bytes end in the first part of a UTF-8 character: a lead byte and fewer
// continuation bytes than it announces.
//   "ab\xC3" -> true    "ab\xC3\xA9" -> false    "\xE2\x82" -> true    "ab" -> false
bool ENDS_IN_PART(std::string_view bytes) {
  std::size_t continuations = 0;
  while (continuations < 3 && continuations < bytes.size() &&
         IS_CONTINUATION(bytes[bytes.size() - 1 - continuations]))
    ++continuations;
  if (continuations == bytes.size()) return false;
  auto lead = static_cast<unsigned char>(bytes[bytes.size() - 1 - continuations]);
  std::size_t length = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
  return continuations + 1 < length;
}

// The line without its trailing blanks, tabs and CRs, at most 40 characters of it shown.
std::string_view SHOWN_ANSWER(std::string_view line, bool& cut) {
  while (!line.empty() && IS_TRAILING_BLANK(line.back())) line.remove_suffix(1);
  cut = line.size() > 40;
  return line.substr(0, 40);
}

std::string_view REASON(FactorForm form, float factor) {
  switch (form) {
    case FactorForm::Plain: return "";
    case FactorForm::Comma: return ": a comma ends a value; write decimals with a point";
    case FactorForm::TrailingText: return ": the rest of the line after the number is ignored";
    case FactorForm::Truth:
      return factor == 0.0f ? ": an answer starting with F or .F is the truth value false"
                            : ": an answer starting with T or .T is the truth value true";
    case FactorForm::NoValue: return ": a comma or slash first gives no value, the factor keeps -1";
    case FactorForm::Repeat: return ": n*v is a repeat count n and the value v (n* alone: none)";
    case FactorForm::OtherNumber: return ": not a plain number";
  }
  return "";
}

}  // namespace

FactorForm FACTOR_FORM(std::string_view line) {
  std::size_t k = 0;
  while (k < line.size() && IS_BLANK(line[k])) ++k;
  if (k == line.size()) return FactorForm::Plain;  // no value on it: nothing to say
  if (line[k] == ',' || line[k] == '/') return FactorForm::NoValue;
  bool point = line[k] == '.' && k + 1 < line.size();
  if (IS_TRUTH_LETTER(line[k]) || (point && IS_TRUTH_LETTER(line[k + 1]))) {
    return FactorForm::Truth;
  }
  std::size_t end = PLAIN_END(line, k);
  if (end < line.size() && line[end] == '*') return FactorForm::Repeat;
  if (end == k || (end < line.size() && !IS_TRAILING_BLANK(line[end]) && line[end] != ',' &&
                   line[end] != '/')) {
    return FactorForm::OtherNumber;
  }
  while (end < line.size() && IS_TRAILING_BLANK(line[end])) ++end;
  if (end == line.size()) return FactorForm::Plain;
  return line[end] == ',' ? FactorForm::Comma : FactorForm::TrailingText;
}

// Each warning is one line through the one writer of the error stream, ended by CR LF.
void WARN_FACTOR(std::int32_t unit, float factor) {
  std::string_view line;
  if (!RECORD_WHOLE(CONNECTION(unit).reader, line)) return;
  FactorForm form = FACTOR_FORM(line);
  if (form == FactorForm::Plain) return;
  bool cut = false;
  std::string_view shown = SHOWN_ANSWER(line, cut);
  char digits[32];
  auto end = std::to_chars(digits, digits + sizeof digits, factor).ptr;  // shortest round trip
  std::string_view value(digits, static_cast<std::size_t>(end - digits));
  ERROR_WRITE({"Warning: factor answer \"", shown, cut ? "...\" read as " : "\" read as ", value,
               REASON(form, factor)},
              "\r\n");
}

void WARN_CUT_NAME(std::int32_t unit, std::string_view which, std::string_view field) {
  Reader& r = CONNECTION(unit).reader;
  bool more = false, split = false, first = true;
  // Taking the rest of the line changes nothing: the next read passes over it anyway.
  do {
    for (; r.pos < r.visible_end && !more; ++r.pos) {
      if (first) split = ENDS_IN_PART(field) && IS_CONTINUATION(r.buf[r.pos]);
      first = false;
      more = !IS_TRAILING_BLANK(r.buf[r.pos]);
    }
  } while (!more && RECORD_MORE(r));
  if (!more) return;
  while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
  while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
  std::string_view cut = split ? " name cut at 60 bytes inside a character; the name used ends in "
                                 "part of it: \""
                               : " name cut at 60 bytes; the name used is \"";
  ERROR_WRITE({"Warning: ", which, cut, field, "\""}, "\r\n");
}

}  // namespace veldrix

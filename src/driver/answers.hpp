// Warnings about answers that do not mean what they look like. The dialogue reads them as it
// always has; these only say, on the error stream, what was used instead of what was typed.
#pragma once

#include <cstdint>
#include <string_view>

namespace veldrix {

// How the line that held the factor was written. Plain: blanks or tabs, one plain number, then
// nothing but blanks, tabs and CRs. A plain number is an optional sign, digits with an optional
// point (at least one digit, on either side of it), and an optional exponent: E or D in either
// case, an optional sign and digits.
//   " -0.3048 " -> Plain    "1.5D2" -> Plain     "1,5" -> Comma      "0.3048 m" -> TrailingText
//   "feet" -> Truth         "," -> NoValue       "2*7" -> Repeat     "1.5Q2" -> OtherNumber
enum class FactorForm : std::uint8_t {
  Plain,
  Comma,         // a comma after the number ends the value
  TrailingText,  // anything else after the number: the rest of the line is ignored
  Truth,         // T... or .T... is true (-1), F... or .F... false (0)
  NoValue,       // a comma or slash before any value: the factor is left as it was
  Repeat,        // n*v: a repeat count before the value (n* alone: no value)
  OtherNumber,   // a number in another form, such as a Q exponent
};
FactorForm FACTOR_FORM(std::string_view line);

// After the factor was read from `unit`: one warning line when the line that held it is not
// plain, saying what the factor became and why. Nothing when the reader no longer holds that line
// whole (a line that arrived in parts, or one longer than the read buffer).
void WARN_FACTOR(std::int32_t unit, float factor);

// After a name field was read from `unit`: one warning line when anything but blanks, tabs and
// CRs follows the field on the line, saying the name that is used, and that it ends in part of a
// character when the cut falls inside a UTF-8 character.
void WARN_CUT_NAME(std::int32_t unit, std::string_view which, std::string_view field);

}  // namespace veldrix

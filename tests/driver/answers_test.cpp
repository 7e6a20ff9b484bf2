#include "driver/answers.hpp"

#include <gtest/gtest.h>

namespace veldrix {
namespace {

struct FormCase {
  const char* name;
  std::string_view line;  // as the reader holds it: one CR before the LF already dropped
  FactorForm form;
};

// What counts as one plain number followed only by blanks, and the edges of each other form.
const FormCase kForms[] = {
    {"Integer", "2", FactorForm::Plain},
    {"SignedWithBlanksTabsAndCrAround", " \t-0.3048 \t\r", FactorForm::Plain},
    {"PointFirst", "+.5", FactorForm::Plain},
    {"PointLast", "5.", FactorForm::Plain},
    {"ExponentE", "1.5e-2", FactorForm::Plain},
    {"ExponentD", "1.5D+2", FactorForm::Plain},
    {"NoValueOnTheLine", "  ", FactorForm::Plain},
    {"CommaEndsTheValue", "1,5", FactorForm::Comma},
    {"CommaAfterBlanks", "1 ,5", FactorForm::Comma},
    {"TrailingWord", "0.3048 m", FactorForm::TrailingText},
    {"SlashAfterTheValue", "2/", FactorForm::TrailingText},
    {"CrInsideTheLine", "2\r5", FactorForm::TrailingText},
    {"FalseWord", "feet", FactorForm::Truth},
    {"TrueLetter", "t", FactorForm::Truth},
    {"PointTrue", ".TRUE.", FactorForm::Truth},
    {"PointFalseAfterBlanks", "  .f", FactorForm::Truth},
    {"CommaAlone", ",", FactorForm::NoValue},
    {"CommaBeforeAValue", ",5", FactorForm::NoValue},
    {"SlashAlone", " /", FactorForm::NoValue},
    {"RepeatedValue", "2*7", FactorForm::Repeat},
    {"RepeatWithoutValue", "3*", FactorForm::Repeat},
    {"QExponent", "1.5Q2", FactorForm::OtherNumber},
    {"ExponentLetterWithoutDigits", "1.5E", FactorForm::OtherNumber},
    {"ExponentSignWithoutDigits", "1.5E+", FactorForm::OtherNumber},
    {"PointAlone", ".", FactorForm::OtherNumber},
    {"SignAlone", "-", FactorForm::OtherNumber},
    {"LetterAfterDigits", "12m", FactorForm::OtherNumber},
};

class Forms : public testing::TestWithParam<FormCase> {};

TEST_P(Forms, OfTheFactorLine) { EXPECT_EQ(FACTOR_FORM(GetParam().line), GetParam().form); }

INSTANTIATE_TEST_SUITE_P(FactorAnswer, Forms, testing::ValuesIn(kForms),
                         [](const testing::TestParamInfo<FormCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace veldrix

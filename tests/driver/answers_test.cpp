#include "driver/answers.hpp"

#include <gtest/gtest.h>

namespace veldrix {
namespace {

struct FormCase {
  const char* name;
  std::string_view line;  // as the reader holds it: one CR before the LF already dropped
  FactorForm form;
};

// What counts as one plain number followed only by blanks, and the edges of each other form that
// the free-form read accepts (the whole-run table in tests/e2e/notices_test.cpp has one answer of
// each form).
const FormCase kForms[] = {
    {"Integer", "2", FactorForm::Plain},
    {"SignedWithBlanksTabsAndCrAround", " \t-0.3048 \t\r", FactorForm::Plain},
    {"PointFirst", "+.5", FactorForm::Plain},
    {"PointLast", "5.", FactorForm::Plain},
    {"ExponentD", "1.5D+2", FactorForm::Plain},
    {"NoValueOnTheLine", "  ", FactorForm::Plain},
    {"CommaAfterBlanks", "1 ,5", FactorForm::Comma},
    {"SlashAfterTheValue", "2/", FactorForm::TrailingText},
    {"PointFalseAfterBlanks", "  .f", FactorForm::Truth},
    {"CommaBeforeAValue", ",5", FactorForm::NoValue},
    {"RepeatWithoutValue", "3*", FactorForm::Repeat},
};

class Forms : public testing::TestWithParam<FormCase> {};

TEST_P(Forms, OfTheFactorLine) { EXPECT_EQ(FACTOR_FORM(GetParam().line), GetParam().form); }

INSTANTIATE_TEST_SUITE_P(FactorAnswer, Forms, testing::ValuesIn(kForms),
                         [](const testing::TestParamInfo<FormCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace veldrix

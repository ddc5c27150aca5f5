// The formula engine says so when it cannot give a true result: an overflow to infinity or
// NaN fails like a division by zero, a wrong number of arguments and a text too long to
// hold are parse errors that say what they found, and long formulas parse in linear time.
#include "formula/FormulaRunner.h"

#include <string>

TEST(FormulaLimits, AnOverflowToInfinityOrNanFailsTheRunWhileAGivenNanPassesThrough)
{
    FormulaRunner f;
    f.Number(0, 1e308).Number(2, std::nan("")).Number(3, 10.0);
    // Plain-number formulas run as number steps; with a call that is not plain arithmetic
    // (Value) every call runs on its own.
    for (const char* formula : {"1e308*10", "2^1e6", "1e308*10 - 1e308*10", "-1e308*10", "var0 * var3",
                                "Value(\"1e308\") * 10", "Value(\"2\") ^ 1e6", "Sqrt(var0 * 10)"})
        EXPECT_EQ(f.ExecErrorOf(formula), CForm::ErrCalculation) << formula;
    // A NaN given in is passed on, not made: no failure.
    for (const char* formula : {"var2 + 1", "var2 * Value(\"2\")"}) {
        EXPECT_EQ(f.ExecErrorOf(formula), 0) << formula;
        EXPECT_TRUE(std::isnan(ResultOf(f.Form()))) << formula;
    }
    EXPECT_DOUBLE_EQ(f.NumberOf("1e307*10"), 1e308);
}

TEST(FormulaLimits, AWrongNumberOfArgumentsOrATextTooLongIsAParseErrorSayingWhat)
{
    const std::string fits(CForm::kTokenSize - 1, 'x'), tooLong(CForm::kTokenSize, 'x');
    const struct { std::string formula; int code, column; const char* detail; } cases[] = {
        {"Sqrt(1,2)", CForm::ErrTooManyArguments, 1, "Sqrt takes 1 argument, given 2"},
        {"1 + FtoS(1, 2, 3)", CForm::ErrTooManyArguments, 5, "FtoS takes 2 arguments, given 3"},
        {"GetSubStr(\"abc\")", CForm::ErrMissingArgument, 17, "GetSubStr takes 3 arguments, given 1"},
        {"\"" + tooLong + "\"", CForm::ErrTooDeep, 1, "a text, number or word of 1024 characters, more than the 1023"},
        {"1 + " + std::string(2000, '7'), CForm::ErrTooDeep, 5, "a text, number or word of 2000 characters"},
    };
    FormulaRunner f;
    for (const auto& c : cases) {
        EXPECT_EQ(f.ErrorOf(c.formula.c_str()), std::pair(c.code, c.column)) << c.formula.substr(0, 40);
        const std::string detail(f.Form().GetErrorDetail());
        EXPECT_EQ(detail.rfind(c.detail, 0), 0u) << detail;
    }
    // One missing argument still defaults to 0 (stored formulas rely on it); a text that
    // fits is kept whole.
    EXPECT_EQ(f.TextOf("FtoS(3.7)"), "4");
    EXPECT_EQ(f.TextOf(("\"" + fits + "\"").c_str()), CString(fits));
    EXPECT_TRUE(f.Form().GetErrorDetail().IsEmpty());
}

TEST(FormulaLimits, ALongSumParsesAndRunsWhole)
{
    // 20,000 terms took 21 s when every call reserved room for one more; now milliseconds.
    std::string formula = "1";
    for (int i = 2; i <= 20000; ++i) formula += "+" + std::to_string(i);
    FormulaRunner f;
    EXPECT_EQ(f.NumberOf(formula.c_str()), 20000.0 * 20001.0 / 2.0);
}

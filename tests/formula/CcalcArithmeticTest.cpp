// The plain-number arithmetic of Ccalc must give exactly what the value operations give.
#include <KvsDataBlocks/formula/CForm.h>

#include <KvsDataBlocks/host/CKvsDouble.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

namespace {

// A number of another class: calls bound to it take the value interface path.
class OtherDouble : public CKvsDouble
{
public:
    using CKvsDouble::CKvsDouble;
};

bool SameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

} // namespace

TEST(CcalcArithmetic, PlainNumbersGiveWhatTheValueOperationsGive)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {0.0, -0.0, 1.0, 2.0, -2.5, 3.0, 1e-310, 1e308, -1e308, inf, -inf, std::nan(""), 0.1};
    const char* formulas[] = {"var0 + var1", "var0 - var1", "-var0", "var0 * var1", "var0 / var1", "var0 ^ var1",
                              "(var0 - var1) * (var0 + var1) / var1 ^ var0"};
    // Without a suffix the form runs its number steps; with a call that is not number
    // arithmetic it runs the calls one by one.
    for (const std::string suffix : {"", " + Value(\"0\")"})
    for (const char* plain : formulas) {
        const std::string formula = plain + suffix;
        CKvsDouble a0(7.0), a1(-7.0);
        OtherDouble b0(7.0), b1(-7.0);
        CForm fast, generic;
        fast.SetVar(0, &a0);
        fast.SetVar(1, &a1);
        generic.SetVar(0, &b0);
        generic.SetVar(1, &b1);
        ASSERT_TRUE(fast.SetFormula(formula.c_str()));
        ASSERT_TRUE(generic.SetFormula(formula.c_str()));
        for (double x : values) {
            for (double y : values) {
                a0.SetDouble(x);
                a1.SetDouble(y);
                b0.SetDouble(x);
                b1.SetDouble(y);
                CKvsType* rf = nullptr;
                CKvsType* rg = nullptr;
                ASSERT_TRUE(fast.Execute() && fast.GetResult(rf));
                ASSERT_TRUE(generic.Execute() && generic.GetResult(rg));
                double f = 0, g = 0;
                rf->GetDouble(f);
                rg->GetDouble(g);
                EXPECT_TRUE(SameBits(f, g)) << formula << " with " << x << ", " << y << ": " << f << " vs " << g;
            }
        }
    }
}

TEST(CcalcArithmetic, DivisionByZeroAndNegativeRootsKeepTheirRules)
{
    CKvsDouble v0(6.0), v1(0.0);
    CForm form;
    form.SetVar(0, &v0);
    form.SetVar(1, &v1);
    CKvsType* result = nullptr;
    double r = 0.0;
    // Division by zero gives the dividend.
    ASSERT_TRUE(form.SetFormula("var0 / var1"));
    ASSERT_TRUE(form.Execute() && form.GetResult(result));
    ASSERT_TRUE(result->GetDouble(r));
    EXPECT_EQ(r, 6.0);
    // A negative root leaves the result as the last run left it.
    ASSERT_TRUE(form.SetFormula("Sqrt(var0)"));
    v0.SetDouble(9.0);
    ASSERT_TRUE(form.Execute() && form.GetResult(result));
    result->GetDouble(r);
    EXPECT_EQ(r, 3.0);
    v0.SetDouble(-4.0);
    ASSERT_TRUE(form.Execute());
    result->GetDouble(r);
    EXPECT_EQ(r, 3.0);
    v0.SetDouble(std::nan(""));
    ASSERT_TRUE(form.Execute());
    result->GetDouble(r);
    EXPECT_TRUE(std::isnan(r));
}

TEST(CcalcArithmetic, SquaresAreExact)
{
    // "^2" multiplies: the correctly rounded square, where std::pow may be one unit off.
    const double x = -0x1.66cb116c5f0a9p-267;
    CKvsDouble v0(x);
    CForm form;
    form.SetVar(0, &v0);
    CKvsType* result = nullptr;
    double r = 0.0;
    ASSERT_TRUE(form.SetFormula("var0^2"));
    ASSERT_TRUE(form.Execute() && form.GetResult(result) && result->GetDouble(r));
    EXPECT_EQ(r, x * x);
    CKvsDouble square;
    ASSERT_TRUE(square.Pow1D(v0, *std::make_unique<CKvsDouble>(2.0)));
    EXPECT_EQ(square.Value(), x * x);
}

TEST(CcalcArithmetic, PowersReadTheirExponentOnEveryRun)
{
    // An exponent that holds 2 when the formula is parsed may change later.
    CKvsDouble base(2.0), exponent(2.0);
    CForm form;
    form.SetVar(0, &base);
    form.SetVar(1, &exponent);
    CKvsType* result = nullptr;
    double r = 0.0;
    ASSERT_TRUE(form.SetFormula("var0 ^ var1"));
    ASSERT_TRUE(form.Execute() && form.GetResult(result) && result->GetDouble(r));
    EXPECT_EQ(r, 4.0);
    exponent.SetDouble(3.0);
    ASSERT_TRUE(form.Execute() && form.GetResult(result) && result->GetDouble(r));
    EXPECT_EQ(r, 8.0);
    // A constant exponent of 2 gives what the value operation gives, special values included.
    ASSERT_TRUE(form.SetFormula("var0 ^ 2"));
    const double inf = std::numeric_limits<double>::infinity();
    for (double x : {-3.0, 0.0, -0.0, 1e-310, 1e200, -inf, std::nan(""), -0x1.66cb116c5f0a9p-267}) {
        base.SetDouble(x);
        CKvsDouble expected;
        expected.Pow1D(base, *std::make_unique<CKvsDouble>(2.0));
        ASSERT_TRUE(form.Execute() && form.GetResult(result) && result->GetDouble(r));
        EXPECT_TRUE(SameBits(r, expected.Value())) << x;
    }
}

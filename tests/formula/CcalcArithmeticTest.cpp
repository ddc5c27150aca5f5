// The plain-number arithmetic of Ccalc must give exactly what the value operations give,
// and every refused value operation must fail the run.

#include "FormulaRunner.h"

#include <KvsDataBlocks/values/CKvsDouble2D.h>

#include <cstring>

namespace {

// A number of another class: calls bound to it take the value interface path.
class OtherDouble : public CKvsDouble
{
public:
    using CKvsDouble::CKvsDouble;
};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b)); }

} // namespace

TEST(CcalcArithmetic, PlainNumbersRefusalsAndExactSquaresGiveWhatValueOperationsGive)
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
        ASSERT_TRUE(fast.SetFormula(formula.c_str()) && generic.SetFormula(formula.c_str())) << formula;
        for (double x : values)
            for (double y : values) {
                a0.SetDouble(x);
                a1.SetDouble(y);
                b0.SetDouble(x);
                b1.SetDouble(y);
                CKvsType *rf = nullptr, *rg = nullptr;
                // Both fail on the same values (a division by zero, an undefined power),
                // in the same call.
                const bool ranFast = fast.Execute() && fast.GetResult(rf);
                ASSERT_EQ(ranFast, generic.Execute() && generic.GetResult(rg)) << formula << " with " << x << ", " << y;
                if (!ranFast) {
                    CString nf, ng;
                    int cf = 0, cg = 0;
                    const bool named = fast.GetExecErrorCall(nf, cf) && generic.GetExecErrorCall(ng, cg);
                    EXPECT_EQ(std::tuple(named, nf, cf, fast.GetExecError(), generic.GetExecError()),
                              std::tuple(true, ng, cg, int{CForm::ErrCalculation}, int{CForm::ErrCalculation}))
                        << formula;
                    continue;
                }
                double f = 0, g = 0;
                rf->GetDouble(f);
                rg->GetDouble(g);
                EXPECT_TRUE(SameBits(f, g)) << formula << " with " << x << ", " << y << ": " << f << " vs " << g;
            }
    }
    // var0 .. var2 numbers 6, 0, -4; var3, var4 integers 100000 and INT_MIN; var5, var6
    // texts; var7, var8 vectors (1, 2) and (3, 0).
    const struct { const char* formula; const char* call; int column; } cases[] = {
        {"1/0", "/", 2},                {"var0 / var1", "/", 6},           {"Sqrt(-4)+1", "Sqrt", 1},
        {"2 * Sqrt(var2)", "Sqrt", 5},  {"Log(0)", "Log", 1},              {"Log(var2)", "Log", 1},
        {"Asin(2)", "Asin", 1},         {"Acos(-1.5)", "Acos", 1},         {"Modulo(5, 0)", "Modulo", 1},
        {"(-8)^0.5", "^", 5},           {"0^-1", "^", 2},                  {"var3 * var3", "*", 6},
        {"var3 / (var3 - var3)", "/", 6}, {"-var4", "-", 1},               {"var5 - var6", "-", 6},
        {"var5 * var6", "*", 6},        {"-var5", "-", 1},                 {"var7 / var8", "/", 6},
        {"Value(\"abc\")", "Value", 1}, {"Negate(\"\")", "Negate", 1},     {"NMEAPosConv(\"\", \"N\")", "NMEAPosConv", 1},
        {"Time(\"-1\")", "Time", 1},    {"ValToMyStr(1, 16)", "ValToMyStr", 1}, {"BinValue(\"ab\", 3)", "BinValue", 1},
        {"CYMDMsecToMsec(2026, 13, 1, 0)", "CYMDMsecToMsec", 1},
    };
    CKvsDouble six(6.0), zero(0.0), minus4(-4.0);
    CKvsInt big(100000), lowest(std::numeric_limits<int>::min());
    CKvsName a("abc"), b("b");
    CKvsDouble2D v(1.0, 2.0), w(3.0, 0.0);
    CKvsType* vars[] = {&six, &zero, &minus4, &big, &lowest, &a, &b, &v, &w};
    CForm form;
    for (int i = 0; i < static_cast<int>(std::size(vars)); ++i) form.SetVar(i, vars[i]);
    CKvsType* result = nullptr;
    CString name;
    int column = 0;
    for (const auto& c : cases) {
        ASSERT_TRUE(form.SetFormula(c.formula)) << c.formula;
        const bool ran = form.Execute() || form.GetResult(result);
        const bool named = form.GetExecErrorCall(name, column);
        EXPECT_EQ(std::tuple(ran, form.GetExecError(), named, name, column),
                  std::tuple(false, int{CForm::ErrCalculation}, true, CString(c.call), c.column)) << c.formula;
    }
    // The edges of the same operations still give their values, and a form whose run
    // failed gives a result again once its values allow it.
    const std::pair<const char*, double> fine[] = {
        {"Sqrt(0)", 0.0}, {"Log(1)", 0.0}, {"0^0", 1.0}, {"(-8)^3", -512.0}, {"2^-1", 0.5},
        {"Asin(1)", 90.0}, {"Modulo(-1, 3)", 2.0}, {"var3 / var3", 1.0}, {"0/var0", 0.0},
    };
    for (const auto& [formula, expected] : fine) EXPECT_DOUBLE_EQ(ResultOf(form, formula), expected) << formula;
    ASSERT_TRUE(form.SetFormula("var0 / var1"));
    EXPECT_FALSE(form.Execute());
    zero.SetDouble(3.0);
    EXPECT_EQ(ResultOf(form), 2.0);
    EXPECT_FALSE(form.GetExecErrorCall(name, column));
    // "^2" multiplies: the correctly rounded square, where std::pow may be one unit off.
    const double x = -0x1.66cb116c5f0a9p-267;
    CKvsDouble base(x), exponent(2.0);
    form.SetVar(0, &base);
    form.SetVar(1, &exponent);
    for (const char* formula : {"var0^2", "var0 ^ var1"}) EXPECT_EQ(ResultOf(form, formula), x * x) << formula;
    // An exponent that holds 2 when the formula is parsed may change later.
    base.SetDouble(2.0);
    exponent.SetDouble(3.0);
    EXPECT_EQ(ResultOf(form), 8.0);
    // A constant exponent of 2 gives what the value operation gives, special values included
    // (x: the value operation squares exactly too).
    ASSERT_TRUE(form.SetFormula("var0 ^ 2"));
    exponent.SetDouble(2.0);
    CKvsDouble square;
    for (double v : {-3.0, 0.0, -0.0, 1e-310, -HUGE_VAL, std::nan(""), x}) {
        base.SetDouble(v);
        ASSERT_TRUE(square.Pow1D(base, exponent) && form.Execute()) << v;
        EXPECT_TRUE(SameBits(ResultOf(form), square.Value())) << v;
    }
    // A square that overflows to infinity from a finite number fails, as 1/0 does.
    base.SetDouble(1e200);
    EXPECT_FALSE(form.Execute());
    EXPECT_EQ(form.GetExecError(), CForm::ErrCalculation);
}

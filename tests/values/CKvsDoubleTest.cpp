#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

TEST(CKvsDouble, OperatorsGettersTextAndCopiesAndWhatTheyRefuse)
{
    CKvsDouble r(0.0);
    CKvsType& result = r;
    std::vector<double> seen;
    seen.push_back((result = CKvsDouble(7.5), result += CKvsInt(2), r.Value()));
    seen.push_back((result -= CKvsDouble(0.5), r.Value()));
    seen.push_back((result *= CKvsInt(2), r.Value()));
    seen.push_back((result /= CKvsInt(4), r.Value()));
    // Division by zero and values without a number leave the value.
    seen.push_back(
        (result /= CKvsDouble(0.0), result /= CKvsInt(0), result = CKvsName("12"), result += CKvsName("1"), r.Value()));
    EXPECT_EQ(seen, (std::vector<double>{9.5, 9.0, 18.0, 4.5, 4.5}));
    int i = 5;
    unsigned int u = 5;
    bool b = false;
    double x, y;
    CString name("unchanged");
    // Truncated toward zero; negative, out of range, NaN, vector and text getters refused.
    EXPECT_EQ((std::vector<int>{CKvsDouble(-2.9).GetInt(i), CKvsDouble(0.25).GetBool(b), CKvsDouble(-1.0).GetUInt(u),
                                CKvsDouble(3e10).GetInt(i), CKvsDouble(NAN).GetInt(i), CKvsDouble(1.0).GetDouble2D(x, y),
                                CKvsDouble(1.0).GetName(name)}),
              (std::vector<int>{1, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(std::tuple(i, b, u, name), std::tuple(-2, true, 5u, CString("unchanged")));
    CKvsDouble d(0.1);
    d.GetValueStr(name);
    EXPECT_EQ(name, "0.1");
    CString in(" -2.5e3 "), bad("1.5x");
    EXPECT_EQ((std::vector<bool>{d.SetValueStr(in), d.SetValueStr(bad)}), (std::vector<bool>{true, false})); // "x": refused
    std::unique_ptr<CKvsType> copy(d.MakeCopy());
    d.SetDouble(9.0);
    copy->GetDouble(x);
    EXPECT_EQ(std::pair(std::string(typeid(*copy).name()), x), std::pair(std::string(typeid(CKvsDouble).name()), -2500.0));
}

TEST(CKvsInt, ArithmeticTruncatesOverflowLeavesTheValueAndGettersTextAndCopy)
{
    CKvsInt r;
    CKvsType& result = r;
    std::vector<int> seen;
    seen.push_back((result = CKvsInt(7), result /= CKvsInt(2), r.Value()));
    seen.push_back((result *= CKvsDouble(2.5), r.Value()));
    seen.push_back((result -= CKvsInt(10), result /= CKvsInt(2), r.Value()));
    seen.push_back((result = CKvsDouble(-4.9), r.Value()));
    EXPECT_EQ(seen, (std::vector<int>{3, 7, -1, -4}));
    CKvsInt big(INT_MAX), m(INT_MIN);
    big += CKvsInt(1);
    m /= CKvsInt(-1);
    m /= CKvsInt(0);
    EXPECT_EQ((std::vector<int>{m.SetDouble(1e12), m.SetUInt(0x80000000u), big.Value(), m.Value()}),
              (std::vector<int>{0, 0, INT_MAX, INT_MIN}));
    CKvsInt v(-3);
    unsigned int u = 8;
    double d = 0;
    CString text, bad("12.5"), good("+12");
    v.GetValueStr(text);
    EXPECT_EQ((std::vector<int>{v.GetUInt(u), v.GetDouble(d), v.SetValueStr(bad), v.SetValueStr(good)}),
              (std::vector<int>{0, 1, 0, 1}));
    EXPECT_EQ(std::tuple(u, d, text), std::tuple(8u, -3.0, CString("-3")));
    std::unique_ptr<CKvsType> copy(v.MakeCopy());
    int i = 0;
    copy->GetInt(i);
    EXPECT_EQ(std::pair(std::string(typeid(*copy).name()), i), std::pair(std::string(typeid(CKvsInt).name()), 12));
}

TEST(CKvsName, JoinsTextAndTheTextOfNumbersAndAnswersOnlyTextGetters)
{
    CKvsName r;
    CKvsType& result = r;
    std::vector<CString> seen;
    seen.push_back((result = CKvsName("$GP"), result += CKvsName("GGA,"), result += CKvsInt(12), result += CKvsDouble(0.5),
                    r.Value()));
    seen.push_back((result -= CKvsName("GGA"), result *= CKvsInt(2), r.Value())); // refused
    seen.push_back((result = CKvsDouble(2.0), r.Value()));
    seen.push_back((r += r, r.Value()));
    EXPECT_EQ(seen, (std::vector<CString>{"$GPGGA,120.5", "$GPGGA,120.5", "2", "22"}));
    double d = 4;
    CString s;
    EXPECT_EQ((std::vector<int>{r.GetDouble(d), r.GetName(s)}), (std::vector<int>{0, 1}));
    EXPECT_EQ(std::pair(d, s), std::pair(4.0, CString("22")));
    std::unique_ptr<CKvsType> copy(r.MakeCopy());
    r.SetName("x");
    copy->GetValueStr(s);
    EXPECT_EQ(s, "22");
}

// A temporary as the lvalue the value operations take.
template <typename T>
static T& L(T&& value) { return value; }

TEST(KvsValueFormulaOps, NumberAndTextResultsAndWhatTheyRefuse)
{
    using D = CKvsDouble;
    using N = CKvsName;
    constexpr double kLeft = 7.0; // a refused operation leaves the result
    // The refusals formulas reach (square root, logarithm, modulo, power, short binary
    // values) are pinned through them: CcalcArithmetic.RefusedValueOperationsFailTheRunAndNameTheirCall.
    const struct { const char* name; std::function<int(D&)> op; double value; } cases[] = {
        {"NMEAPos north", [](D& r) { return r.NMEAPos(L(N("4807.038")), L(N("N"))); }, 48.1173},
        {"NMEAPos west", [](D& r) { return r.NMEAPos(L(N("01131.000")), L(N("W"))); }, -11.516666666666667},
        {"TimeConv", [](D& r) { return r.TimeConv(L(N("123519.50"))); }, (12 * 3600 + 35 * 60 + 19.5) * 1000.0},
        {"YyToCcyy 26", [](D& r) { return r.YyToCcyy(L(D(26))), 1; }, 2026},
        {"YyToCcyy 95", [](D& r) { return r.YyToCcyy(L(D(95))), 1; }, 1995},
        {"YyToCcyy 2026", [](D& r) { return r.YyToCcyy(L(D(2026))), 1; }, 2026},
        {"CYMD", [](D& r) { return r.CYMDMsecToMsec(L(D(2026)), L(D(1)), L(D(2)), L(D(1000))); }, 1767312000000.0 + 1000.0},
        {"CYMD leap", [](D& r) { return r.CYMDMsecToMsec(L(D(2024)), L(D(2)), L(D(29)), L(D(0))); }, 1709164800000.0},
        {"CYMD Feb 29", [](D& r) { return r.CYMDMsecToMsec(L(D(2026)), L(D(2)), L(D(29)), L(D(0))); }, kLeft},
        {"CYMD Apr 31", [](D& r) { return r.CYMDMsecToMsec(L(D(2026)), L(D(4)), L(D(31)), L(D(0))); }, kLeft},
        {"Pow1D 2 3", [](D& r) { return r.Pow1D(L(D(2)), L(D(3))); }, 8.0},
        {"Bearing", [](D& r) { return r.Bearing(L(D(1)), L(D(-1))); }, 135.0},
        {"BinVal", [](D& r) { return r.BinVal(L(N(std::string("\x01\x02", 2))), L(D(2))); }, 0x0201}, // little-endian
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        D r(kLeft);
        EXPECT_EQ(c.op(r), c.value == kLeft ? 0 : 1);
        EXPECT_NEAR(r.Value(), c.value, 1e-9);
    }
    CKvsInt i(0);
    EXPECT_EQ(i.Neg(L(CKvsDouble(1e12))), 0);
    CKvsName r;
    ASSERT_EQ(r.ValToMyStr(L(CKvsDouble(3.14159)), L(CKvsDouble(2))), 1);
    EXPECT_EQ(r.Value(), "3.14");
    ASSERT_EQ(r.OutString(L(CKvsName("a\\tb\\x41"))), 1);
    EXPECT_EQ(r.Value(), "a\tbA");
}

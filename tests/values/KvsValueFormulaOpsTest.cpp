#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>

#include <gtest/gtest.h>

#include <functional>

namespace {

// A temporary as the lvalue the value operations take.
template <typename T>
T& L(T&& value)
{
    return value;
}

} // namespace

TEST(KvsValueFormulaOps, NumberResultsAndWhatTheyRefuse)
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
        {"CYMD Feb 30", [](D& r) { return r.CYMDMsecToMsec(L(D(2026)), L(D(2)), L(D(30)), L(D(0))); }, kLeft},
        {"CYMD Feb 31", [](D& r) { return r.CYMDMsecToMsec(L(D(2026)), L(D(2)), L(D(31)), L(D(0))); }, kLeft},
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
}

TEST(KvsValueFormulaOps, TextResults)
{
    CKvsName r;
    ASSERT_EQ(r.ValToMyStr(L(CKvsDouble(3.14159)), L(CKvsDouble(2))), 1);
    EXPECT_EQ(r.Value(), "3.14");
    ASSERT_EQ(r.OutString(L(CKvsName("a\\tb\\x41"))), 1);
    EXPECT_EQ(r.Value(), "a\tbA");
}

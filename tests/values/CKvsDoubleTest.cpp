#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <typeinfo>

TEST(CKvsDouble, CompoundOperatorsThroughTheInterfaceAndWhatTheyRefuse)
{
    CKvsDouble r(0.0);
    CKvsType& result = r;
    result = CKvsDouble(7.5);
    result += CKvsInt(2);
    EXPECT_EQ(r.Value(), 9.5);
    result -= CKvsDouble(0.5);
    EXPECT_EQ(r.Value(), 9.0);
    result *= CKvsInt(2);
    EXPECT_EQ(r.Value(), 18.0);
    result /= CKvsInt(4);
    EXPECT_EQ(r.Value(), 4.5);
    // Division by zero and values without a number leave the value.
    result /= CKvsDouble(0.0);
    result /= CKvsInt(0);
    result = CKvsName("12");
    result += CKvsName("1");
    EXPECT_EQ(r.Value(), 4.5);
}

TEST(CKvsDouble, GettersTextAndCopies)
{
    int i = 5;
    unsigned int u = 5;
    bool b = false;
    double x, y;
    CString name("unchanged");
    EXPECT_EQ(CKvsDouble(-2.9).GetInt(i), 1);
    EXPECT_EQ(i, -2);
    EXPECT_EQ(CKvsDouble(-1.0).GetUInt(u) + CKvsDouble(3e10).GetInt(i) + CKvsDouble(NAN).GetInt(i), 0);
    EXPECT_EQ(CKvsDouble(1.0).GetDouble2D(x, y) + CKvsDouble(1.0).GetName(name), 0);
    EXPECT_TRUE(u == 5u && i == -2 && name == "unchanged");
    EXPECT_EQ(CKvsDouble(0.25).GetBool(b), 1);
    EXPECT_TRUE(b);
    CKvsDouble d(0.1);
    d.GetValueStr(name);
    EXPECT_EQ(name, "0.1");
    CString in(" -2.5e3 "), bad("1.5x");
    EXPECT_TRUE(d.SetValueStr(in));
    EXPECT_FALSE(d.SetValueStr(bad)); // trailing characters
    std::unique_ptr<CKvsType> copy(d.MakeCopy());
    EXPECT_EQ(typeid(*copy), typeid(CKvsDouble));
    d.SetDouble(9.0);
    copy->GetDouble(x);
    EXPECT_EQ(x, -2500.0);
}

TEST(CKvsInt, ArithmeticTruncatesTowardZeroAndOverflowLeavesTheValue)
{
    CKvsInt r;
    CKvsType& result = r;
    result = CKvsInt(7);
    result /= CKvsInt(2);
    EXPECT_EQ(r.Value(), 3);
    result *= CKvsDouble(2.5);
    EXPECT_EQ(r.Value(), 7);
    result -= CKvsInt(10);
    result /= CKvsInt(2);
    EXPECT_EQ(r.Value(), -1);
    result = CKvsDouble(-4.9);
    EXPECT_EQ(r.Value(), -4);
    CKvsInt big(INT_MAX);
    big += CKvsInt(1);
    EXPECT_EQ(big.Value(), INT_MAX);
    CKvsInt m(INT_MIN);
    m /= CKvsInt(-1);
    m /= CKvsInt(0);
    EXPECT_EQ(m.SetDouble(1e12) + m.SetUInt(0x80000000u), 0);
    EXPECT_EQ(m.Value(), INT_MIN);
}

TEST(CKvsInt, GettersTextAndCopy)
{
    CKvsInt v(-3);
    unsigned int u = 8;
    double d = 0;
    EXPECT_EQ(v.GetUInt(u), 0);
    EXPECT_EQ(u, 8u);
    EXPECT_EQ(v.GetDouble(d), 1);
    EXPECT_EQ(d, -3.0);
    CString text, bad("12.5"), good("+12");
    v.GetValueStr(text);
    EXPECT_EQ(text, "-3");
    EXPECT_FALSE(v.SetValueStr(bad));
    EXPECT_TRUE(v.SetValueStr(good));
    std::unique_ptr<CKvsType> copy(v.MakeCopy());
    EXPECT_EQ(typeid(*copy), typeid(CKvsInt));
    int i = 0;
    copy->GetInt(i);
    EXPECT_EQ(i, 12);
}

TEST(CKvsName, JoinsTextAndTheTextOfNumbersAndAnswersOnlyTextGetters)
{
    CKvsName r;
    CKvsType& result = r;
    result = CKvsName("$GP");
    result += CKvsName("GGA,");
    result += CKvsInt(12);
    result += CKvsDouble(0.5);
    EXPECT_EQ(r.Value(), "$GPGGA,120.5");
    result -= CKvsName("GGA");
    result *= CKvsInt(2);
    EXPECT_EQ(r.Value(), "$GPGGA,120.5");
    result = CKvsDouble(2.0);
    EXPECT_EQ(r.Value(), "2");
    r += r;
    EXPECT_EQ(r.Value(), "22");
    double d = 4;
    CString s;
    EXPECT_EQ(std::pair(r.GetDouble(d), r.GetName(s)), std::pair(0, 1));
    EXPECT_EQ(d, 4.0);
    EXPECT_EQ(s, "22");
    std::unique_ptr<CKvsType> copy(r.MakeCopy());
    r.SetName("x");
    copy->GetValueStr(s);
    EXPECT_EQ(s, "22");
}

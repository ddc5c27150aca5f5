#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <typeinfo>

TEST(CKvsDouble, CompoundOperatorsThroughTheInterface)
{
    CKvsDouble r(0.0);
    CKvsType& result = r;
    const CKvsDouble a(7.5);
    const CKvsInt b(2);
    result = a;
    result += b;
    EXPECT_EQ(r.Value(), 9.5);
    result -= CKvsDouble(0.5);
    result *= b;
    EXPECT_EQ(r.Value(), 18.0);
    result /= CKvsInt(4);
    EXPECT_EQ(r.Value(), 4.5);
}

TEST(CKvsDouble, DivisionByZeroAndNonNumbersLeaveTheValue)
{
    CKvsDouble r(3.0);
    r /= CKvsDouble(0.0);
    r /= CKvsInt(0);
    EXPECT_EQ(r.Value(), 3.0);
    CKvsType& base = r;
    base = CKvsName("12");
    base += CKvsName("1");
    EXPECT_EQ(r.Value(), 3.0);
}

TEST(CKvsDouble, GettersConvertWithinRange)
{
    int i = 5;
    unsigned int u = 5;
    EXPECT_EQ(CKvsDouble(-2.9).GetInt(i), 1);
    EXPECT_EQ(i, -2);
    EXPECT_EQ(CKvsDouble(-1.0).GetUInt(u), 0);
    EXPECT_EQ(u, 5u);
    EXPECT_EQ(CKvsDouble(3e10).GetInt(i), 0);
    EXPECT_EQ(CKvsDouble(NAN).GetInt(i), 0);
    EXPECT_EQ(i, -2);
    bool b = false;
    EXPECT_EQ(CKvsDouble(0.25).GetBool(b), 1);
    EXPECT_TRUE(b);
    double x, y;
    EXPECT_EQ(CKvsDouble(1.0).GetDouble2D(x, y), 0);
    CString name("unchanged");
    EXPECT_EQ(CKvsDouble(1.0).GetName(name), 0);
    EXPECT_EQ(name, "unchanged");
}

TEST(CKvsDouble, TextRoundTripsAndRejectsTrailingCharacters)
{
    CKvsDouble d(0.1);
    CString text;
    d.GetValueStr(text);
    EXPECT_EQ(text, "0.1");
    CString in(" -2.5e3 ");
    EXPECT_TRUE(d.SetValueStr(in));
    EXPECT_EQ(d.Value(), -2500.0);
    CString bad("1.5x");
    EXPECT_FALSE(d.SetValueStr(bad));
    EXPECT_EQ(d.Value(), -2500.0);
}

TEST(CKvsDouble, CopiesAreIndependentAndKeepTheExactClass)
{
    CKvsDouble d(1.25);
    std::unique_ptr<CKvsType> copy(d.MakeCopy());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(typeid(*copy), typeid(CKvsDouble));
    d.SetDouble(9.0);
    double v = 0;
    copy->GetDouble(v);
    EXPECT_EQ(v, 1.25);
    CKvsDouble assigned;
    assigned = d;
    EXPECT_EQ(assigned.Value(), 9.0);
}

#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsInt.h>

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <typeinfo>

TEST(CKvsInt, ArithmeticTruncatesTowardZero)
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
}

TEST(CKvsInt, OverflowAndDivisionByZeroLeaveTheValue)
{
    CKvsInt r(INT_MAX);
    r += CKvsInt(1);
    EXPECT_EQ(r.Value(), INT_MAX);
    CKvsInt m(INT_MIN);
    m /= CKvsInt(-1);
    m /= CKvsInt(0);
    EXPECT_EQ(m.SetDouble(1e12), 0);
    EXPECT_EQ(m.SetUInt(0x80000000u), 0);
    EXPECT_EQ(m.Value(), INT_MIN);
}

TEST(CKvsInt, GettersTextAndCopy)
{
    CKvsInt v(-3);
    unsigned int u = 8;
    EXPECT_EQ(v.GetUInt(u), 0);
    EXPECT_EQ(u, 8u);
    double d = 0;
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

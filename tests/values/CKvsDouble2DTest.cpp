#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsDouble2D.h>

#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

TEST(CKvsDouble2D, ComponentWiseArithmeticAndScalarScaling)
{
    CKvsDouble2D v;
    CKvsType& result = v;
    result = CKvsDouble2D(1.0, 2.0);
    result += CKvsDouble2D(0.5, -1.0);
    result -= CKvsDouble2D(0.5, -1.0);
    result *= CKvsDouble2D(1.0, 2.0);
    result /= CKvsDouble2D(1.0, 2.0);
    result *= CKvsInt(2);
    result /= CKvsDouble(2.0);
    result += CKvsDouble2D(1.0, 2.0);
    result *= CKvsDouble(0.5);
    result += CKvsDouble(100.0); // a scalar does not add to a vector
    CKvsDouble2D expected(1.0, 2.0);
    EXPECT_EQ(v.Values(), expected.Values());
}

TEST(CKvsDouble2D, DivisionByAnyZeroComponentLeavesTheValue)
{
    CKvsDouble2D v(1.0, 2.0);
    CKvsDouble2D zeros;
    v /= zeros;
    v /= CKvsDouble(0.0);
    EXPECT_EQ(v.Values(), CKvsDouble2D(1.0, 2.0).Values());
    v = CKvsDouble2D(1.0, 2.0);
    v += CKvsDouble2D(1.0, 2.0);
    v += CKvsDouble2D(1.0, 2.0);
    double x = 0, y = 0; v.GetDouble2D(x, y);
    EXPECT_EQ(x, 3.0);
}

TEST(CKvsDouble2D, TextFormCopiesAndClass)
{
    CKvsDouble2D v(1.5, -2.0);
    CString text;
    v.GetValueStr(text);
    EXPECT_EQ(text, "1.5,-2");
    CString in("1.5, -2"), bad("1,2,3");
    EXPECT_FALSE(v.SetValueStr(bad));
    EXPECT_TRUE(v.SetValueStr(in));
    EXPECT_EQ(v.Values(), CKvsDouble2D(1.5, -2.0).Values());
    double d = 7;
    EXPECT_EQ(v.GetDouble(d), 0);
    std::unique_ptr<CKvsType> copy(v.MakeCopy());
    EXPECT_EQ(typeid(*copy), typeid(CKvsDouble2D));
    EXPECT_NE(typeid(*copy), typeid(CKvsDouble));
}

TEST(CKvsDouble2D, FillsFromTheScalarsOfTheFirstTwoValues)
{
    CKvsDouble2D v(9.0, 9.0);
    CKvsDouble x(1.5);
    CKvsInt y(-2);
    CKvsDouble2D notScalar(5.0, 6.0);
    EXPECT_EQ(v.SetDoubleXD(x, y, notScalar, notScalar), 1); // the last two are not read
    EXPECT_EQ(v.Values(), CKvsDouble2D(1.5, -2.0).Values());
    EXPECT_EQ(v.SetDoubleXD(x, notScalar, x, x), 0);
    EXPECT_EQ(v.Values(), CKvsDouble2D(1.5, -2.0).Values());
}

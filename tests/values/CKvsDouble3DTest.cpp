#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsDouble3D.h>

#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

TEST(CKvsDouble3D, ComponentWiseArithmeticAndScalarScaling)
{
    CKvsDouble3D v;
    CKvsType& result = v;
    result = CKvsDouble3D(1.0, 2.0, 3.0);
    result += CKvsDouble3D(0.5, -1.0, 2.0);
    result -= CKvsDouble3D(0.5, -1.0, 2.0);
    result *= CKvsDouble3D(1.0, 2.0, 3.0);
    result /= CKvsDouble3D(1.0, 2.0, 3.0);
    result *= CKvsInt(2);
    result /= CKvsDouble(2.0);
    result += CKvsDouble3D(1.0, 2.0, 3.0);
    result *= CKvsDouble(0.5);
    result += CKvsDouble(100.0); // a scalar does not add to a vector
    CKvsDouble3D expected(1.0, 2.0, 3.0);
    EXPECT_EQ(v.Values(), expected.Values());
}

TEST(CKvsDouble3D, DivisionByAnyZeroComponentLeavesTheValue)
{
    CKvsDouble3D v(1.0, 2.0, 3.0);
    CKvsDouble3D zeros;
    v /= zeros;
    v /= CKvsDouble(0.0);
    EXPECT_EQ(v.Values(), CKvsDouble3D(1.0, 2.0, 3.0).Values());
    v = CKvsDouble3D(1.0, 2.0, 3.0);
    v += CKvsDouble3D(1.0, 2.0, 3.0);
    v += CKvsDouble3D(1.0, 2.0, 3.0);
    double x = 0, y = 0, z = 0; v.GetDouble3D(x, y, z);
    EXPECT_EQ(x, 3.0);
}

TEST(CKvsDouble3D, TextFormCopiesAndClass)
{
    CKvsDouble3D v(1.5, -2.0, 0.0);
    CString text;
    v.GetValueStr(text);
    EXPECT_EQ(text, "1.5,-2,0");
    CString in("1.5, -2, 0"), bad("1,2");
    EXPECT_FALSE(v.SetValueStr(bad));
    EXPECT_TRUE(v.SetValueStr(in));
    EXPECT_EQ(v.Values(), CKvsDouble3D(1.5, -2.0, 0.0).Values());
    double d = 7;
    EXPECT_EQ(v.GetDouble(d), 0);
    std::unique_ptr<CKvsType> copy(v.MakeCopy());
    EXPECT_EQ(typeid(*copy), typeid(CKvsDouble3D));
    EXPECT_NE(typeid(*copy), typeid(CKvsDouble));
}

TEST(CKvsDouble3D, FillsFromTheScalarsOfTheFirstThreeValues)
{
    CKvsDouble3D v(9.0, 9.0, 9.0);
    CKvsDouble a(1.5), c(3.0);
    CKvsInt b(-2);
    CKvsDouble3D notScalar(5.0, 6.0, 7.0);
    EXPECT_EQ(v.SetDoubleXD(a, b, c, notScalar), 1);
    EXPECT_EQ(v.Values(), CKvsDouble3D(1.5, -2.0, 3.0).Values());
    EXPECT_EQ(v.SetDoubleXD(a, b, notScalar, a), 0);
    EXPECT_EQ(v.Values(), CKvsDouble3D(1.5, -2.0, 3.0).Values());
}

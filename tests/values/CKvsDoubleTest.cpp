#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>

#include <gtest/gtest.h>

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

TEST(CKvsDouble, TextAndCopies)
{
    CKvsDouble d(0.1);
    CString text;
    d.GetValueStr(text);
    EXPECT_EQ(text, "0.1");
    CString in(" -2.5e3 "), bad("1.5x");
    EXPECT_TRUE(d.SetValueStr(in));
    EXPECT_FALSE(d.SetValueStr(bad)); // trailing characters
    EXPECT_EQ(d.Value(), -2500.0);
    std::unique_ptr<CKvsType> copy(d.MakeCopy());
    EXPECT_EQ(typeid(*copy), typeid(CKvsDouble));
    d.SetDouble(9.0);
    double v = 0;
    copy->GetDouble(v);
    EXPECT_EQ(v, -2500.0);
}

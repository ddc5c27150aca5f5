#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>

#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

TEST(CKvsName, JoinsTextAndTheTextOfNumbers)
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
}

TEST(CKvsName, AnswersOnlyTextGettersAndCopies)
{
    CKvsName n("abc");
    double d = 4;
    EXPECT_EQ(n.GetDouble(d), 0);
    EXPECT_EQ(d, 4.0);
    CString s;
    EXPECT_EQ(n.GetName(s), 1);
    EXPECT_EQ(s, "abc");
    n += n;
    EXPECT_EQ(n.Value(), "abcabc");
    std::unique_ptr<CKvsType> copy(n.MakeCopy());
    EXPECT_EQ(typeid(*copy), typeid(CKvsName));
    n.SetName("x");
    copy->GetValueStr(s);
    EXPECT_EQ(s, "abcabc");
}

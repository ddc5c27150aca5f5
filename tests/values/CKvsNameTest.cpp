#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>

#include <gtest/gtest.h>

#include <memory>

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
    EXPECT_EQ(r.GetDouble(d), 0);
    EXPECT_EQ(d, 4.0);
    CString s;
    EXPECT_EQ(r.GetName(s), 1);
    EXPECT_EQ(s, "22");
    std::unique_ptr<CKvsType> copy(r.MakeCopy());
    r.SetName("x");
    copy->GetValueStr(s);
    EXPECT_EQ(s, "22");
}

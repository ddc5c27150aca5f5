#include <KvsDataBlocks/platform/CKvsString.h>

#include <gtest/gtest.h>

TEST(CKvsString, SplitsAndKeepsEmptyItems)
{
    const CKvsString list(" 3, 7-9,,12 ,", ',', true);
    ASSERT_EQ(list.Size(), 5);
    EXPECT_EQ(list[0], "3");
    EXPECT_EQ(list[1], "7-9");
    EXPECT_EQ(list[2], "");
    EXPECT_EQ(list[3], "12");
    EXPECT_EQ(list[4], "");
    EXPECT_EQ(list[5], "");
    EXPECT_EQ(list[-1], "");
    const CKvsString raw(" a ; b", ';', false);
    ASSERT_EQ(raw.Size(), 2);
    EXPECT_EQ(raw[0], " a ");
    EXPECT_EQ(CKvsString("", ',', true).Size(), 0);
}

TEST(CKvsString, GetItemParsesWholeIntegersOnly)
{
    const CKvsString list("12, -4,7-9,x,99999999999", ',', true);
    int v = 100;
    EXPECT_TRUE(list.GetItem(0, v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(list.GetItem(1, v));
    EXPECT_EQ(v, -4);
    v = 100;
    EXPECT_FALSE(list.GetItem(2, v));
    EXPECT_FALSE(list.GetItem(3, v));
    EXPECT_FALSE(list.GetItem(4, v));
    EXPECT_FALSE(list.GetItem(5, v));
    EXPECT_EQ(v, 100);
}

TEST(CKvsString, ReloadsWithANewSeparator)
{
    CKvsString s(';');
    s.LoadStringA("UTM;32N", false);
    EXPECT_EQ(s.Size(), 2);
    s.SetSeparator('-');
    s.LoadStringA("7-9", true);
    ASSERT_EQ(s.Size(), 2);
    int b = 0;
    EXPECT_TRUE(s.GetItem(1, b));
    EXPECT_EQ(b, 9);
}

#include <KvsDataBlocks/platform/CKvsString.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The items of list, and the ones just past each end (which must be empty).
std::vector<std::string> Items(const CKvsString& list)
{
    std::vector<std::string> items;
    for (int i = -1; i <= list.Size(); ++i) items.emplace_back(list[i].GetString());
    return items;
}

} // namespace

TEST(CKvsString, SplitsKeepsEmptyItemsAndReloadsWithANewSeparator)
{
    EXPECT_EQ(Items(CKvsString(" 3, 7-9,,12 ,", ',', true)), (std::vector<std::string>{"", "3", "7-9", "", "12", "", ""}));
    EXPECT_EQ(Items(CKvsString(" a ; b", ';', false)), (std::vector<std::string>{"", " a ", " b", ""}));
    EXPECT_EQ(CKvsString("", ',', true).Size(), 0);
    CKvsString s(';');
    s.LoadStringA("UTM;32N", false);
    EXPECT_EQ(s.Size(), 2);
    s.SetSeparator('-');
    s.LoadStringA("7-9", true);
    EXPECT_EQ(Items(s), (std::vector<std::string>{"", "7", "9", ""}));
}

TEST(CKvsString, GetItemParsesWholeIntegersOnly)
{
    const CKvsString list("12, -4,7-9,x,99999999999", ',', true);
    int a = 100, b = 100, v = 100;
    EXPECT_TRUE(list.GetItem(0, a) && list.GetItem(1, b));
    EXPECT_EQ(std::pair(a, b), std::pair(12, -4));
    for (int i : {2, 3, 4, 5}) EXPECT_FALSE(list.GetItem(i, v)) << i;
    EXPECT_EQ(v, 100);
}
